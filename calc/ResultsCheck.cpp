#include "calc/ResultsCheck.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/ProjectCheckData.h"

#include <cmath>

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 12);
}

QString rowsText(int count, const char* kind)
{
    return QStringLiteral("%1 %2 row%3")
        .arg(QString::number(count), QLatin1String(kind),
            count == 1 ? QString() : QStringLiteral("s"));
}

// A computed value that breaks a rule, counted over the years of one water user.
struct Hit {
    int first = 0;
    int count = 0;
    double value = 0;
    void add(int year, double v)
    {
        if (count++ == 0) {
            first = year;
            value = v;
        }
    }
};

QString moreYears(int count)
{
    if (count <= 1)
        return QString();
    return count == 2 ? QStringLiteral(" and one more year")
                      : QStringLiteral(" and %1 more years").arg(count - 1);
}

} // namespace

ResultsCheck::ResultsCheck(const ProjectCheckData& data, bool resultsOnly, const QList<int>& runs,
    QList<ValidationFinding>& findings)
    : _data(data)
    , _resultsOnly(resultsOnly)
    , _runs(runs)
    , _findings(findings)
{
}

TARN::okstat ResultsCheck::run()
{
    BaselineChangeLog everything;
    everything.setFullRecalculation();
    _firstYear = _data.firstYear;

    {
        BaselineDemandCalculator baseline;
        baseline.setCompareOnly(true);
        baseline.setObserver(this);
        connect(&baseline, &DemandCalculator::calcStatus, this, &ResultsCheck::calcStatus,
            Qt::DirectConnection);
        baseline.initialize(&everything, false);
        _scenarioID = 0;
        _report = reported(-1);
        _collectBaseline = true;
        const TARN::okstat result = baseline.runHere();
        _collectBaseline = false;
        if (result.failed())
            runFailed(QStringLiteral("The baseline"), result.text());
    }

    for (const ProjectCheckData::Scenario& scenario : _data.scenarios) {
        if (!reported(scenario.id))
            continue;
        ScenarioDemandCalculator calculator(scenario.id, scenario.name);
        calculator.setCompareOnly(true);
        calculator.setObserver(this);
        calculator.setBaselineDepletions(&_baseline);
        connect(&calculator, &DemandCalculator::calcStatus, this, &ResultsCheck::calcStatus,
            Qt::DirectConnection);
        calculator.initialize(&everything, false);
        _scenarioID = scenario.id;
        _report = true;
        const TARN::okstat result = calculator.runHere();
        if (result.failed())
            runFailed(QStringLiteral("Scenario \"%1\"").arg(scenario.name), result.text());
    }
    return {};
}

void ResultsCheck::runFailed(const QString& what, const QString& error)
{
    if (!_report)
        return;
    add(QStringLiteral("results-current"), 0, QString(),
        QStringLiteral("%1 could not be recalculated, so its stored results cannot be checked: %2")
            .arg(what, error),
        0);
}

ValidationFinding& ResultsCheck::add(
    const QString& rule, int aggDivID, const QString& waterUser, const QString& message, int year)
{
    ValidationFinding finding;
    finding.rule = rule;
    finding.severity = ProjectValidator::severityOf(rule);
    finding.scenarioID = _scenarioID;
    finding.scenarioName = _data.scenarioName(_scenarioID);
    finding.site = aggDivID ? _data.siteRiffleName(aggDivID) : QString();
    finding.waterUser = waterUser;
    finding.year = year;
    finding.message = message;
    _findings.append(finding);
    return _findings.last();
}

void ResultsCheck::resultsCurrent(int aggDivID, const QString& waterUser, const QString& label,
    const ResultStore::Difference& difference)
{
    if (difference.equal())
        return;
    QString message;
    if (difference.storedRows == 0) {
        message = QStringLiteral("%1 has no stored results; recalculate.").arg(label);
    } else {
        QStringList parts;
        if (difference.yearlyDiffering)
            parts.append(rowsText(difference.yearlyDiffering, "yearly"));
        if (difference.monthlyDiffering)
            parts.append(rowsText(difference.monthlyDiffering, "monthly"));
        message
            = QStringLiteral("The stored results of %1 are out of date%2: %3 differ from "
                             "what its inputs give.")
                  .arg(label,
                      difference.firstYear ? QStringLiteral(" from %1 on").arg(difference.firstYear)
                                           : QString(),
                      parts.join(QStringLiteral(" and ")));
    }
    add(QStringLiteral("results-current"), aggDivID, waterUser, message, difference.firstYear);
}

void ResultsCheck::aggDivCalculated(int aggDivID, const QString& riffleName,
    const std::vector<DemandMath::SiteSalinity>& salinity,
    const ResultStore::Difference& difference)
{
    Q_UNUSED(salinity)
    if (!_report)
        return;
    resultsCurrent(aggDivID, QString(),
        QStringLiteral("the salinity of site \"%1\"").arg(riffleName), difference);
}

void ResultsCheck::waterUserCalculated(int aggDivID, const AggDivCalcData::WaterUserEntry& entry,
    const ResultStore::Difference& difference)
{
    if (_collectBaseline) {
        const double* depletion = entry.series(AggDivCalcData::Depletion);
        _baseline.insert(entry.id, std::vector<double>(depletion, depletion + entry.yearCount));
    }
    if (!_report)
        return;
    const ProjectCheckData::WaterUser* user = _data.waterUser(entry.id);
    const QString label = user ? user->label() : QStringLiteral("water user %1").arg(entry.id);
    resultsCurrent(aggDivID, entry.name, label, difference);
    if (_resultsOnly)
        return;
    computedRules(entry, aggDivID);
    // A water user's own years are the baseline's for a baseline water user and its scenario's
    // for a scenario's own one: reported once, in that run.
    if (user && user->scenarioID == _scenarioID)
        missingYears(entry, aggDivID);
}

// Rules on computed values, for the years where the planner did not enter the offending value
// (those are reported as entered).
void ResultsCheck::computedRules(const AggDivCalcData::WaterUserEntry& entry, int aggDivID)
{
    const ProjectCheckData::WaterUser* user = _data.waterUser(entry.id);
    const QString label = user ? user->label() : QStringLiteral("water user %1").arg(entry.id);
    std::vector<std::array<double, 4>> entered(
        entry.yearCount, { std::nan(""), std::nan(""), std::nan(""), std::nan("") });
    for (const ProjectCheckData::YearValues& row : _data.yearly.value(entry.id)) {
        if (_data.inRange(row.year))
            entered[row.year - _firstYear] = row.values;
    }

    Hit efficiency;
    Hit negative[3];
    Hit exceeds;
    const int kinds[3]
        = { AggDivCalcData::Diversion, AggDivCalcData::Depletion, AggDivCalcData::SalinityPickup };
    for (int y = 0; y < entry.yearCount; ++y) {
        const int year = _firstYear + y;
        const double e = entry.value(AggDivCalcData::EfficiencyRatio, y);
        const double enteredE = entered[y][AggDivCalcData::EfficiencyRatio];
        const bool enteredBad = !std::isnan(enteredE) && !(enteredE > 0.0 && enteredE <= 1.0);
        if (!std::isnan(e) && !(e > 0.0 && e <= 1.0) && !enteredBad)
            efficiency.add(year, e);
        for (int k = 0; k < 3; ++k) {
            const double v = entry.value(kinds[k], y);
            const double enteredV = entered[y][kinds[k]];
            if (!std::isnan(v) && v < 0 && !(!std::isnan(enteredV) && enteredV < 0))
                negative[k].add(year, v);
        }
        const double d = entry.value(AggDivCalcData::Diversion, y);
        const double p = entry.value(AggDivCalcData::Depletion, y);
        if (!std::isnan(d) && !std::isnan(p) && p > d)
            exceeds.add(year, p - d);
    }
    const QString where
        = _scenarioID ? QStringLiteral("in this scenario") : QStringLiteral("in the baseline");
    if (efficiency.count) {
        add(QStringLiteral("efficiency-range"), aggDivID, entry.name,
            QStringLiteral("%1 gets a computed efficiency ratio of %2 in %3%4 %5; it must be "
                           "above 0 and at most 1.")
                .arg(label, number(efficiency.value), QString::number(efficiency.first),
                    moreYears(efficiency.count), where),
            efficiency.first);
    }
    const char* const names[3] = { "diversion", "depletion", "salinity pick-up" };
    for (int k = 0; k < 3; ++k) {
        if (!negative[k].count)
            continue;
        add(QStringLiteral("negative-value"), aggDivID, entry.name,
            QStringLiteral("%1 gets a computed %2 of %3 in %4%5 %6.")
                .arg(label, QLatin1String(names[k]), number(negative[k].value),
                    QString::number(negative[k].first), moreYears(negative[k].count), where),
            negative[k].first);
    }
    if (exceeds.count) {
        add(QStringLiteral("depletion-exceeds-diversion"), aggDivID, entry.name,
            QStringLiteral("The computed depletion of %1 is above its diversion in %2%3 %4 (by "
                           "%5 in %2).")
                .arg(label, QString::number(exceeds.first), moreYears(exceeds.count), where,
                    number(exceeds.value)),
            exceeds.first);
    }
}

void ResultsCheck::missingYears(const AggDivCalcData::WaterUserEntry& entry, int aggDivID)
{
    const ProjectCheckData::WaterUser* user = _data.waterUser(entry.id);
    const QString label = user ? user->label() : QStringLiteral("water user %1").arg(entry.id);
    std::vector<char> hasValue(entry.yearCount, 0);
    for (const ProjectCheckData::YearValues& row : _data.yearly.value(entry.id)) {
        if (!_data.inRange(row.year))
            continue;
        for (const double value : row.values) {
            if (!std::isnan(value))
                hasValue[row.year - _firstYear] = 1;
        }
    }
    QList<int> missing;
    QList<int> leftEmpty;
    for (int y = 0; y < entry.yearCount; ++y) {
        if (hasValue[y])
            continue;
        missing.append(_firstYear + y);
        if (std::isnan(entry.value(AggDivCalcData::Diversion, y))
            && std::isnan(entry.value(AggDivCalcData::Depletion, y)))
            leftEmpty.append(_firstYear + y);
    }
    if (missing.isEmpty())
        return;
    if (missing.size() == entry.yearCount) {
        add(QStringLiteral("no-data"), aggDivID, entry.name,
            QStringLiteral("%1 has no value in any year; its results are empty.").arg(label), 0);
        return;
    }
    QString fate;
    const bool one = missing.size() == 1;
    if (leftEmpty.isEmpty())
        fate = one ? QStringLiteral("the gap filling fills it")
                   : QStringLiteral("the gap filling fills them all");
    else if (leftEmpty.size() == missing.size())
        fate = one ? QStringLiteral("the gap filling leaves it empty")
                   : QStringLiteral("the gap filling leaves them all empty");
    else
        fate = QStringLiteral("the gap filling leaves %1 empty")
                   .arg(ProjectCheckData::yearRanges(leftEmpty));
    add(QStringLiteral("missing-years"), aggDivID, entry.name,
        QStringLiteral("%1 has no values for %2; %3.")
            .arg(label, ProjectCheckData::yearRanges(missing), fate),
        missing.first());
}
