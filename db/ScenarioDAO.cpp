#include "db/ScenarioDAO.h"

#include "db/DaoRows.h"
#include "db/TarnNames.h"
#include "db/WaterUserDAO.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

// A demand change's members and filter.
DaoRows::Choice changeChoice()
{
    return { TN::DemandChgWaterUserTable, TN::DemandSelectionTable, TN::DemandChgID };
}

} // namespace

ScenarioDAO::ScenarioDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _scenarioModel(createModel(TN::ScenarioTable))
    , _scenarioMonthlyAggDivModel(createModel(TN::ScenarioMonthlyAggDivTable))
    , _scenarioMonthlyWaterUserModel(createModel(TN::ScenarioMonthlyWaterUserTable))
    , _scenarioYearlyAggDivModel(createModel(TN::ScenarioYearlyAggDivTable))
    , _scenarioYearlyWaterUserModel(createModel(TN::ScenarioYearlyWaterUserTable))
    , _demandChgModel(createModel(TN::DemandChgTable))
    , _depletionChgModel(createModel(TN::DepletionChgTable))
    , _efficiencyChgModel(createModel(TN::EfficiencyChgTable))
    , _demandChgWaterUserModel(createModel(TN::DemandChgWaterUserTable))
    , _changeTypeModel(createModel(TN::ChangeTypeTable))
    , _demandSelectionModel(createModel(TN::DemandSelectionTable))
{
}

bool ScenarioDAO::checkStructure()
{
    setHeader(_scenarioModel, 2, QStringLiteral("Scenario"));
    setHeader(_scenarioModel, 5, QStringLiteral("User Name"));
    setHeader(_scenarioModel, 6, QStringLiteral("Date Created"));
    setHeader(_scenarioModel, 7, QStringLiteral("Last Modified"));
    setHeader(_demandChgModel, 2, QStringLiteral("Change Name"));
    setHeader(_demandChgModel, 4, QStringLiteral("Date Created"));
    setHeader(_demandChgModel, 3, QStringLiteral("Description"));
    _demandChgWaterUserModel->setRelation(
        2, QSqlRelation(TN::WaterUserTable, TN::WaterUserID, TN::WaterUserName));
    _depletionChgModel->setRelation(
        3, QSqlRelation(TN::ChangeTypeTable, TN::ChangeTypeID, TN::Name));
    _efficiencyChgModel->setRelation(
        3, QSqlRelation(TN::ChangeTypeTable, TN::ChangeTypeID, TN::Name));
    return selectModels({ _scenarioModel, _demandChgModel, _depletionChgModel, _efficiencyChgModel,
        _demandChgWaterUserModel, _demandSelectionModel });
}

TARN::okstat ScenarioDAO::listScenarios(QList<ScenarioListEntry>& scenarios, ScenarioOrder order)
{
    QSqlQuery query(_db);
    if (!query.exec(
            QStringLiteral("SELECT %1, %2, %3 FROM %4 ORDER BY %5")
                .arg(TN::ScenarioID, TN::ScenarioName, TN::ScenarioShortName, TN::ScenarioTable,
                    order == ScenarioOrder::ById ? TN::ScenarioID : TN::ScenarioShortName)))
        return query.lastError().text();
    scenarios.clear();
    while (query.next())
        scenarios.append(
            { query.value(0).toInt(), query.value(1).toString(), query.value(2).toString() });
    return {};
}

TARN::okstat ScenarioDAO::getScenarioNames(QList<QPair<int, QString>>& scenarios)
{
    QList<ScenarioListEntry> all;
    const TARN::okstat listed = listScenarios(all, ScenarioOrder::ById);
    if (listed.failed())
        return listed;
    scenarios.clear();
    for (const ScenarioListEntry& scenario : qAsConst(all))
        scenarios.append({ scenario.id, scenario.name });
    return {};
}

TARN::okstat ScenarioDAO::readScenarioName(const QSqlDatabase& db, int scenarioId, QString& name)
{
    QSqlQuery scenario(db);
    scenario.prepare(QStringLiteral("SELECT ScenarioName FROM Scenario WHERE ScenarioID = :id"));
    scenario.bindValue(QStringLiteral(":id"), scenarioId);
    if (!scenario.exec())
        return scenario.lastError().text();
    if (scenario.next())
        name = scenario.value(0).toString();
    return {};
}

TARN::okstat ScenarioDAO::exists(int scenarioId, bool& found)
{
    QSqlQuery known(_db);
    known.prepare(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2 = :id")
                      .arg(TN::ScenarioTable, TN::ScenarioID));
    known.bindValue(QStringLiteral(":id"), scenarioId);
    if (!known.exec() || !known.next())
        return known.lastError().text();
    found = known.value(0).toInt() > 0;
    return {};
}

QList<int> ScenarioDAO::findScenarios(const QString& text)
{
    QList<int> ids;
    const QList<DaoRows::KeyedRow> rows = DaoRows::lookUp(_db, TN::ScenarioTable, TN::ScenarioID,
        { TN::ScenarioName, TN::ScenarioShortName }, QString(), text);
    for (const DaoRows::KeyedRow& row : rows)
        ids.append(row.id);
    return ids;
}

TARN::okstat ScenarioDAO::getDemandChgWaterUsers(int demandChgId, WaterUserList& waterUsers)
{
    return DaoRows::readMembers(_db, changeChoice(), demandChgId, waterUsers);
}

TARN::okstat ScenarioDAO::getDemandChgMembers(int demandChgId, QList<WaterUserRef>& waterUsers)
{
    QSqlQuery query(_db);
    if (!query.exec(QStringLiteral(
            "SELECT wu.WaterUserID, wu.AggDivID, wu.WaterUserName FROM WaterUser wu JOIN "
            "DemandChgWaterUser dcwu ON dcwu.WaterUserID = wu.WaterUserID WHERE dcwu.DemandChgID "
            "= %1")
                        .arg(demandChgId)))
        return query.lastError().text();
    while (query.next()) {
        WaterUserRef waterUser;
        waterUser.WaterUserID = query.value(0).toInt();
        waterUser.AggDivID = query.value(1).toInt();
        waterUser.WaterUserName = query.value(2).toString();
        waterUsers.append(waterUser);
    }
    return {};
}

TARN::okstat ScenarioDAO::setDemandChgWaterUsers(int demandChgId, const WaterUserList& waterUsers)
{
    return DaoRows::writeMembers(_db, changeChoice(), demandChgId, waterUsers);
}

TARN::okstat ScenarioDAO::getDemandSelections(int demandChgId, AttrSelectionList& selections)
{
    return DaoRows::readFilter(_db, changeChoice(), demandChgId, selections);
}

TARN::okstat ScenarioDAO::setDemandSelections(
    int demandChgId, bool storeFilter, const AttrSelectionList& selections)
{
    return DaoRows::writeFilter(
        _db, changeChoice(), demandChgId, storeFilter ? selections : AttrSelectionList());
}
