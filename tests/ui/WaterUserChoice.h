#pragma once

#include "support/ModalDriver.h"

#include "db/TarnDbMgr.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QItemSelectionModel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>

// Chooses in the selector the first count water users whose depletion is an input in every
// year (a depletion change then works on the depletion itself) and presses OK.
inline void chooseInputDepletionUsers(WaterUserSelectorDlg* selector, int count)
{
    auto* table = child<QTableWidget>(selector, "_watUsrTableWidget");
    table->clearSelection();
    QSqlQuery derived(TarnDbMgr::instance()->database());
    int picked = 0;
    for (int row = 0; row < table->rowCount() && picked < count; ++row) {
        const int id = table->item(row, 0)->data(WaterUserSelectorDlg::WaterUserIdRole).toInt();
        if (!derived.exec(QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE WaterUserID "
                                         "= %1 AND DepletionReq IS NULL")
                              .arg(id))
            || !derived.next() || derived.value(0).toInt() > 0)
            continue;
        table->selectionModel()->select(
            table->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ++picked;
    }
    child<QPushButton>(selector, "_okButton")->click();
}
