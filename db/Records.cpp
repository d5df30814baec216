#include "db/Records.h"

#include <cmath>

namespace TARN {

QString attrTypeName(int typeId)
{
    switch (typeId) {
    case AttrTypeAggDiv:
        return QStringLiteral("AggDiv");
    case AttrTypeWaterUser:
        return QStringLiteral("WaterUser");
    default:
        return QString();
    }
}

QString outputTypeName(int outputTypeId)
{
    switch (outputTypeId) {
    case 1:
        return QStringLiteral("Requested");
    case 2:
        return QStringLiteral("Scheduled");
    default:
        return QString();
    }
}

} // namespace TARN

SalinityMethodInfo SalinityMethodInfo::fromId(int id)
{
    switch (id) {
    case 1:
        return { 1, QStringLiteral("Return Flow Mass (tons/yr)"),
            QStringLiteral("Return Flow Salinity Pickup Mass"), TARN::UnitKindMass };
    case 2:
        return { 2, QStringLiteral("Return Flow Concentration (mg/l)"),
            QStringLiteral("Return Flow Salinity Pickup Conc"), TARN::UnitKindConcentration };
    case 3:
        return { 3, QStringLiteral("Diversion Concentration (mg/l)"),
            QStringLiteral("Diversion Salt Concentration"), TARN::UnitKindConcentration };
    case 4:
        return { 4, QStringLiteral("Mass Removal (tons/yr)"), QStringLiteral("Salt Mass Removal"),
            TARN::UnitKindMass };
    default:
        return {};
    }
}

bool WaterUserData::isEmpty() const
{
    return std::isnan(DiversionReq) && std::isnan(DepletionReq) && std::isnan(EfficiencyRatio)
        && std::isnan(SalinityPickup);
}

void Attribute::setType(int id)
{
    typeName = TARN::attrTypeName(id);
    typeId = typeName.isEmpty() ? 0 : id;
}
