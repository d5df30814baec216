#pragma once

#include "calc/PasteParsers.h"
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
    // How a paste reads its lines (calc/PasteParsers.h).
    using PasteAction = Paste::YearlyAction;
    // Efficiency stored when diversion and efficiency are both zero (calc/PasteParsers.h).
    static constexpr double ZeroEfficiency = Paste::ZeroEfficiency;

    explicit WaterUserDataTableView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

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
