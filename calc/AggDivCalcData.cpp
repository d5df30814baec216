#include "calc/AggDivCalcData.h"

#include <algorithm>

void AggDivCalcData::setYearRange(int firstYear, int lastYear)
{
    _firstYear = firstYear;
    _lastYear = lastYear;
    _yearCount = std::max(0, lastYear - firstYear + 1);
    for (auto& total : _totals)
        total.assign(_yearCount, DemandMath::missing());
    // Entries sized for another range must not be reused.
    _entries.clear();
    _count = 0;
    _indexById.clear();
}

void AggDivCalcData::reset(int aggDivID, const QString& aggDivName)
{
    _aggDivID = aggDivID;
    _aggDivName = aggDivName;
    _count = 0;
    _indexById.clear();
    for (auto& total : _totals)
        std::fill(total.begin(), total.end(), DemandMath::missing());
}

AggDivCalcData::WaterUserEntry& AggDivCalcData::addEntry(int waterUserID, const QString& name)
{
    if (_count == static_cast<int>(_entries.size())) {
        _entries.reserve(_entries.size() + GrowthStep);
        _entries.resize(_entries.size() + GrowthStep);
    }
    WaterUserEntry& entry = _entries[_count];
    entry.id = waterUserID;
    entry.name = name;
    entry.coefficients.fill(0.0);
    entry.yearCount = _yearCount;
    entry.values.assign(static_cast<size_t>(_yearCount) * KindCount, DemandMath::missing());
    _indexById.insert(waterUserID, _count);
    ++_count;
    return entry;
}

AggDivCalcData::WaterUserEntry* AggDivCalcData::find(int waterUserID)
{
    const auto it = _indexById.constFind(waterUserID);
    return it == _indexById.constEnd() ? nullptr : &_entries[*it];
}

const AggDivCalcData::WaterUserEntry* AggDivCalcData::find(int waterUserID) const
{
    const auto it = _indexById.constFind(waterUserID);
    return it == _indexById.constEnd() ? nullptr : &_entries[*it];
}

void AggDivCalcData::deriveAll(
    WaterUserEntry& entry, int notedYear, DemandMath::Derivation* rule) const
{
    for (int y = 0; y < _yearCount; ++y)
        DemandMath::deriveThird(entry.value(Diversion, y), entry.value(Depletion, y),
            entry.value(EfficiencyRatio, y), y == notedYear ? rule : nullptr);
}

void AggDivCalcData::computeTotals()
{
    for (int y = 0; y < _yearCount; ++y) {
        DemandMath::Sum diversion;
        DemandMath::Sum depletion;
        DemandMath::Sum salinity;
        for (int i = 0; i < _count; ++i) {
            const WaterUserEntry& entry = _entries[i];
            diversion.add(entry.value(Diversion, y));
            depletion.add(entry.value(Depletion, y));
            salinity.add(entry.value(SalinityPickup, y));
        }
        _totals[0][y] = diversion.value;
        _totals[1][y] = depletion.value;
        _totals[2][y] = diversion.value - depletion.value; // NaN when either is missing
        _totals[3][y] = salinity.value;
    }
}

DemandMath::SiteSalinity AggDivCalcData::siteSalinity(
    int salinityMethodID, int yearIndex, DemandMath::SalinityRule* rule) const
{
    return DemandMath::siteSalinity(salinityMethodID, totalDiversion(yearIndex),
        totalReturnFlow(yearIndex), totalSalinity(yearIndex), rule);
}

double AggDivCalcData::monthlyValue(const WaterUserEntry& entry, int kind, int yearIndex, int month)
{
    return DemandMath::monthlyShare(entry.value(kind, yearIndex), entry.coefficients[month - 1]);
}
