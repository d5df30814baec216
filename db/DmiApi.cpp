#include "db/DmiApi.h"

#include "db/AggDivDAO.h"
#include "db/ModelOps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/WaterUserDAO.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString kNotOpen = QStringLiteral("The database isn't open");

void fillTimeStamps(qint64* timeStamps, int count, int begYear)
{
    if (!timeStamps)
        return;
    const QDate first(begYear, 1, 1);
    for (int i = 0; i < count; ++i)
        timeStamps[i] = QDateTime(first.addMonths(i), QTime(0, 0)).toMSecsSinceEpoch();
}

} // namespace

DmiApi::DmiApi(QObject* parent)
    : QObject(parent)
    , _aggDivModel(TarnDbMgr::instance()->aggDivDAO()->aggDivModel())
    , _scenarioModel(TarnDbMgr::instance()->scenarioDAO()->scenarioModel())
    , _waterUserModel(TarnDbMgr::instance()->waterUserDAO()->waterUserModel())
{
}

TARN::okstat DmiApi::getScenarios(QList<ScenarioEntry>& scenarios, bool includeBaseline) const
{
    QSqlDatabase db = _scenarioModel->database();
    if (!db.isOpen())
        return kNotOpen;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %2")
                        .arg(TN::ScenarioID, TN::ScenarioShortName, _scenarioModel->tableName())))
        return query.lastError().text();
    scenarios.clear();
    while (query.next())
        scenarios.append({ query.value(0).toInt(), query.value(1).toString() });
    if (includeBaseline)
        scenarios.prepend({ BaselineScenarioId, QStringLiteral("Baseline Monthly Data") });
    return {};
}

TARN::okstat DmiApi::getScenarioName(int scenarioId, QString& name) const
{
    QSqlDatabase db = _scenarioModel->database();
    if (!db.isOpen())
        return kNotOpen;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT %1 FROM %2 WHERE %3='%4'")
                        .arg(TN::ScenarioName, _scenarioModel->tableName(), TN::ScenarioID)
                        .arg(scenarioId)))
        return query.lastError().text();
    if (query.next())
        name = query.value(0).toString();
    return {};
}

TARN::okstat DmiApi::getAggDivSalinitySeries(int scenarioId, const AggDiv& aggDiv, int begYear,
    int endYear, int count, bool& found, double* values, int begMonth, int endMonth,
    qint64* timeStamps) const
{
    QSqlDatabase db = TarnDbMgr::instance()->database();
    if (!db.isOpen())
        return kNotOpen;
    found = false;
    QSqlQuery query(db);
    if (scenarioId == BaselineScenarioId) {
        query.prepare(QStringLiteral(
            "SELECT Month, AggDivSalinityValue FROM BaseMonthlyAggDiv WHERE AggDivID = :aggDivID "
            " AND Month BETWEEN :begDate AND :endDate ORDER BY Month"));
    } else {
        query.prepare(QStringLiteral(
            "SELECT Month, AggDivSalinityValue FROM ScenarioMonthlyAggDiv WHERE ScenarioID = "
            ":scenarioID AND AggDivID = :aggDivID  AND Month BETWEEN :begDate AND :endDate "
            "ORDER BY Month"));
        query.bindValue(QStringLiteral(":scenarioID"), scenarioId);
    }
    query.bindValue(QStringLiteral(":aggDivID"), aggDiv.AggDivID);
    query.bindValue(QStringLiteral(":begDate"), TARN::monthKey(begYear, begMonth));
    query.bindValue(QStringLiteral(":endDate"), TARN::monthKey(endYear, endMonth));
    query.setForwardOnly(true);
    if (!query.exec()) {
        return QCoreApplication::translate("DmiApi", "Error reading salinity values for \"%1\": %2")
            .arg(aggDiv.RiffleName, query.lastError().text());
    }
    if (!query.next())
        return {};
    fillTimeStamps(timeStamps, count, begYear);
    int stored = 0;
    do {
        if (stored >= count) {
            return QStringLiteral("Incorrect number of rows in the database. Please try fully "
                                  "recalculating before attempting to export again.");
        }
        values[stored++] = TARN::toDouble(query.value(1));
    } while (query.next());
    found = true;
    return {};
}

TARN::okstat DmiApi::getWaterUserSeries(int scenarioId, const WaterUser& waterUser,
    const QString& aggDivName, int begYear, int endYear, int count, bool& found, double* diversion,
    double* depletion, int begMonth, int endMonth, qint64* timeStamps) const
{
    QSqlDatabase db = TarnDbMgr::instance()->database();
    if (!db.isOpen())
        return kNotOpen;
    found = false;
    QSqlQuery query(db);
    if (scenarioId == BaselineScenarioId) {
        query.prepare(QStringLiteral(
            "SELECT Month, DiversionValue, DepletionValue FROM BaseMonthlyWaterUser WHERE "
            "WaterUserID = :waterUserID  AND Month BETWEEN :begDate AND :endDate ORDER BY Month"));
    } else {
        query.prepare(QStringLiteral(
            "SELECT Month, DiversionValue, DepletionValue FROM ScenarioMonthlyWaterUser WHERE "
            "ScenarioID = :scenarioID AND WaterUserID = :waterUserID  AND Month BETWEEN :begDate "
            "AND :endDate ORDER BY Month"));
        query.bindValue(QStringLiteral(":scenarioID"), scenarioId);
    }
    query.bindValue(QStringLiteral(":waterUserID"), waterUser.WaterUserID);
    query.bindValue(QStringLiteral(":begDate"), TARN::monthKey(begYear, begMonth));
    query.bindValue(QStringLiteral(":endDate"), TARN::monthKey(endYear, endMonth));
    query.setForwardOnly(true);
    if (!query.exec()) {
        return QCoreApplication::translate(
            "DmiApi", "Error reading water user data for \"%1:%2\": %3")
            .arg(aggDivName, waterUser.RiffleName, query.lastError().text());
    }
    if (!query.next())
        return {};
    fillTimeStamps(timeStamps, count, begYear);
    int stored = 0;
    do {
        if (stored >= count) {
            return QStringLiteral("Incorrect number of rows in the database. Please try fully "
                                  "recalculating before attempting to export again.");
        }
        diversion[stored] = TARN::toDouble(query.value(1));
        depletion[stored] = TARN::toDouble(query.value(2));
        ++stored;
    } while (query.next());
    found = true;
    return {};
}
