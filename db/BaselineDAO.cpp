#include "db/BaselineDAO.h"

#include "db/TarnNames.h"

BaselineDAO::BaselineDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _baselineModel(createModel(TN::BaselineTable))
    , _salinityMethodModel(createModel(TN::SalinityMethodTable))
    , _baseMonthlyAggDivModel(createModel(TN::BaseMonthlyAggDivTable))
    , _baseMonthlyWaterUserModel(createModel(TN::BaseMonthlyWaterUserTable))
    , _baseYearlyAggDivModel(createModel(TN::BaseYearlyAggDivTable))
    , _baseYearlyWaterUserModel(createModel(TN::BaseYearlyWaterUserTable))
{
}

bool BaselineDAO::checkStructure()
{
    return selectModels({_baselineModel, _salinityMethodModel});
}
