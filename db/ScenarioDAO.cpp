#include "db/ScenarioDAO.h"

#include "db/TarnNames.h"

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
    _depletionChgModel->setRelation(3, QSqlRelation(TN::ChangeTypeTable, TN::ChangeTypeID, TN::Name));
    _efficiencyChgModel->setRelation(3, QSqlRelation(TN::ChangeTypeTable, TN::ChangeTypeID, TN::Name));
    return selectModels({_scenarioModel, _demandChgModel, _depletionChgModel, _efficiencyChgModel,
                         _demandChgWaterUserModel, _demandSelectionModel});
}
