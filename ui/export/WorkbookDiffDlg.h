#pragma once

#include "workbook/WorkbookDiff.h"

#include <QDialog>

class QSortFilterProxyModel;
class QStandardItemModel;

namespace Ui {
class WorkbookDiffWidgets;
}

// The comparison of two workbooks in a window of its own: the sheets with their status, and for
// the selected sheet the columns that differ with their figures; both lists sort by any column.
// "Copy" puts the whole comparison on the clipboard as text.
class WorkbookDiffDlg : public QDialog {
    Q_OBJECT

public:
    explicit WorkbookDiffDlg(
        const Workbook::WorkbookComparison& comparison, QWidget* parent = nullptr);
    ~WorkbookDiffDlg() override;

    const Workbook::WorkbookComparison& comparison() const { return _comparison; }

public slots:
    void copyClicked();

private:
    void sheetSelectionHandler();
    void showColumns(int sheet);

    Ui::WorkbookDiffWidgets* _ui;
    Workbook::WorkbookComparison _comparison;
    QStandardItemModel* _sheets;
    QSortFilterProxyModel* _sheetsProxy;
    QStandardItemModel* _columns;
    QSortFilterProxyModel* _columnsProxy;
};
