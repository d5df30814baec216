#include "calc/WaterUserBaselineDemandCalculator.h"

#include "db/TarnNames.h"

WaterUserBaselineDemandCalculator::WaterUserBaselineDemandCalculator(
    int waterUserID, int aggDivID, QObject* parent)
    : BaselineDemandCalculator(parent)
    , _onlyWaterUserID(waterUserID)
    , _onlyAggDivID(aggDivID)
{
}

void WaterUserBaselineDemandCalculator::calculate()
{
    _aggDivIDs = { _onlyAggDivID };
    calculateInTransaction();
}

void WaterUserBaselineDemandCalculator::calculateAggDivs(CalcStatusInfo& info)
{
    prepareAggDiv(_onlyAggDivID);
    const QString name = _data.entryCount() > 0 ? _data.entry(0).name : QString();
    calculateWaterUser(info, _onlyWaterUserID, name);
}

void WaterUserBaselineDemandCalculator::prepareQueries()
{
    BaselineDemandCalculator::prepareQueries();
    _selectOneWaterUser.prepare(_db,
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %3.%1 = ?")
            .arg(TN::WaterUserID, TN::RiffleName, TN::WaterUserTable));
}

void WaterUserBaselineDemandCalculator::filterWaterUsers()
{
    _selectOneWaterUser.bind(0, _onlyWaterUserID);
    readWaterUsers(_selectOneWaterUser);
}
