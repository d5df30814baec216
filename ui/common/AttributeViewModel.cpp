#include "ui/common/AttributeViewModel.h"

QVariant AttributeViewModel::cellData(const Attribute& record, int column) const
{
    switch (column) {
    case IdColumn:
        return record.AttrID;
    case BaselineColumn:
        return record.BaselineID;
    case NameColumn:
        return record.AttrName;
    case TypeIdColumn:
        return record.typeId;
    case TypeNameColumn:
        return record.typeName;
    default:
        return QVariant();
    }
}

QVariant AttributeViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    if (section == NameColumn)
        return QStringLiteral("Attribute");
    if (section == TypeNameColumn)
        return QStringLiteral("Type");
    return QVariant();
}
