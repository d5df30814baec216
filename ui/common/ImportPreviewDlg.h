#pragma once

#include "inputs/ImportPlan.h"

#include <QDialog>

namespace Ui {
class ImportPreviewWidgets;
}

// What an import of an input book would change, before it changes anything: a table of the
// changes (sheet, what, row, field, old and new value) and one of the rejected rows (sheet,
// row, column, reason), both sortable by any column. Apply accepts the dialog; while rows are
// rejected it needs the box that leaves them out. Cancel changes nothing.
class ImportPreviewDlg : public QDialog {
    Q_OBJECT

public:
    ImportPreviewDlg(
        const Inputs::ImportPlan& plan, const QString& title, QWidget* parent = nullptr);
    ~ImportPreviewDlg() override;

    enum ChangeColumn { SheetColumn, KindColumn, KeyColumn, FieldColumn, OldColumn, NewColumn };

private:
    void updateButtons();

    Ui::ImportPreviewWidgets* _ui;
    bool _hasWrites = false;
    bool _hasRejected = false;
};
