#include "ui/common/AggDivViewModel.h"

AggDivViewModel::AggDivViewModel(QObject* parent)
    : TARNViewModel<AggDiv>(parent)
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

bool AggDivViewModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
    const QModelIndex& destinationParent, int destinationChild)
{
    if (!TARNViewModel<AggDiv>::moveRows(
            sourceParent, sourceRow, count, destinationParent, destinationChild))
        return false;
    renumberOrd();
    return true;
}

void AggDivViewModel::renumberOrd()
{
    for (int i = 0; i < _records.size(); ++i)
        _records[i].Ord = i;
}

void AggDivViewModel::replaceRecord(const AggDiv& record)
{
    for (AggDiv& existing : _records) {
        if (existing.AggDivID == record.AggDivID) {
            existing = record;
            return;
        }
    }
}
