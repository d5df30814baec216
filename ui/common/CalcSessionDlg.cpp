#include "ui/common/CalcSessionDlg.h"

#include "db/DbFailure.h"
#include "db/TarnDbMgr.h"

#include <QMessageBox>
#include <QSqlTableModel>

CalcSessionDlg::CalcSessionDlg(
    const QString& cancelTitle, const QString& uncomputedText, QWidget* parent)
    : TarnDlg(parent)
    , _cancelTitle(cancelTitle)
    , _uncomputedText(uncomputedText)
{
}

bool CalcSessionDlg::rollBack(const QList<QSqlTableModel*>& models)
{
    for (QSqlTableModel* model : models)
        model->revertAll();
    const TARN::okstat rolledBack = TarnDbMgr::instance()->rollback();
    if (rolledBack.failed()) {
        QMessageBox::information(this, _cancelTitle, DbFailure::databaseText(rolledBack.text()));
        return false;
    }
    // What the rollback undid needs no computing; what an earlier save committed without its
    // results does.
    _changeLog = _uncomputed;
    return true;
}

void CalcSessionDlg::computeWhatWasSaved()
{
    if (!_uncomputed.hasChanges())
        return;
    _changeLog = _uncomputed;
    if (computeChanges()) {
        _changeLog.clear();
        _uncomputed.clear();
        return;
    }
    // The calculation has shown why; what it leaves behind is said once more.
    showWarning(_uncomputedText);
}

void CalcSessionDlg::reject()
{
    if (QMessageBox::question(this, _cancelTitle,
            QStringLiteral("Are you sure you want to cancel? Any changes made will be lost."),
            QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    // Computing while the cancelled transaction may still be open would commit it.
    if (rollBackSession())
        computeWhatWasSaved();
    else if (_uncomputed.hasChanges())
        showWarning(_uncomputedText);
    TarnDlg::reject();
}
