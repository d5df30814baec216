// CalcSessionDlg: base of the editors whose saves recalculate (the baseline and the scenarios).

#pragma once

#include "calc/BaselineChangeLog.h"
#include "ui/common/TarnDlg.h"

#include <QList>
#include <QString>

class QSqlTableModel;

// The edit session of such an editor: the edits recorded since the last computed save, and those
// an earlier save committed without its results (a later rollback does not undo them, so they
// are computed before the dialog closes). Cancel asks, rolls the session back and computes them.
class CalcSessionDlg : public TarnDlg {
    Q_OBJECT

public:
    const BaselineChangeLog& changeLog() const { return _changeLog; }

public slots:
    void reject() override;

protected:
    // cancelTitle heads the cancel question and a failed rollback; uncomputedText says that
    // results are out of date after a calculation of what was saved failed.
    CalcSessionDlg(const QString& cancelTitle, const QString& uncomputedText, QWidget* parent);

    // Computes the edits in _changeLog; false when a calculation failed (already shown).
    virtual bool computeChanges() = 0;
    // Undoes the session's unsaved edits; false when the rollback failed (already shown).
    virtual bool rollBackSession() = 0;
    // Reverts the models and rolls the transaction back; a failure is shown. Afterwards the
    // edits to compute are those saved without their results.
    bool rollBack(const QList<QSqlTableModel*>& models);
    // Computes the edits in _uncomputed, outside any transaction of the dialog's; says so when
    // that fails too.
    void computeWhatWasSaved();

    BaselineChangeLog _changeLog;
    BaselineChangeLog _uncomputed;

private:
    QString _cancelTitle;
    QString _uncomputedText;
};
