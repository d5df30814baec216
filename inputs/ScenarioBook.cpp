#include "inputs/InputsFiles.h"
#include "inputs/ProjectInputs.h"

namespace Inputs {

namespace {

QString number(double value)
{
    return Workbook::plainNumber(value);
}

const ScenarioRow* scenarioOf(const ProjectInputs& project, int scenarioId)
{
    for (const ScenarioRow& scenario : project.scenarios)
        if (scenario.ScenarioID == scenarioId)
            return &scenario;
    return nullptr;
}

} // namespace

// The sheets of the scenarios asked for (ScenarioBook.cpp); none without one.
Book scenarioSheets(const ProjectInputs& project, const QList<int>& scenarioIds)
{
    if (scenarioIds.isEmpty())
        return {};
    Sheet scenarios { SheetName::Scenarios,
        { Column::Scenario, Column::ShortName, Column::Description, Column::UserName,
            Column::CreatedDate, Column::ModifiedDate },
        {}, {} };
    Sheet changes { SheetName::Changes,
        { Column::Scenario, Column::Change, Column::Description, Column::CreatedDate,
            Column::DepletionMethod, Column::EfficiencyMethod, Column::UsesFilters },
        {}, {} };
    Sheet values { SheetName::ChangeValues,
        { Column::Scenario, Column::Change, Column::ValueOf, Column::Year, Column::ChangeType,
            Column::Value },
        {}, { false, false, false, true, false, true } };
    Sheet members { SheetName::ChangeMembers,
        { Column::Scenario, Column::Change, Column::Site, Column::WaterUser }, {}, {} };
    Sheet filters { SheetName::ChangeFilters,
        { Column::Scenario, Column::Change, Column::Attribute, Column::Type, Column::Value }, {},
        {} };
    Sheet waterUsers { SheetName::ScenarioWaterUsers,
        { Column::Scenario, Column::Site, Column::RiffleName, Column::Name, Column::Notes,
            Column::Order },
        {}, {} };
    const QList<const AttributeInfo*> attributes = addWaterUserColumns(waterUsers, project);
    Sheet yearly { SheetName::ScenarioYearlyData,
        { Column::Scenario, Column::Site, Column::WaterUser, Column::Year, Column::Diversion,
            Column::Depletion, Column::EfficiencyRatio, Column::SalinityPickup },
        {}, { false, false, false, true, true, true, true, true } };

    for (const int id : scenarioIds) {
        const ScenarioRow* scenario = scenarioOf(project, id);
        if (!scenario)
            continue;
        const QString& name = scenario->name;
        scenarios.rows.append({ name, scenario->shortName, scenario->description,
            scenario->userName, scenario->createdDate, scenario->modifiedDate });
        for (const DemandChgRow& change : project.changes) {
            if (change.ScenarioID != id)
                continue;
            changes.rows.append({ name, change.name, change.description, change.createdDate,
                project.calcMethods.value(change.depletionMethod),
                project.calcMethods.value(change.efficiencyMethod),
                change.usesFilters ? QStringLiteral("Yes") : QStringLiteral("No") });
            for (const ChangeValueRow& value : project.changeValues)
                if (value.DemandChgID == change.DemandChgID)
                    values.rows.append({ name, change.name,
                        value.efficiency ? Column::EfficiencyRatio : Column::Depletion,
                        QString::number(value.year), project.changeTypes.value(value.changeTypeId),
                        number(value.value) });
            for (const QPair<int, int>& member : project.changeMembers) {
                const WaterUser* waterUser = project.waterUserById(member.second);
                if (member.first == change.DemandChgID && waterUser)
                    members.rows.append(
                        { name, change.name, waterUser->aggDiv.RiffleName, waterUser->RiffleName });
            }
            for (const QVector<int>& filter : project.changeFilters) {
                if (filter.at(0) != change.DemandChgID)
                    continue;
                const AttributeInfo* attribute = nullptr;
                for (const AttributeInfo& candidate : project.attributes)
                    if (candidate.id == filter.at(1))
                        attribute = &candidate;
                if (attribute)
                    filters.rows.append({ name, change.name, attribute->name,
                        attribute->typeId == TARN::AttrTypeAggDiv ? SiteType : WaterUserType,
                        project.valueName(filter.at(2)) });
            }
        }
        for (const WaterUser& waterUser : project.scenarioWaterUsers) {
            if (waterUser.ScenarioID != id)
                continue;
            waterUsers.rows.append(
                QStringList { name, waterUser.aggDiv.RiffleName, waterUser.RiffleName,
                    waterUser.WaterUserName, waterUser.Notes, QString::number(waterUser.Ord) }
                + waterUserCells(project, waterUser, attributes));
            for (const WaterUserData& data : project.yearly.value(waterUser.WaterUserID))
                if (!data.isEmpty())
                    yearly.rows.append({ name, waterUser.aggDiv.RiffleName, waterUser.RiffleName,
                        QString::number(data.Year), number(data.DiversionReq),
                        number(data.DepletionReq), number(data.EfficiencyRatio),
                        number(data.SalinityPickup) });
        }
    }
    return { scenarios, changes, values, members, filters, waterUsers, yearly };
}

} // namespace Inputs
