#include "db/PlotDAO.h"

#include "db/DaoRows.h"
#include "db/TarnNames.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

// A plot curve's water users and filter.
DaoRows::Choice curveChoice()
{
    return { TN::PlotCurveWaterUserTable, TN::PlotCurveFilterTable, TN::PlotCurveID };
}

} // namespace

PlotDAO::PlotDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _plotModel(createModel(TN::PlotTable))
    , _plotScenarioModel(createModel(TN::PlotScenarioTable))
    , _plotCurveModel(createModel(TN::PlotCurveTable))
    , _plotCurveWaterUserModel(createModel(TN::PlotCurveWaterUserTable))
{
}

bool PlotDAO::checkStructure()
{
    return selectModels(
        { _plotModel, _plotScenarioModel, _plotCurveModel, _plotCurveWaterUserModel });
}

TARN::okstat PlotDAO::getPlotCurve(int plotCurveId, PlotCurve& curve)
{
    const QList<int> rows = DaoRows::rowsMatching(_plotCurveModel, 0, plotCurveId);
    if (rows.isEmpty())
        return QStringLiteral("no plot curve with ID %1 found").arg(plotCurveId);
    const QSqlRecord row = _plotCurveModel->record(rows.first());
    curve.PlotCurveID = row.value(0).toInt();
    curve.PlotID = row.value(1).toInt();
    curve.Name = row.value(2).toString();
    curve.CurveDataTypeID = row.value(3).toInt();
    curve.salinityMethod = SalinityMethodInfo();
    if (curve.CurveDataTypeID != TARN::CurveSalinity)
        return {};

    QSqlQuery query(_db);
    query.prepare(QStringLiteral(
        "SELECT ad.SalinityMethodID FROM PlotCurveWaterUser pcwu INNER JOIN WaterUser wu ON "
        "wu.WaterUserID = pcwu.WaterUserID INNER JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID "
        "WHERE pcwu.PlotCurveID = :plotCurveID LIMIT 1;"));
    query.bindValue(QStringLiteral(":plotCurveID"), plotCurveId);
    if (!query.exec())
        return query.lastError().text();
    if (!query.next())
        return QStringLiteral("no salinity method found");
    curve.salinityMethod = SalinityMethodInfo::fromId(query.value(0).toInt());
    return {};
}

TARN::okstat PlotDAO::getPlotCurveFilters(int plotCurveId, AttrSelectionList& selections)
{
    return DaoRows::readFilter(_db, curveChoice(), plotCurveId, selections);
}

TARN::okstat PlotDAO::setPlotCurveFilters(int plotCurveId, const AttrSelectionList& selections)
{
    return DaoRows::writeFilter(_db, curveChoice(), plotCurveId, selections);
}

TARN::okstat PlotDAO::getPlotCurveWaterUsers(int plotCurveId, WaterUserList& waterUsers)
{
    return DaoRows::readMembers(_db, curveChoice(), plotCurveId, waterUsers);
}

TARN::okstat PlotDAO::setPlotCurveWaterUsers(int plotCurveId, const WaterUserList& waterUsers)
{
    return DaoRows::writeMembers(_db, curveChoice(), plotCurveId, waterUsers);
}

TARN::okstat PlotDAO::getPlotScenarioIds(int plotId, QList<QVariant>& scenarioIds)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("SELECT ScenarioID FROM PlotScenario WHERE PlotID = :plotID"));
    query.bindValue(QStringLiteral(":plotID"), plotId);
    if (!query.exec())
        return query.lastError().text();
    while (query.next())
        scenarioIds.append(query.value(0));
    return {};
}

TARN::okstat PlotDAO::getPlotRuns(int plotId, QList<PlotRun>& runs)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral(
        "SELECT ps.ScenarioID, COALESCE(s.ScenarioShortName, 'Baseline') FROM PlotScenario ps "
        "LEFT JOIN Scenario s ON s.ScenarioID = ps.ScenarioID WHERE ps.PlotID = :plotID"));
    query.bindValue(QStringLiteral(":plotID"), plotId);
    if (!query.exec())
        return query.lastError().text();
    while (query.next())
        runs.append({ query.value(0), query.value(1).toString() });
    return {};
}

TARN::okstat PlotDAO::getPlotCurveSummaries(int plotId, QList<PlotCurveSummary>& curves)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral(
        "SELECT pc.PlotCurveID, pc.Name, cdt.Name, COUNT(pcwu.WaterUserID) FROM "
        "PlotCurve pc JOIN CurveDataType cdt ON cdt.CurveDataTypeID = pc.CurveDataTypeID LEFT "
        "JOIN PlotCurveWaterUser pcwu ON pcwu.PlotCurveID = pc.PlotCurveID WHERE pc.PlotID = "
        ":plotID GROUP BY pc.PlotCurveID"));
    query.bindValue(QStringLiteral(":plotID"), plotId);
    if (!query.exec())
        return query.lastError().text();
    while (query.next())
        curves.append({ query.value(0).toInt(), query.value(1).toString(),
            query.value(2).toString(), query.value(3).toInt() });
    return {};
}

TARN::okstat PlotDAO::clearPlotScenarios(int plotId)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("DELETE FROM PlotScenario WHERE PlotID = :plotID"));
    query.bindValue(QStringLiteral(":plotID"), plotId);
    if (!query.exec())
        return query.lastError().text();
    return {};
}
