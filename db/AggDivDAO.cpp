#include "db/AggDivDAO.h"

#include "db/TarnNames.h"

AggDivDAO::AggDivDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _aggDivModel(createModel(TN::AggDivTable))
    , _aggDivAttrModel(createModel(TN::AggDivAttrTable))
{
}

bool AggDivDAO::checkStructure()
{
    setHeader(_aggDivModel, 3, QStringLiteral("Name"));
    setHeader(_aggDivModel, 4, QStringLiteral("Riffle Name"));
    setHeader(_aggDivAttrModel, 1, QStringLiteral("Attribute"));
    setHeader(_aggDivAttrModel, 3, QStringLiteral("Value"));
    return selectModels({_aggDivModel, _aggDivAttrModel});
}
