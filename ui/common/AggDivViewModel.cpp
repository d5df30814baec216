#include "ui/common/AggDivViewModel.h"

AggDivViewModel::AggDivViewModel(QObject* parent)
    : OrderedViewModel(parent)
{
}

QVariant AggDivViewModel::cellData(const AggDiv& record, int column) const
{
    switch (column) {
    case IdColumn:
        return record.AggDivID;
    case NameColumn:
        return record.SiteName;
    case RiffleNameColumn:
        return record.RiffleName;
    case NotesColumn:
        return record.Notes;
    case OrdColumn:
        return record.Ord;
    default:
        return QVariant();
    }
}

QVariant AggDivViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case RiffleNameColumn:
        return QStringLiteral("Riffle Name");
    default:
        return QVariant();
    }
}
