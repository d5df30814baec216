#pragma once

#include "db/Records.h"
#include "db/okstat.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QVector>

// The yearly input table of a water user. Pasting fills several rows at once and derives the
// missing member of diversion, depletion and efficiency; editing one cell keeps the three
// consistent by the single-cell rules.
class WaterUserDataTableView : public QTableView {
    Q_OBJECT

public:
    enum PasteAction {
        PlainPaste = 0,
        DiversionDepletion,
        DiversionEfficiency,
        DepletionEfficiency
    };

    // The row values a paste writes back. Diversion, depletion and efficiency are the row's
    // complete new values (NaN clears the cell); salinity is written only when pasted.
    struct PastedRow {
        int row = 0;
        double diversion = TARN::nan();
        double depletion = TARN::nan();
        double efficiency = TARN::nan();
        double salinity = TARN::nan();
    };

    struct PasteResult {
        TARN::okstat status; // the refusal; nothing is written then
        QVector<PastedRow> rows;
        QStringList invalidEfficiencyYears;
        QStringList zeroEfficiencyYears;

        bool hasAdjustments() const
        {
            return !invalidEfficiencyYears.isEmpty() || !zeroEfficiencyYears.isEmpty();
        }
        // The "Data Errors" report: the years whose values were adjusted.
        QString adjustmentReport() const;
    };

    // Efficiency stored when diversion and efficiency are both zero, which would divide by zero.
    static constexpr double ZeroEfficiency = 0.00005;

    explicit WaterUserDataTableView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    // Parses clipboard text pasted at (row, column) of records and works out every row's new
    // values. Refuses the whole paste on the first bad line.
    static PasteResult preparePaste(const QList<WaterUserData>& records, int row, int column,
        PasteAction action, const QString& text);
    // Applies the single-cell rule for an edit of column to record; returns the warning to
    // show, empty when there is none.
    static QString applyCellRule(WaterUserData& record, int column);
    // The chosen block of cells as copySelection() puts it on the clipboard.
    QString selectionText() const;

signals:
    // "Explain..." was chosen in the context menu for the current cell.
    void explainRequested(const QModelIndex& index);

public slots:
    void waterUserDataChanged(
        const QModelIndex& topLeft, const QModelIndex& bottomRight, const QVector<int>& roles);
    void pasteDataHandler(const QModelIndex& index, WaterUserDataTableView::PasteAction action);
    // The chosen block of cells to the clipboard, tab-separated, a line a year.
    void copySelection();
    void customMenuRequested(const QPoint& pos);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void connectDataChanged();
    void disconnectDataChanged();
    void writeValue(int row, int column, double value);

    QMetaObject::Connection _dataChanged;
};
