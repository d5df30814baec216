#include "inputs/InputsApply.h"
#include "inputs/ProjectInputs.h"

#include "db/AttributeDAO.h"
#include "db/InputsDAO.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"

namespace Inputs {

namespace {

const QChar Sep(0x1f);

// The keys of the sites, baseline water users and attribute values as they are now, after the
// baseline part of the import wrote its own.
struct CurrentKeys {
    QHash<QString, AggDiv> sites;
    QHash<QString, int> waterUsers; // waterUserKey -> WaterUserID
    QHash<QString, QPair<int, int>> values; // type + attribute + value -> AttrID, AttrValidValID
    QHash<int, QList<int>> unassigned; // water user attributes' "Unassigned" by AttrID

    TARN::okstat read()
    {
        TarnDbMgr* manager = TarnDbMgr::instance();
        AggDivList siteList;
        WaterUserList userList;
        QList<AttributeDAO::AttributeValueRow> rows;
        TARN::okstat status;
        if ((status = InputsDAO::readSites(manager->database(), siteList)).failed()
            || (status = InputsDAO::readBaselineWaterUsers(manager->database(), userList)).failed()
            || (status = manager->attributeDAO()->getAttributeValues(rows)).failed())
            return status;
        for (const AggDiv& site : siteList)
            sites.insert(site.RiffleName, site);
        for (const WaterUser& user : userList)
            waterUsers.insert(
                waterUserKey(user.aggDiv.RiffleName, user.RiffleName), user.WaterUserID);
        for (const AttributeDAO::AttributeValueRow& row : rows) {
            if (row.AttrValidValID.isNull())
                continue;
            values.insert(QString::number(row.AttrTypeID) + Sep + row.AttrName + Sep + row.AttrVal,
                { row.AttrID, row.AttrValidValID.toInt() });
            if (row.AttrTypeID == TARN::AttrTypeWaterUser
                && row.AttrVal == QLatin1String("Unassigned"))
                unassigned[row.AttrID].append(row.AttrValidValID.toInt());
        }
        return {};
    }
};

} // namespace

TARN::okstat applyScenarios(const ImportPlan& plan, const ProjectInputs& project)
{
    if (plan.scenarios.isEmpty() && plan.changes.isEmpty() && plan.scenarioWaterUsers.isEmpty())
        return {};
    TarnDbMgr* manager = TarnDbMgr::instance();
    const QSqlDatabase& db = manager->database();
    CurrentKeys keys;
    TARN::okstat status = keys.read();
    if (status.failed())
        return status;

    QHash<QString, int> scenarioIds;
    for (const ScenarioRow& scenario : project.scenarios)
        scenarioIds.insert(scenario.name, scenario.ScenarioID);
    for (const ScenarioPlan& planned : plan.scenarios) {
        ScenarioRow row = planned.row;
        if ((status = InputsDAO::saveScenario(db, row)).failed())
            return QStringLiteral("Unable to save the scenario \"%1\": %2")
                .arg(row.name, status.text());
        scenarioIds.insert(row.name, row.ScenarioID);
    }

    // The scenarios' own water users, by scenario name + waterUserKey.
    QHash<QString, int> ownUsers;
    for (const WaterUser& user : project.scenarioWaterUsers)
        for (const ScenarioRow& scenario : project.scenarios)
            if (scenario.ScenarioID == user.ScenarioID)
                ownUsers.insert(
                    scenario.name + Sep + waterUserKey(user.aggDiv.RiffleName, user.RiffleName),
                    user.WaterUserID);
    WaterUserDAO* waterUsers = manager->waterUserDAO();
    for (const ScenarioWaterUserPlan& planned : plan.scenarioWaterUsers) {
        WaterUser user = planned.plan.waterUser;
        const QString what = QStringLiteral("the water user \"%1\" of the scenario \"%2\"")
                                 .arg(user.RiffleName, planned.scenario);
        if (planned.writeUser) {
            user.aggDiv = keys.sites.value(planned.plan.siteRiffle);
            user.ScenarioID = scenarioIds.value(planned.scenario);
            WaterUserList list { user };
            if ((status = waterUsers->saveWaterUsers(list)).failed())
                return QStringLiteral("Unable to save %1: %2").arg(what, status.text());
            user = list.first();
            if (planned.plan.isNew || !planned.plan.coefficients.isEmpty()) {
                const QVector<double> months = planned.plan.coefficients.isEmpty()
                    ? QVector<double>(12, 0.0)
                    : planned.plan.coefficients;
                if ((status = InputsDAO::writeDistribution(db, user.WaterUserID, months)).failed())
                    return QStringLiteral("Unable to save the coefficients of %1: %2")
                        .arg(what, status.text());
            }
            // The values the book gives; "Unassigned" for the rest of a new water user's.
            QHash<int, int> valueIds;
            if (planned.plan.isNew)
                for (auto it = keys.unassigned.constBegin(); it != keys.unassigned.constEnd(); ++it)
                    valueIds.insert(it.key(), it.value().first());
            for (auto it = planned.plan.values.constBegin(); it != planned.plan.values.constEnd();
                 ++it) {
                const QPair<int, int> ids = keys.values.value(
                    QString::number(TARN::AttrTypeWaterUser) + Sep + it.key() + Sep + it.value());
                valueIds.insert(ids.first, ids.second);
            }
            QList<WaterUserAttr> values;
            for (auto it = valueIds.constBegin(); it != valueIds.constEnd(); ++it) {
                WaterUserAttr value;
                value.attribute.AttrID = it.key();
                value.WaterUserID = user.WaterUserID;
                value.value.AttrValidValID = it.value();
                values.append(value);
            }
            if ((status = waterUsers->saveWaterUserAttrs(values)).failed())
                return QStringLiteral("Unable to save the attributes of %1: %2")
                    .arg(what, status.text());
        }
        ownUsers.insert(
            planned.scenario + Sep + waterUserKey(planned.plan.siteRiffle, user.RiffleName),
            user.WaterUserID);
        if (planned.replaceYearly) {
            WaterUserDataList rows = planned.rows;
            if (rows.isEmpty())
                rows.append(WaterUserData()); // makes the save clear the stored years
            if ((status = waterUsers->saveWaterUserData(rows, user.WaterUserID)).failed())
                return QStringLiteral("Unable to save the yearly data of %1: %2")
                    .arg(what, status.text());
        }
    }

    ScenarioDAO* scenarios = manager->scenarioDAO();
    for (const ChangePlan& planned : plan.changes) {
        DemandChgRow row = planned.row;
        row.ScenarioID = scenarioIds.value(planned.scenario);
        const QString what = QStringLiteral("the demand change \"%1\" of the scenario \"%2\"")
                                 .arg(row.name, planned.scenario);
        if (planned.rowChanged && (status = InputsDAO::saveDemandChange(db, row)).failed())
            return QStringLiteral("Unable to save %1: %2").arg(what, status.text());
        if (planned.replaceValues
            && (status = InputsDAO::replaceChangeValues(db, row.DemandChgID, planned.values))
                   .failed())
            return QStringLiteral("Unable to save the yearly changes of %1: %2")
                .arg(what, status.text());
        if (planned.replaceMembers) {
            WaterUserList members;
            for (const QPair<QString, QString>& member : planned.members) {
                const QString key = waterUserKey(member.first, member.second);
                WaterUser user;
                user.WaterUserID
                    = ownUsers.value(planned.scenario + Sep + key, keys.waterUsers.value(key));
                members.append(user);
            }
            if ((status = scenarios->setDemandChgWaterUsers(row.DemandChgID, members)).failed())
                return QStringLiteral("Unable to save the water users of %1: %2")
                    .arg(what, status.text());
        }
        if (planned.replaceFilters) {
            AttrSelectionList filters;
            for (const ValuePlan& filter : planned.filters) {
                const QPair<int, int> ids = keys.values.value(
                    QString::number(filter.typeId) + Sep + filter.attribute + Sep + filter.value);
                AttrSelection selection;
                selection.AttrID = ids.first;
                selection.AttrValidValID = ids.second;
                filters.append(selection);
            }
            if ((status = scenarios->setDemandSelections(row.DemandChgID, true, filters)).failed())
                return QStringLiteral("Unable to save the filter of %1: %2")
                    .arg(what, status.text());
        }
    }
    return {};
}

} // namespace Inputs
