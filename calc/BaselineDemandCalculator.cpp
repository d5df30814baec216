#include "calc/BaselineDemandCalculator.h"

#include "db/ModelOps.h"
#include "db/TarnNames.h"

BaselineDemandCalculator::BaselineDemandCalculator(QObject* parent)
    : DemandCalculator(parent)
{
    _target = QStringLiteral("Baseline");
}

void BaselineDemandCalculator::prepareQueries()
{
    _selectWaterUsers.prepare(_db,
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %3.%4 = ? AND %3.%5 IS NULL ORDER BY %1")
            .arg(
                TN::WaterUserID, TN::RiffleName, TN::WaterUserTable, TN::AggDivID, TN::ScenarioID));
}

void BaselineDemandCalculator::filterWaterUsers()
{
    _selectWaterUsers.bind(0, _aggDivID);
    readWaterUsers(_selectWaterUsers);
}
