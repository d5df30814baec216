#pragma once

#include "db/Records.h"

#include <QAbstractTableModel>
#include <QList>

// A summary of an attribute filter: one row per attribute with the chosen values joined by "; ".
class AttributeSelectionViewModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { TypeColumn = 0, AttributeColumn, ValuesColumn };

    struct Entry {
        int AttrID = 0;
        QString AttrName;
        QString typeName;
        QString values;
    };

    explicit AttributeSelectionViewModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Groups the filter rows by attribute, in ascending attribute id.
    void setSelections(const AttrSelectionList& selections);
    const QList<Entry>& entries() const { return _entries; }

private:
    QList<Entry> _entries;
};
