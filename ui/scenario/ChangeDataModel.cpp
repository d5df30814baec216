#include "ui/scenario/ChangeDataModel.h"

#include "ui/common/NumberText.h"

#include "db/Records.h"

#include <cmath>

ChangeDataRow::ChangeDataRow(int year)
    : year(year)
    , baseline(TARN::nan())
    , change(TARN::nan())
    , scenarioValue(TARN::nan())
{
}

ChangeDataModel::ChangeDataModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int ChangeDataModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : _rows.size();
}

int ChangeDataModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ChangeDataModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= _rows.size()
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    const ChangeDataRow& row = _rows.at(index.row());
    // Shown as people read them; edited with every digit.
    const auto number = [role](double value) {
        return role == Qt::DisplayRole ? QVariant(NumberText::readable(value)) : QVariant(value);
    };
    switch (index.column()) {
    case YearColumn:
        return row.year;
    case BaselineColumn:
        if (std::isnan(row.baseline))
            return QString();
        if (row.baseline == ChangeDataRow::Varies)
            return QStringLiteral("Varies");
        return number(row.baseline);
    case ChangeTypeColumn:
        return row.changeTypeName;
    case ChangeColumn:
        return std::isnan(row.change) ? QVariant(QString()) : number(row.change);
    case ScenarioValueColumn:
        if (row.changeTypeId == ChangeDataRow::NoChange || std::isnan(row.scenarioValue)
            || row.baseline == ChangeDataRow::Varies)
            return QString();
        return number(row.scenarioValue);
    default:
        return QVariant();
    }
}

QVariant ChangeDataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case YearColumn:
        return QStringLiteral("Year");
    case BaselineColumn:
        return QStringLiteral("Baseline");
    case ChangeTypeColumn:
        return QStringLiteral("Change Type");
    case ChangeColumn:
        return QStringLiteral("Change");
    case ScenarioValueColumn:
        return QStringLiteral("Scenario Value");
    default:
        return QVariant();
    }
}

Qt::ItemFlags ChangeDataModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.column() == ChangeTypeColumn || index.column() == ChangeColumn)
        result |= Qt::ItemIsEditable;
    return result;
}

bool ChangeDataModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= _rows.size() || role != Qt::EditRole)
        return false;
    ChangeDataRow& row = _rows[index.row()];
    if (index.column() == ChangeTypeColumn) {
        bool ok = false;
        const int typeId = value.toInt(&ok);
        if (!ok || !_typeNames.contains(typeId))
            return false;
        row.changeTypeId = typeId;
        row.changeTypeName = _typeNames.value(typeId);
    } else if (index.column() == ChangeColumn) {
        // Only a finite number is a change ("inf" and "nan" read as numbers); anything else
        // clears it.
        bool ok = false;
        const double number = value.toDouble(&ok);
        row.change = ok && !value.isNull() && std::isfinite(number) ? number : TARN::nan();
    } else {
        return false;
    }
    row.scenarioValue = scenarioValueOf(row);
    refreshRow(index.row());
    return true;
}

void ChangeDataModel::setRows(const QVector<ChangeDataRow>& rows)
{
    beginResetModel();
    _rows = rows;
    endResetModel();
}

int ChangeDataModel::rowOfYear(int year) const
{
    if (_rows.isEmpty())
        return -1;
    // The rows are consecutive years; fall back to a search should they ever not be.
    const int guess = year - _rows.constFirst().year;
    if (guess >= 0 && guess < _rows.size() && _rows.at(guess).year == year)
        return guess;
    for (int row = 0; row < _rows.size(); ++row) {
        if (_rows.at(row).year == year)
            return row;
    }
    return -1;
}

double ChangeDataModel::baselineOf(int year) const
{
    const int row = rowOfYear(year);
    return row < 0 ? TARN::nan() : _rows.at(row).baseline;
}

double ChangeDataModel::scenarioValueOf(const ChangeDataRow& row) const
{
    const double b = row.baseline;
    const double c = row.change;
    switch (row.changeTypeId) {
    case TARN::ChangePercent:
        return b * c / 100.0 + b;
    case TARN::ChangeAmount:
        return b + c;
    case TARN::ChangeNewAmount:
        return c;
    case TARN::ChangeBaselineYear: {
        if (std::isnan(c))
            return TARN::nan();
        const double value = baselineOf(static_cast<int>(std::lround(c)));
        // A year in which the water users differ has no single value to copy.
        return value == ChangeDataRow::Varies ? TARN::nan() : value;
    }
    default:
        return TARN::nan();
    }
}

void ChangeDataModel::setChange(int row, int changeTypeId, double change)
{
    if (row < 0 || row >= _rows.size())
        return;
    ChangeDataRow& record = _rows[row];
    record.changeTypeId = changeTypeId;
    record.changeTypeName = _typeNames.value(changeTypeId);
    record.change = change;
    record.scenarioValue = scenarioValueOf(record);
    refreshRow(row);
}

void ChangeDataModel::resetChange(int row)
{
    if (row < 0 || row >= _rows.size())
        return;
    ChangeDataRow& record = _rows[row];
    record.changeTypeId = ChangeDataRow::NoChange;
    record.changeTypeName.clear();
    record.change = TARN::nan();
    record.scenarioValue = TARN::nan();
    refreshRow(row);
}

void ChangeDataModel::setBaselineValues(const QHash<int, double>& values)
{
    // A year the new water users have no results for must not keep the value of the water users
    // chosen before.
    for (ChangeDataRow& row : _rows) {
        row.baseline = values.value(row.year, TARN::nan());
        if (row.changeTypeId != TARN::ChangeBaselineYear)
            row.scenarioValue = scenarioValueOf(row);
    }
    for (ChangeDataRow& row : _rows) {
        if (row.changeTypeId == TARN::ChangeBaselineYear)
            row.scenarioValue = scenarioValueOf(row);
    }
    if (!_rows.isEmpty())
        emit dataChanged(index(0, 0), index(_rows.size() - 1, ColumnCount - 1));
}

void ChangeDataModel::refreshRow(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}
