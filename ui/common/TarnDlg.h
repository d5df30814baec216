#pragma once

#include "db/okstat.h"

#include <QDialog>
#include <QList>
#include <QStringList>

class QSqlTableModel;
class TarnRelationalTableModel;

// Base of the editing dialogs. Holds the site, water user, distribution and yearly-data table
// models of the open project and the apply/OK protocol: applyChanges() writes the dialog's edits
// and returns the first error, Apply keeps the dialog open, OK closes it only after a successful
// apply.
class TarnDlg : public QDialog {
    Q_OBJECT

public:
    explicit TarnDlg(QWidget* parent = nullptr);

    virtual TARN::okstat applyChanges();

signals:
    void waterUserSelected(int waterUserID);
    void waterUsersSelected(QList<int> waterUserIDs);

public slots:
    virtual void applyClicked();
    virtual void okClicked();

protected:
    void showEvent(QShowEvent* event) override;
    // "Error submitting changes to the <table> table: <error>" for a model whose submit failed.
    TARN::okstat submitError(const QSqlTableModel* model) const;
    // Submits the models in order. Each that fails adds a line ("Error submitting changes to
    // table <table>: <error>") to failures, and firstError gets the first failure's database
    // text; once the transaction is lost it stops, since the next submits would be written on
    // their own. True when every model was written.
    bool submitModels(
        const QList<QSqlTableModel*>& models, QStringList& failures, QString& firstError) const;
    // Whether the save under way came from Apply (or another step that keeps the dialog open)
    // rather than OK; Apply and OK set it.
    bool keepsOpen() const { return _keepOpen; }
    void setKeepsOpen(bool keepOpen) { _keepOpen = keepOpen; }
    // DbFailure::notSaved for a save of what ("the plot") that failed, naming the button to
    // press again.
    QString notSavedText(const QString& error, const QString& what) const;
    // A warning box over this dialog; an empty title stands for the window title.
    void showWarning(const QString& message, const QString& title = QString());
    // After a commit that keeps the dialog open: begins the transaction the dialog goes on
    // editing in. When none can be begun the dialog must not edit on (its edits would be
    // written at once and Cancel could not undo them): the failure is shown and the dialog
    // closes as accepted, since what it committed stays. False in that case.
    bool continueInNewTransaction();
    // Whether the transaction the dialog was opened in has ended without a save: after some
    // failed writes (a full disk, an I/O error) SQLite rolls it back by itself. What the
    // dialogs wrote since the last save is gone then, and a further statement would be
    // committed on its own at once. A dialog opened outside a transaction writes on its own by
    // its opener's choice and never loses one.
    bool transactionLost() const;
    // For a dialog that edits inside its opener's transaction, once that has ended: says what
    // was lost (what: "the water user") and closes without writing anything more; the opener
    // then shows the project as the file holds it.
    void closeAfterLostTransaction(const QString& error, const QString& what);

    // Owned by the data-access objects; null when no project is open.
    TarnRelationalTableModel* _aggDivModel = nullptr;
    TarnRelationalTableModel* _waterUserModel = nullptr;
    TarnRelationalTableModel* _waterUserDistModel = nullptr;
    TarnRelationalTableModel* _waterUserDataModel = nullptr;

private:
    bool _opensInTransaction = false;
    bool _keepOpen = false;
    bool _habitsApplied = false;
};
