#pragma once

#include "calc/AggDivCalcData.h"
#include "calc/ResultStore.h"

#include <QString>

#include <vector>

// Hears, on the calculation's thread, of every site and water user a calculator computed, with
// how the stored rows compared. The project check builds its findings on it, so they rest on the
// calculation itself.
class CalcObserver {
public:
    virtual ~CalcObserver() = default;
    virtual void aggDivCalculated(int aggDivID, const QString& riffleName,
        const std::vector<DemandMath::SiteSalinity>& salinity,
        const ResultStore::Difference& difference)
        = 0;
    virtual void waterUserCalculated(int aggDivID, const AggDivCalcData::WaterUserEntry& entry,
        const ResultStore::Difference& difference)
        = 0;
};
