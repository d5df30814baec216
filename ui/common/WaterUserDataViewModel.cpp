#include "ui/common/WaterUserDataViewModel.h"

#include <cmath>

namespace {

QVariant valueCell(double value)
{
    return std::isnan(value) ? QVariant(QString()) : QVariant(value);
}

} // namespace

QVariant WaterUserDataViewModel::cellData(const WaterUserData& record, int column) const
{
    switch (column) {
    case IdColumn:
        return record.id;
    case WaterUserIdColumn:
        return record.WaterUserID;
    case YearColumn:
        return record.Year;
    case DiversionColumn:
        return valueCell(record.DiversionReq);
    case DepletionColumn:
        return valueCell(record.DepletionReq);
    case EfficiencyColumn:
        return valueCell(record.EfficiencyRatio);
    case SalinityColumn:
        return valueCell(record.SalinityPickup);
    default:
        return QVariant();
    }
}

QVariant WaterUserDataViewModel::headerData(
    int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case YearColumn:
        return QStringLiteral("Year");
    case DiversionColumn:
        return QStringLiteral("Diversion");
    case DepletionColumn:
        return QStringLiteral("Depletion");
    case EfficiencyColumn:
        return QStringLiteral("Efficiency Ratio");
    case SalinityColumn:
        return QStringLiteral("Salinity Pickup");
    default:
        return QVariant();
    }
}

bool WaterUserDataViewModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!isValidIndex(index))
        return false;
    bool ok = false;
    double number = value.toDouble(&ok);
    if (!ok || value.isNull())
        number = TARN::nan();
    WaterUserData& record = _records[index.row()];
    switch (index.column()) {
    case DiversionColumn:
        record.DiversionReq = number;
        break;
    case DepletionColumn:
        record.DepletionReq = number;
        break;
    case EfficiencyColumn:
        record.EfficiencyRatio = number;
        break;
    case SalinityColumn:
        record.SalinityPickup = number;
        break;
    default:
        return false;
    }
    emit dataChanged(index, index, { role });
    return true;
}

Qt::ItemFlags WaterUserDataViewModel::flags(const QModelIndex& index) const
{
    const Qt::ItemFlags base = TARNViewModel<WaterUserData>::flags(index);
    if (index.column() >= DiversionColumn && index.column() <= SalinityColumn)
        return base | Qt::ItemIsEditable;
    return base & ~Qt::ItemIsEditable;
}
