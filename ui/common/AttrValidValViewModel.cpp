#include "ui/common/AttrValidValViewModel.h"

QVariant AttrValidValViewModel::cellData(const AttrValidVal& record, int column) const
{
    switch (column) {
    case IdColumn:
        return record.AttrValidValID;
    case AttrIdColumn:
        return record.AttrID;
    case ValueColumn:
        return record.AttrVal;
    default:
        return QVariant();
    }
}

QVariant AttrValidValViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section == ValueColumn)
        return QStringLiteral("Value");
    return QVariant();
}
