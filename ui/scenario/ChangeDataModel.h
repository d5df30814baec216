#pragma once

#include "ui/scenario/ChangeDataRow.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QMap>
#include <QString>
#include <QVector>

// The yearly rows of a change data widget: "Year", "Baseline", "Change Type", "Change",
// "Scenario Value". The change type and the change can be edited in place; the scenario value
// follows them.
class ChangeDataModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        YearColumn = 0,
        BaselineColumn,
        ChangeTypeColumn,
        ChangeColumn,
        ScenarioValueColumn,
        ColumnCount
    };

    explicit ChangeDataModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Change type column: a change type id; change column: a number, or null for no value.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    void setChangeTypeNames(const QMap<int, QString>& names) { _typeNames = names; }
    void setRows(const QVector<ChangeDataRow>& rows);
    const QVector<ChangeDataRow>& rows() const { return _rows; }
    // Row of the year; -1 outside the range.
    int rowOfYear(int year) const;
    // The baseline value of a year; NaN outside the range.
    double baselineOf(int year) const;

    // Gives a row a change and recomputes its scenario value.
    void setChange(int row, int changeTypeId, double change);
    void resetChange(int row);
    // year -> baseline value; years missing from the hash have no baseline value.
    void setBaselineValues(const QHash<int, double>& values);

    // The scenario value of a row by the rule of its change type.
    double scenarioValueOf(const ChangeDataRow& row) const;

private:
    void refreshRow(int row);

    QVector<ChangeDataRow> _rows;
    QMap<int, QString> _typeNames;
};
