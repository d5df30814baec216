#include "ui/common/TarnDlg.h"

#include "db/AggDivDAO.h"
#include "db/DbFailure.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"
#include "ui/common/DialogHabits.h"

#include <QMessageBox>
#include <QSqlError>

TarnDlg::TarnDlg(QWidget* parent)
    : QDialog(parent)
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    _opensInTransaction = mgr->inTransaction();
    if (AggDivDAO* aggDivs = mgr->aggDivDAO())
        _aggDivModel = aggDivs->aggDivModel();
    if (WaterUserDAO* waterUsers = mgr->waterUserDAO()) {
        _waterUserModel = waterUsers->waterUserModel();
        _waterUserDistModel = waterUsers->waterUserDistModel();
        _waterUserDataModel = waterUsers->waterUserDataModel();
    }
    for (TarnRelationalTableModel* model : { _aggDivModel, _waterUserModel, _waterUserDistModel }) {
        if (model)
            ModelOps::selectAll(model);
    }
    // Re-selected too, so that no edit a cancelled dialog left in it survives; it holds no rows
    // (WaterUserDAO), so no statement is left running.
    if (_waterUserDataModel)
        _waterUserDataModel->select();
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void TarnDlg::showEvent(QShowEvent* event)
{
    // Once the subclass has built its form.
    if (!_habitsApplied) {
        _habitsApplied = true;
        DialogHabits::apply(this);
    }
    QDialog::showEvent(event);
}

TARN::okstat TarnDlg::applyChanges()
{
    return {};
}

void TarnDlg::applyClicked()
{
    _keepOpen = true;
    // A failure has already been shown by applyChanges(); the dialog just stays open.
    applyChanges();
}

void TarnDlg::okClicked()
{
    _keepOpen = false;
    if (applyChanges().isOk())
        accept();
}

QString TarnDlg::notSavedText(const QString& error, const QString& what) const
{
    return DbFailure::notSaved(error, what,
        _keepOpen ? QStringLiteral("press Apply again") : QStringLiteral("press OK again"));
}

bool TarnDlg::submitModels(
    const QList<QSqlTableModel*>& models, QStringList& failures, QString& firstError) const
{
    for (QSqlTableModel* model : models) {
        if (!model->submitAll()) {
            const QString error = model->lastError().text();
            if (firstError.isEmpty())
                firstError = error;
            failures << QStringLiteral("Error submitting changes to table %1: %2")
                            .arg(model->tableName(), DbFailure::databaseText(error));
            if (transactionLost())
                break;
        }
    }
    return failures.isEmpty();
}

TARN::okstat TarnDlg::submitError(const QSqlTableModel* model) const
{
    static const QString pattern = tr("Error submitting changes to the %1 table: %2");
    return pattern.arg(model->tableName(), model->lastError().text());
}

void TarnDlg::showWarning(const QString& message, const QString& title)
{
    QMessageBox::warning(this, title.isEmpty() ? windowTitle() : title, message, QMessageBox::Ok);
}

bool TarnDlg::continueInNewTransaction()
{
    const TARN::okstat begun = TarnDbMgr::instance()->beginTransaction();
    if (begun.isOk())
        return true;
    showWarning(begun.text()
        + QStringLiteral("\n\nThe changes saved so far are kept; the dialog closes, as it can "
                         "no longer undo further changes."));
    done(QDialog::Accepted);
    return false;
}

bool TarnDlg::transactionLost() const
{
    return _opensInTransaction && !TarnDbMgr::instance()->inTransaction();
}

void TarnDlg::closeAfterLostTransaction(const QString& error, const QString& what)
{
    showWarning(DbFailure::editsLost(error, what));
    // Not the subclass's reject(): what it would undo is gone already, and a write now would be
    // committed on its own.
    QDialog::reject();
}
