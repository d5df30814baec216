#include "db/PlotDAO.h"

#include "db/TarnNames.h"

PlotDAO::PlotDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _plotModel(createModel(TN::PlotTable))
    , _plotScenarioModel(createModel(TN::PlotScenarioTable))
    , _plotCurveModel(createModel(TN::PlotCurveTable))
    , _plotCurveWaterUserModel(createModel(TN::PlotCurveWaterUserTable))
{
}

bool PlotDAO::checkStructure()
{
    return selectModels({_plotModel, _plotScenarioModel, _plotCurveModel, _plotCurveWaterUserModel});
}
