#pragma once

#include "calc/AggDivCalcData.h"

#include <QString>

#include <optional>

// The four values of a water user's year that a calculation computes and an explanation
// follows: what the explain window offers and "explain --value" names. The numbers are the
// calculation's own indexes of its value arrays.
enum class ValueKind {
    Diversion = AggDivCalcData::Diversion,
    Depletion = AggDivCalcData::Depletion,
    EfficiencyRatio = AggDivCalcData::EfficiencyRatio,
    SalinityPickup = AggDivCalcData::SalinityPickup,
};

namespace ValueKinds {

// The index of the kind in the calculation's value arrays.
constexpr int index(ValueKind kind)
{
    return int(kind);
}

// Diversion and depletion have monthly values; the efficiency ratio and the salinity pick-up
// are yearly.
constexpr bool isMonthly(ValueKind kind)
{
    return kind == ValueKind::Diversion || kind == ValueKind::Depletion;
}

// "diversion", "depletion", "efficiency" or "salinity", in any case and with spaces around;
// nothing for another name.
inline std::optional<ValueKind> fromName(const QString& name)
{
    const QString key = name.trimmed().toLower();
    if (key == QLatin1String("diversion"))
        return ValueKind::Diversion;
    if (key == QLatin1String("depletion"))
        return ValueKind::Depletion;
    if (key == QLatin1String("efficiency"))
        return ValueKind::EfficiencyRatio;
    if (key == QLatin1String("salinity"))
        return ValueKind::SalinityPickup;
    return std::nullopt;
}

} // namespace ValueKinds
