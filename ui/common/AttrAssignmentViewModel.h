#pragma once

#include "ui/common/TARNViewModel.h"

// The attribute values of one owner (a site or a water user): the assignment id, the attribute
// and the chosen valid value. Only the value is edited; the dialog's combo delegate writes the
// value id into column 3 and its text into column 4.
template<typename T>
class AttrAssignmentViewModel : public TARNViewModel<T> {
public:
    enum Column { IdColumn = 0, AttrIdColumn, AttrNameColumn, ValueIdColumn, ValueColumn };

    using TARNViewModel<T>::TARNViewModel;

    int numColumns() const override { return 5; }

    QVariant cellData(const T& record, int column) const override
    {
        switch (column) {
        case IdColumn:
            return record.id;
        case AttrIdColumn:
            return record.attribute.AttrID;
        case AttrNameColumn:
            return record.attribute.AttrName;
        case ValueIdColumn:
            return record.value.AttrValidValID;
        case ValueColumn:
            return record.value.AttrVal;
        default:
            return QVariant();
        }
    }

    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QVariant();
        if (section == AttrNameColumn)
            return QStringLiteral("Attribute");
        if (section == ValueColumn)
            return QStringLiteral("Value");
        return QVariant();
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override
    {
        if (!this->isValidIndex(index))
            return false;
        T& record = this->_records[index.row()];
        if (index.column() == ValueIdColumn)
            record.value.AttrValidValID = value.toInt();
        else if (index.column() == ValueColumn)
            record.value.AttrVal = value.toString();
        else
            return false;
        emit this->dataChanged(index, index, { role });
        return true;
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        Qt::ItemFlags result = TARNViewModel<T>::flags(index);
        if (index.column() == ValueColumn)
            result |= Qt::ItemIsEditable;
        return result;
    }
};
