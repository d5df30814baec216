#include "ui/common/AttributeSelectionViewModel.h"

#include <QMap>

AttributeSelectionViewModel::AttributeSelectionViewModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int AttributeSelectionViewModel::rowCount(const QModelIndex&) const
{
    return _entries.size();
}

int AttributeSelectionViewModel::columnCount(const QModelIndex&) const
{
    return 3;
}

QVariant AttributeSelectionViewModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() < 0
        || index.row() >= _entries.size())
        return QVariant();
    const Entry& entry = _entries.at(index.row());
    switch (index.column()) {
    case TypeColumn:
        return entry.typeName;
    case AttributeColumn:
        return entry.AttrName;
    case ValuesColumn:
        return entry.values;
    default:
        return QVariant();
    }
}

QVariant AttributeSelectionViewModel::headerData(
    int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case TypeColumn:
        return QStringLiteral("Type");
    case AttributeColumn:
        return QStringLiteral("Attribute");
    case ValuesColumn:
        return QStringLiteral("Values");
    default:
        return QVariant();
    }
}

void AttributeSelectionViewModel::setSelections(const AttrSelectionList& selections)
{
    QMap<int, Entry> byAttribute;
    for (const AttrSelection& selection : selections) {
        auto it = byAttribute.find(selection.AttrID);
        if (it == byAttribute.end()) {
            Entry entry;
            entry.AttrID = selection.AttrID;
            entry.AttrName = selection.AttrName;
            entry.typeName = selection.typeName;
            entry.values = selection.AttrVal;
            byAttribute.insert(selection.AttrID, entry);
        } else {
            it->values += QStringLiteral("; ") + selection.AttrVal;
        }
    }
    beginResetModel();
    _entries = byAttribute.values();
    endResetModel();
}
