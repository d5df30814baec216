#include "inputs/InputsApply.h"

#include "inputs/ProjectInputs.h"

#include "calc/BaselineChangeLog.h"
#include "db/AggDivDAO.h"
#include "db/AttributeDAO.h"
#include "db/BaselineDAO.h"
#include "db/InputsDAO.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"

#include <QSet>

#include <type_traits>

namespace Inputs {

namespace {

const QString Unassigned = QStringLiteral("Unassigned");

// Attributes by type and name, with their values by text: the project's and those the import
// adds.
class AttributeIndex {
public:
    explicit AttributeIndex(const ProjectInputs& project)
    {
        for (const AttributeInfo& attribute : project.attributes)
            _attributes.insert(key(attribute.typeId, attribute.name), attribute);
    }
    AttributeInfo* find(int typeId, const QString& name)
    {
        const auto found = _attributes.find(key(typeId, name));
        return found == _attributes.end() ? nullptr : &found.value();
    }
    void add(const AttributeInfo& attribute)
    {
        _attributes.insert(key(attribute.typeId, attribute.name), attribute);
    }
    QList<AttributeInfo> ofType(int typeId) const
    {
        QList<AttributeInfo> list;
        for (const AttributeInfo& attribute : _attributes)
            if (attribute.typeId == typeId)
                list.append(attribute);
        return list;
    }

private:
    static QString key(int typeId, const QString& name)
    {
        return QString::number(typeId) + QChar(0x1f) + name;
    }
    QHash<QString, AttributeInfo> _attributes;
};

TARN::okstat addAttributes(const ImportPlan& plan, AttributeIndex& index)
{
    AttributeDAO* dao = TarnDbMgr::instance()->attributeDAO();
    for (const ValuePlan& planned : plan.newAttributes) {
        Attribute attribute;
        attribute.AttrName = planned.attribute;
        attribute.setType(planned.typeId);
        TARN::okstat status = dao->addAttribute(attribute);
        if (status.failed())
            return QStringLiteral("Unable to save attribute: %1").arg(status.text());
        AttrValidVal value { 0, attribute.AttrID, Unassigned };
        if ((status = dao->addValidValue(value)).failed())
            return QStringLiteral("Unable to create default value: %1").arg(status.text());
        if ((status = dao->assignDefaultValue(attribute, value.AttrValidValID)).failed())
            return QStringLiteral("Unable to add attribute to entity: %1").arg(status.text());
        index.add({ attribute.AttrID, attribute.AttrName, planned.typeId, { value } });
    }
    for (const ValuePlan& planned : plan.newValues) {
        AttributeInfo* attribute = index.find(planned.typeId, planned.attribute);
        if (!attribute)
            return QStringLiteral("The attribute \"%1\" was not saved.").arg(planned.attribute);
        AttrValidVal value { 0, attribute->id, planned.value };
        const TARN::okstat status = dao->addValidValue(value);
        if (status.failed())
            return QStringLiteral("Unable to save the value \"%1\" of the attribute \"%2\": %3")
                .arg(planned.value, planned.attribute, status.text());
        attribute->values.append(value);
    }
    return {};
}

// The assignments to write for one owner: the given values, and for a new owner "Unassigned"
// for every attribute the book gives no value of.
template<typename Assignment>
TARN::okstat assignments(AttributeIndex& index, int typeId, int ownerId, bool isNew,
    const QHash<QString, QString>& values, QList<Assignment>& list)
{
    const QList<AttributeInfo> attributes = index.ofType(typeId);
    for (const AttributeInfo& attribute : attributes) {
        const QString text = values.value(attribute.name, isNew ? Unassigned : QString());
        if (text.isEmpty())
            continue;
        const int valueId = attribute.valueId(text);
        if (valueId == 0)
            return QStringLiteral("The attribute \"%1\" has no value \"%2\".")
                .arg(attribute.name, text);
        Assignment assignment;
        assignment.attribute.AttrID = attribute.id;
        assignment.value.AttrValidValID = valueId;
        if constexpr (std::is_same<Assignment, AggDivAttr>::value)
            assignment.AggDivID = ownerId;
        else
            assignment.WaterUserID = ownerId;
        list.append(assignment);
    }
    return {};
}

} // namespace

TARN::okstat applyPlan(const ImportPlan& plan, const ProjectInputs& project, BaselineChangeLog& log)
{
    TarnDbMgr* manager = TarnDbMgr::instance();
    TARN::okstat status;
    if (plan.baselineChanged) {
        if ((status = manager->baselineDAO()->saveBaseline(plan.baseline)).failed())
            return QStringLiteral("Unable to save the baseline: %1").arg(status.text());
        if (plan.rangeChanged)
            log.setFullRecalculation();
    }
    AttributeIndex attributes(project);
    if ((status = addAttributes(plan, attributes)).failed())
        return status;

    QHash<QString, AggDiv> sites;
    for (const AggDiv& site : project.sites)
        sites.insert(site.RiffleName, site);
    for (const SitePlan& planned : plan.sites) {
        AggDivList list { planned.site };
        if ((status = manager->aggDivDAO()->saveAggDivs(list)).failed())
            return QStringLiteral("Unable to save the site \"%1\": %2")
                .arg(planned.site.RiffleName, status.text());
        sites.insert(list.first().RiffleName, list.first());
        QList<AggDivAttr> values;
        if ((status = assignments(attributes, TARN::AttrTypeAggDiv, list.first().AggDivID,
                 planned.isNew, planned.values, values))
                .failed()
            || (status = manager->aggDivDAO()->saveAggDivAttrs(values)).failed())
            return QStringLiteral("Unable to save the attributes of the site \"%1\": %2")
                .arg(planned.site.RiffleName, status.text());
        log.aggDivEdited(list.first().AggDivID, list.first().SiteName);
    }

    WaterUserDAO* waterUsers = manager->waterUserDAO();
    QHash<QString, int> waterUserIds;
    for (const WaterUserPlan& planned : plan.waterUsers) {
        WaterUserList list { planned.waterUser };
        list.first().aggDiv = sites.value(planned.siteRiffle);
        list.first().ScenarioID = 0;
        const QString what = QStringLiteral("the water user \"%1\" of the site \"%2\"")
                                 .arg(planned.waterUser.RiffleName, planned.siteRiffle);
        if ((status = waterUsers->saveWaterUsers(list)).failed())
            return QStringLiteral("Unable to save %1: %2").arg(what, status.text());
        const WaterUser& saved = list.first();
        waterUserIds.insert(waterUserKey(planned.siteRiffle, saved.RiffleName), saved.WaterUserID);
        if (planned.isNew || !planned.coefficients.isEmpty()) {
            const QVector<double> months
                = planned.coefficients.isEmpty() ? QVector<double>(12, 0.0) : planned.coefficients;
            if ((status
                    = InputsDAO::writeDistribution(manager->database(), saved.WaterUserID, months))
                    .failed())
                return QStringLiteral("Unable to save the coefficients of %1: %2")
                    .arg(what, status.text());
        }
        QList<WaterUserAttr> values;
        if ((status = assignments(attributes, TARN::AttrTypeWaterUser, saved.WaterUserID,
                 planned.isNew, planned.values, values))
                .failed()
            || (status = waterUsers->saveWaterUserAttrs(values)).failed())
            return QStringLiteral("Unable to save the attributes of %1: %2")
                .arg(what, status.text());
        if (planned.isNew) {
            // As the baseline dialog does for a water user it creates: the demand changes and
            // plot curves whose attribute filters select it take it in.
            if ((status = waterUsers->updateDemandChgMembership(saved)).failed()
                || (status = waterUsers->updatePlotCurveMembership(saved)).failed())
                return status;
            log.waterUserAdded(saved.aggDiv.AggDivID, saved.WaterUserID, saved.WaterUserName);
        } else {
            log.waterUserEdited(saved.aggDiv.AggDivID, saved.WaterUserID, saved.WaterUserName);
        }
    }

    for (const YearlyPlan& planned : plan.yearly) {
        const QString key = waterUserKey(planned.siteRiffle, planned.riffleName);
        const int id = planned.waterUserId != 0 ? planned.waterUserId : waterUserIds.value(key);
        WaterUserDataList rows = planned.rows;
        if (rows.isEmpty()) {
            // Every year removed: one empty row still makes the save clear the stored ones.
            WaterUserData empty;
            empty.Year = plan.baseline.StartYear;
            rows.append(empty);
        }
        if ((status = waterUsers->saveWaterUserData(rows, id)).failed())
            return QStringLiteral("Unable to save the yearly data of the water user \"%1\" of "
                                  "the site \"%2\": %3")
                .arg(planned.riffleName, planned.siteRiffle, status.text());
        const int index = project.waterUserIndex(planned.siteRiffle, planned.riffleName);
        if (index >= 0) {
            const WaterUser& waterUser = project.waterUsers.at(index);
            log.waterUserEdited(
                waterUser.aggDiv.AggDivID, waterUser.WaterUserID, waterUser.WaterUserName);
        }
    }

    // The water users of a removed site go with it: each is deleted first, so that the log
    // names it and the demand changes it leaves.
    QList<WaterUser> removed = plan.removedWaterUsers;
    QSet<int> removedIds;
    for (const WaterUser& waterUser : removed)
        removedIds.insert(waterUser.WaterUserID);
    for (const int siteId : plan.removedSites)
        for (const WaterUser& waterUser : project.waterUsers)
            if (waterUser.aggDiv.AggDivID == siteId && !removedIds.contains(waterUser.WaterUserID))
                removed.append(waterUser);
    for (const WaterUser& waterUser : qAsConst(removed)) {
        QList<int> demandChanges;
        waterUsers->getDemandChgIDs(waterUser.WaterUserID, demandChanges);
        if ((status = waterUsers->deleteWaterUser(waterUser)).failed())
            return QStringLiteral("Unable to delete the water user \"%1\": %2")
                .arg(waterUser.RiffleName, status.text());
        log.waterUserDeleted(
            waterUser.aggDiv.AggDivID, waterUser.WaterUserID, waterUser.WaterUserName);
        log.demandChangesLeft(waterUser.aggDiv.AggDivID, waterUser.WaterUserID, demandChanges);
    }
    for (const int siteId : plan.removedSites) {
        AggDiv site;
        site.AggDivID = siteId;
        if ((status = manager->aggDivDAO()->deleteAggDiv(site)).failed())
            return QStringLiteral("Unable to delete a site: %1").arg(status.text());
    }
    return applyScenarios(plan, project);
}

QStringList recomputeLines(const BaselineChangeLog& log, const QStringList& touchedScenarios)
{
    if (log.fullRecalculation())
        return { QStringLiteral("Every site and water user (the time range changed)."),
            QStringLiteral("Every scenario.") };
    QStringList lines;
    const QList<int> sites = log.aggDivIDs();
    for (const int site : sites) {
        const QStringList reasons = log.aggDivReasons(site);
        for (const QString& reason : reasons)
            if (!reason.endsWith(QLatin1String(" was "))) // a blank entry
                lines.append(reason);
    }
    if (!lines.isEmpty()) {
        lines.append(QStringLiteral("Every scenario (they start from the baseline's results)."));
        return lines;
    }
    for (const QString& scenario : touchedScenarios)
        lines.append(
            QStringLiteral("Scenario %1 (its changes or its own water users).").arg(scenario));
    return lines;
}

} // namespace Inputs
