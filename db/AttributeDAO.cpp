#include "db/AttributeDAO.h"

#include "db/TarnNames.h"

AttributeDAO::AttributeDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _attributeModel(createModel(TN::AttributeTable))
    , _attrValidValModel(createModel(TN::AttrValidValTable))
{
}

bool AttributeDAO::checkStructure()
{
    setHeader(_attributeModel, 2, QStringLiteral("Attribute"));
    setHeader(_attributeModel, 3, QStringLiteral("Type"));
    setHeader(_attrValidValModel, 2, QStringLiteral("Value"));
    return selectModels({_attributeModel, _attrValidValModel});
}
