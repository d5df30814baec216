#include "db/WaterUserDAO.h"

#include "db/TarnNames.h"

WaterUserDAO::WaterUserDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _waterUserModel(createModel(TN::WaterUserTable))
    , _waterUserAttrModel(createModel(TN::WaterUserAttrTable))
    , _waterUserDistModel(createModel(TN::WaterUserDistTable))
    , _waterUserDataModel(createModel(TN::WaterUserDataTable))
{
}

bool WaterUserDAO::checkStructure()
{
    setHeader(_waterUserModel, 3, QStringLiteral("Name"));
    setHeader(_waterUserDataModel, 3, QStringLiteral("Diversion"));
    setHeader(_waterUserDataModel, 4, QStringLiteral("Depletion"));
    setHeader(_waterUserDataModel, 5, QStringLiteral("Efficiency Ratio"));
    setHeader(_waterUserDataModel, 6, QStringLiteral("Salinity Pickup"));
    return selectModels({_waterUserModel, _waterUserAttrModel, _waterUserDistModel,
                         _waterUserDataModel});
}
