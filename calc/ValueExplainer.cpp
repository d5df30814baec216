#include "calc/ValueExplainer.h"

#include "calc/AggDivCalcData.h"
#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/CalcObserver.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>

#include <cmath>
#include <memory>

namespace {

using Data = AggDivCalcData;

// The value the calculator would store for the followed water user or site, taken where the
// result store gets it.
class ValueCatcher : public CalcObserver {
public:
    ValueCatcher(const ValueExplainer::Request& request, int firstYear)
        : _request(request)
        , _y(request.year - firstYear)
    {
    }

    void aggDivCalculated(int aggDivID, const QString&,
        const std::vector<DemandMath::SiteSalinity>& salinity,
        const ResultStore::Difference&) override
    {
        if (_request.owner != CalcTrace::Site || aggDivID != _request.id)
            return;
        if (_y < 0 || _y >= int(salinity.size()))
            return;
        value = _request.month ? salinity[_y].monthly : salinity[_y].yearly;
        found = true;
    }

    void waterUserCalculated(
        int, const AggDivCalcData::WaterUserEntry& entry, const ResultStore::Difference&) override
    {
        if (_request.owner != CalcTrace::WaterUser || entry.id != _request.id)
            return;
        if (_y < 0 || _y >= entry.yearCount)
            return;
        const int kind = ValueKinds::index(_request.kind);
        value = _request.month ? Data::monthlyValue(entry, kind, _y, _request.month)
                               : entry.value(kind, _y);
        found = true;
    }

    double value = DemandMath::missing();
    bool found = false;

private:
    const ValueExplainer::Request& _request;
    int _y;
};

QString capitalized(const QString& text)
{
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

// Equal as the result store compares: NULL equals NULL.
bool sameValue(double stored, double computed)
{
    if (std::isnan(stored) || std::isnan(computed))
        return std::isnan(stored) && std::isnan(computed);
    return stored == computed;
}

ValueExplainer::Explanation notFound(const QString& text)
{
    ValueExplainer::Explanation explanation;
    explanation.status = text;
    explanation.notFound = true;
    return explanation;
}

QJsonValue jsonValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue::Null;
    if (value.type() == QVariant::Double) {
        const double number = value.toDouble();
        return std::isfinite(number) ? QJsonValue(number) : QJsonValue::Null;
    }
    if (value.type() == QVariant::Map) {
        QJsonObject object;
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            object.insert(it.key(), jsonValue(it.value()));
        return object;
    }
    if (value.type() == QVariant::List) {
        QJsonArray array;
        for (const QVariant& item : value.toList())
            array.append(jsonValue(item));
        return array;
    }
    return QJsonValue::fromVariant(value);
}

QJsonValue jsonNumber(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue::Null;
}

} // namespace

QString ValueExplainer::Explanation::verdict() const
{
    if (status.failed() || matches)
        return QString();
    return storedRow ? QStringLiteral("The stored value differs: results are out of date")
                     : QStringLiteral("No result is stored");
}

QString ValueExplainer::Explanation::text() const
{
    if (status.failed())
        return status.text() + QLatin1Char('\n');
    QString text = title + QLatin1Char('\n');
    for (const CalcStep& step : steps)
        text += CalcTrace::line(step) + QLatin1Char('\n');
    const QString said = verdict();
    if (!said.isEmpty())
        text += said + QLatin1Char('\n');
    return text;
}

QByteArray ValueExplainer::Explanation::json() const
{
    QJsonObject object;
    if (status.failed()) {
        object.insert(QStringLiteral("error"), status.text());
    } else {
        object.insert(QStringLiteral("title"), title);
        object.insert(QStringLiteral("run"), run);
        object.insert(QStringLiteral("value"), jsonNumber(value));
        object.insert(QStringLiteral("stored"), storedRow ? jsonNumber(stored) : QJsonValue());
        object.insert(QStringLiteral("storedRow"), storedRow);
        object.insert(QStringLiteral("matches"), matches);
        const QString said = verdict();
        object.insert(QStringLiteral("message"), said.isEmpty() ? QJsonValue() : said);
        QJsonArray array;
        for (const CalcStep& step : steps) {
            QJsonObject item;
            item.insert(QStringLiteral("step"), step.step);
            item.insert(QStringLiteral("text"), step.text);
            for (auto it = step.fields.cbegin(); it != step.fields.cend(); ++it)
                item.insert(it.key(), jsonValue(it.value()));
            array.append(item);
        }
        object.insert(QStringLiteral("steps"), array);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

ValueExplainer::ValueExplainer(const Request& request)
    : _request(request)
{
}

ValueExplainer::~ValueExplainer() = default;

ValueExplainer::Explanation ValueExplainer::explain(const Request& request)
{
    ValueExplainer explainer(request);
    if (explainer.prepare())
        explainer.finish(explainer.calculator()->runHere());
    return explainer.result();
}

bool ValueExplainer::prepare()
{
    const Request& request = _request;
    auto refuse = [this](const QString& text) {
        _result = notFound(text);
        return false;
    };
    QSqlDatabase db = TarnDbMgr::instance()->database();
    if (!db.isOpen())
        return refuse(QStringLiteral("No project is open."));
    const bool site = request.owner == CalcTrace::Site;
    _kind = site ? Data::SalinityPickup : ValueKinds::index(request.kind);
    if (_kind < 0 || _kind >= Data::KindCount)
        return refuse(QStringLiteral("There is no value kind %1.").arg(_kind));
    if (request.month < 0 || request.month > 12)
        return refuse(QStringLiteral("Month %1 is not a month from 1 to 12.").arg(request.month));
    if (!site && request.month
        && (_kind == Data::EfficiencyRatio || _kind == Data::SalinityPickup)) {
        return refuse(QStringLiteral("Monthly values exist for diversion and depletion only; "
                                     "the %1 is yearly.")
                          .arg(CalcTrace::kindName(_kind)));
    }

    QSqlQuery query(db);
    int lastYear = -1;
    _firstYear = 0;
    if (query.exec(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %4 LIMIT 1")
                       .arg(TN::StartYear, TN::EndYear, TN::BaselineTable, TN::BaselineID))
        && query.next()) {
        _firstYear = query.value(0).toInt();
        lastYear = query.value(1).toInt();
    }
    query.finish();
    if (request.year < _firstYear || request.year > lastYear) {
        return refuse(QStringLiteral("Year %1 is outside the project's time range %2 to %3.")
                          .arg(request.year)
                          .arg(_firstYear)
                          .arg(lastYear));
    }

    _result = Explanation();
    _result.run = QStringLiteral("Baseline");
    _scenarioName.clear();
    if (request.scenarioID != 0) {
        query.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                          .arg(TN::ScenarioName, TN::ScenarioTable, TN::ScenarioID));
        query.addBindValue(request.scenarioID);
        if (!query.exec() || !query.next())
            return refuse(
                QStringLiteral("There is no scenario with ID %1.").arg(request.scenarioID));
        _scenarioName = query.value(0).toString();
        _result.run = _scenarioName;
        query.finish();
    }

    int aggDivID = request.id;
    if (site) {
        query.prepare(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ?")
                          .arg(TN::SiteName, TN::RiffleName, TN::AggDivTable, TN::AggDivID));
        query.addBindValue(request.id);
        if (!query.exec() || !query.next())
            return refuse(QStringLiteral("There is no site with ID %1.").arg(request.id));
        _ownerText = QStringLiteral("site %1 \"%2\" (Riffle name %3)")
                         .arg(QString::number(request.id), query.value(0).toString(),
                             query.value(1).toString());
        query.finish();
    } else {
        query.prepare(
            QStringLiteral("SELECT w.%1, w.%2, w.%3, w.%4, s.%5 FROM %6 w LEFT JOIN %7 s "
                           "ON s.%2 = w.%2 WHERE w.%8 = ?")
                .arg(TN::AggDivID, TN::ScenarioID, TN::WaterUserName, TN::RiffleName,
                    TN::ScenarioName, TN::WaterUserTable, TN::ScenarioTable, TN::WaterUserID));
        query.addBindValue(request.id);
        if (!query.exec() || !query.next())
            return refuse(QStringLiteral("There is no water user with ID %1.").arg(request.id));
        aggDivID = query.value(0).toInt();
        const QVariant ownScenario = query.value(1);
        const QString name = query.value(2).toString();
        _ownerText = QStringLiteral("water user %1 \"%2\" (Riffle name %3)")
                         .arg(QString::number(request.id), name, query.value(3).toString());
        if (!ownScenario.isNull() && ownScenario.toInt() != request.scenarioID) {
            return refuse(
                QStringLiteral("Water user %1 \"%2\" belongs to scenario \"%3\" only; "
                               "it has no values in %4.")
                    .arg(QString::number(request.id), name, query.value(4).toString(),
                        request.scenarioID ? QStringLiteral("scenario \"%1\"").arg(_scenarioName)
                                           : QStringLiteral("the baseline")));
        }
        query.finish();
    }

    // The run of the one site, as a recalculation would compute it, with nothing written.
    _trace = std::make_unique<CalcTrace>(request.owner, request.id, request.year, request.month);
    _catcher = std::make_unique<ValueCatcher>(_request, _firstYear);
    if (request.scenarioID != 0)
        _calculator = std::make_unique<ScenarioDemandCalculator>(request.scenarioID, _scenarioName);
    else
        _calculator = std::make_unique<BaselineDemandCalculator>();
    static const BaselineChangeLog everything = [] {
        BaselineChangeLog log;
        log.setFullRecalculation();
        return log;
    }();
    _calculator->setCompareOnly(true);
    _calculator->setObserver(_catcher.get());
    _calculator->setTrace(_trace.get());
    _calculator->setOnlyAggDiv(aggDivID);
    _calculator->initialize(&everything, false);
    return true;
}

void ValueExplainer::finish(const TARN::okstat& runResult)
{
    const Request& request = _request;
    const bool site = request.owner == CalcTrace::Site;
    _calculator.reset();
    if (runResult.failed()) {
        _result.status = runResult;
        return;
    }
    const auto* catcher = static_cast<const ValueCatcher*>(_catcher.get());
    if (!catcher || !catcher->found) {
        _result.status = QStringLiteral("The calculation of %1 did not reach %2.")
                             .arg(_result.run, _ownerText);
        return;
    }
    _result.value = catcher->value;

    const QString what = site ? QStringLiteral("salinity") : CalcTrace::kindName(_kind);
    const QString when = request.month
        ? QStringLiteral("%1 %2").arg(CalcTrace::monthName(request.month)).arg(request.year)
        : QString::number(request.year);
    _result.title
        = QStringLiteral("%1 of %2 in %3, %4: %5")
              .arg(capitalized(what), _ownerText, when,
                  request.scenarioID ? QStringLiteral("scenario \"%1\"").arg(_scenarioName)
                                     : QStringLiteral("baseline"),
                  CalcTrace::number(_result.value));
    _result.steps = _trace->stepsFor(_kind);

    // The stored row of the value.
    static const QString valueColumns[Data::KindCount] = { TN::DiversionValue, TN::DepletionValue,
        TN::EfficiencyRatioValue, TN::SalinityPickupValue };
    const bool scenario = request.scenarioID != 0;
    QString table;
    if (site) {
        table = request.month
            ? (scenario ? TN::ScenarioMonthlyAggDivTable : TN::BaseMonthlyAggDivTable)
            : (scenario ? TN::ScenarioYearlyAggDivTable : TN::BaseYearlyAggDivTable);
    } else {
        table = request.month
            ? (scenario ? TN::ScenarioMonthlyWaterUserTable : TN::BaseMonthlyWaterUserTable)
            : (scenario ? TN::ScenarioYearlyWaterUserTable : TN::BaseYearlyWaterUserTable);
    }
    const QString column = site ? TN::AggDivSalinityValue : valueColumns[_kind];
    QString where
        = QStringLiteral("%1 = ? AND %2 = ?")
              .arg(site ? TN::AggDivID : TN::WaterUserID, request.month ? TN::Month : TN::Year);
    if (scenario)
        where += QStringLiteral(" AND %1 = ?").arg(TN::ScenarioID);
    QSqlQuery query(TarnDbMgr::instance()->database());
    // Of repeated rows, the first one stored.
    query.prepare(
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %4 LIMIT 1")
            .arg(column, table, where, TarnDbMgr::instance()->columns().at(table, TP::Key)));
    query.addBindValue(request.id);
    if (request.month)
        query.addBindValue(TARN::monthKey(request.year, request.month));
    else
        query.addBindValue(request.year);
    if (scenario)
        query.addBindValue(request.scenarioID);
    if (!query.exec()) {
        _result.status
            = QStringLiteral("Unable to query %1: %2").arg(table, query.lastError().text());
        return;
    }
    CalcStep stored;
    stored.step = QStringLiteral("stored");
    const QString timeText = request.month ? TARN::monthKey(request.year, request.month)
                                           : QString::number(request.year);
    if (query.next()) {
        _result.storedRow = true;
        const QVariant cell = query.value(0);
        // A text in a result cell is no number, whatever it spells.
        const bool number = cell.isNull() || cell.type() != QVariant::String;
        _result.stored = number ? TARN::toDouble(cell) : DemandMath::missing();
        _result.matches = number && sameValue(_result.stored, _result.value);
        const QString storedText = number ? CalcTrace::number(_result.stored)
                                          : QStringLiteral("\"%1\"").arg(cell.toString());
        stored.text = _result.matches
            ? QStringLiteral("%1 (matches)").arg(storedText)
            : QStringLiteral("%1 in %2 differs from the computed %3")
                  .arg(storedText, table, CalcTrace::number(_result.value));
        stored.fields.insert(QStringLiteral("stored"),
            number ? CalcTrace::field(_result.stored) : QVariant(cell.toString()));
    } else {
        stored.text = QStringLiteral("none: %1 has no row for %2").arg(table, timeText);
        stored.fields.insert(QStringLiteral("stored"), QVariant());
    }
    query.finish();
    stored.fields.insert(QStringLiteral("table"), table);
    stored.fields.insert(QStringLiteral("row"), _result.storedRow);
    stored.fields.insert(QStringLiteral("matches"), _result.matches);
    stored.fields.insert(QStringLiteral("computed"), CalcTrace::field(_result.value));
    _result.steps.append(stored);
}
