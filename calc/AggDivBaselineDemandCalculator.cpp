#include "calc/AggDivBaselineDemandCalculator.h"

AggDivBaselineDemandCalculator::AggDivBaselineDemandCalculator(int aggDivID, QObject* parent)
    : BaselineDemandCalculator(parent)
    , _onlyAggDivID(aggDivID)
{
}

void AggDivBaselineDemandCalculator::calculate()
{
    _aggDivIDs = { _onlyAggDivID };
    calculateInTransaction();
}
