#include "ui/common/WaterUserViewModel.h"

WaterUserViewModel::WaterUserViewModel(QObject* parent)
    : OrderedViewModel(parent)
{
}

QVariant WaterUserViewModel::cellData(const WaterUser& record, int column) const
{
    switch (column) {
    case IdColumn:
        return record.WaterUserID;
    case ScenarioColumn:
        return record.ScenarioID;
    case NameColumn:
        return record.WaterUserName;
    case RiffleNameColumn:
        return record.RiffleName;
    case NotesColumn:
        return record.Notes;
    case OrdColumn:
        return record.Ord;
    case AggDivIdColumn:
        return record.aggDiv.AggDivID;
    case SiteNameColumn:
        return record.aggDiv.SiteName;
    default:
        return QVariant();
    }
}

QVariant WaterUserViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case NameColumn:
        return QStringLiteral("Water User");
    case SiteNameColumn:
        return QStringLiteral("Aggregate Diversion Site");
    default:
        return QVariant();
    }
}
