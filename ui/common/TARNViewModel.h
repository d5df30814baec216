#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace TARN {

// Orders cell values for sorting: numbers by value (NaN first), everything else by text.
inline bool variantLess(const QVariant& a, const QVariant& b)
{
    const auto numericType = [](const QVariant& v) {
        switch (v.userType()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
            return true;
        default:
            return false;
        }
    };
    if (numericType(a) && numericType(b)) {
        const double x = a.toDouble();
        const double y = b.toDouble();
        if (std::isnan(x) || std::isnan(y))
            return std::isnan(x) && !std::isnan(y);
        return x < y;
    }
    return a.toString() < b.toString();
}

} // namespace TARN

// A table model over an in-memory list of records of type T. Subclasses say how many columns
// there are and what each column shows; the model itself never touches the database.
template<typename T>
class TARNViewModel : public QAbstractTableModel {
public:
    explicit TARNViewModel(QObject* parent = nullptr)
        : QAbstractTableModel(parent)
    {
    }

    virtual int numColumns() const = 0;
    virtual QVariant cellData(const T& record, int column) const = 0;
    virtual bool isValidIndex(const QModelIndex& index) const
    {
        return index.isValid() && index.row() >= 0 && index.row() < _records.size();
    }

    int rowCount(const QModelIndex& = QModelIndex()) const override { return _records.size(); }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return numColumns(); }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        if (role != Qt::DisplayRole || !isValidIndex(index))
            return QVariant();
        return cellData(_records.at(index.row()), index.column());
    }

    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override
    {
        if (row < 0 || count < 1 || row + count - 1 >= _records.size())
            return false;
        beginRemoveRows(parent, row, row + count - 1);
        for (int i = 0; i < count; ++i) {
            if (row < _records.size())
                _records.removeAt(row);
        }
        endRemoveRows();
        return true;
    }

    // Moves count rows starting at sourceRow so that they stand before destinationChild (the
    // position counted before the move, as the model/view protocol does).
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
        const QModelIndex& destinationParent, int destinationChild) override
    {
        if (sourceRow < 0 || count < 1 || sourceRow + count > _records.size()
            || destinationChild < 0 || destinationChild > _records.size())
            return false;
        // A move onto itself or into its own range is refused by the view protocol; ending a
        // move that never began would corrupt the views' bookkeeping.
        if (!beginMoveRows(sourceParent, sourceRow, sourceRow + count - 1, destinationParent,
                destinationChild))
            return false;
        if (destinationChild < sourceRow) {
            for (int i = 0; i < count; ++i)
                _records.move(sourceRow + i, destinationChild + i);
        } else {
            for (int i = 0; i < count; ++i)
                _records.move(sourceRow, destinationChild - 1);
        }
        endMoveRows();
        return true;
    }

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override
    {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::sort(_records.begin(), _records.end(), [&](const T& a, const T& b) {
            const QVariant x = cellData(a, column);
            const QVariant y = cellData(b, column);
            return order == Qt::AscendingOrder ? TARN::variantLess(x, y) : TARN::variantLess(y, x);
        });
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    void setRecords(const QList<T>& records)
    {
        beginResetModel();
        if (&records != &_records)
            _records = records;
        endResetModel();
    }

    // A copy of the record at row; a default record when row is out of range.
    T record(int row) const
    {
        if (row < 0 || row >= _records.size())
            return T();
        return _records.at(row);
    }

    void appendRecord(const T& record)
    {
        beginInsertRows(QModelIndex(), _records.size(), _records.size());
        _records.append(record);
        endInsertRows();
    }

    const QList<T>& records() const { return _records; }

protected:
    QList<T> _records;
};
