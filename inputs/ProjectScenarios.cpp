#include "inputs/ProjectInputs.h"

#include "db/TarnDbMgr.h"

namespace Inputs {

TARN::okstat ProjectInputs::readScenarios()
{
    const QSqlDatabase& db = TarnDbMgr::instance()->database();
    TARN::okstat status;
    if ((status = InputsDAO::readScenarios(db, scenarios)).failed()
        || (status = InputsDAO::readDemandChanges(db, changes)).failed()
        || (status = InputsDAO::readChangeValues(db, changeValues)).failed()
        || (status = InputsDAO::readChangeMembers(db, changeMembers)).failed()
        || (status = InputsDAO::readChangeFilters(db, changeFilters)).failed()
        || (status = InputsDAO::readLookup(db, QStringLiteral("ChangeType"), changeTypes)).failed()
        || (status = InputsDAO::readLookup(db, QStringLiteral("CalcMethod"), calcMethods)).failed()
        || (status = InputsDAO::readScenarioWaterUsers(db, scenarioWaterUsers)).failed())
        return status;
    _byId.clear();
    for (const WaterUser& waterUser : waterUsers)
        _byId.insert(waterUser.WaterUserID, &waterUser);
    for (const WaterUser& waterUser : scenarioWaterUsers)
        _byId.insert(waterUser.WaterUserID, &waterUser);
    return {};
}

const WaterUser* ProjectInputs::waterUserById(int waterUserId) const
{
    return _byId.value(waterUserId);
}

QString ProjectInputs::attributeName(int attrId) const
{
    for (const AttributeInfo& attribute : attributes)
        if (attribute.id == attrId)
            return attribute.name;
    return {};
}

QString ProjectInputs::valueName(int attrValidValId) const
{
    for (const AttributeInfo& attribute : attributes)
        for (const AttrValidVal& value : attribute.values)
            if (value.AttrValidValID == attrValidValId)
                return value.AttrVal;
    return {};
}

} // namespace Inputs
