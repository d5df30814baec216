#pragma once

#include "calc/BaselineChangeLog.h"
#include "db/Records.h"
#include "ui/common/CalcSessionDlg.h"

#include <QList>
#include <QModelIndex>

class AggDivProxyModel;
class AggDivViewModel;
class AttrValidValViewModel;
class AttributeViewModel;
class QSqlTableModel;
class WaterUserProxyModel;
class WaterUserViewModel;
struct WaterUserMembership;
struct WaterUserUse;

namespace Ui {
class BaselineWidgets;
}

// The baseline editor. Runs inside a transaction begun by its opener: attribute edits and
// deletions are written at once, the site and water user lists and the baseline's own fields on
// save. Saving commits, then recalculates what the recorded edits affect (the baseline and every
// scenario); Apply then begins the next transaction, OK closes, Cancel rolls everything back.
class BaselineDlg : public CalcSessionDlg {
    Q_OBJECT

public:
    explicit BaselineDlg(QWidget* parent = nullptr);
    ~BaselineDlg() override;

    const Baseline& baseline() const { return _baseline; }

signals:
    void diagMessage(QString message);

public slots:
    void recalculateAllClickedHandler();
    void exportAttributesHandler();
    void editAggDivHandler();
    void waterUserFilterTextChanged(QString text);
    void addWaterUserHandler();
    void editWaterUserHandler();
    void delWaterUserHandler();
    void aggDivEditedHandler(int aggDivID, QString adName);
    void waterUserEditedHandler(int aggDivID, int waterUserID, QString waterUserName);
    TARN::okstat applyChanges() override;
    virtual void revertChanges();
    void addAttributeClicked();
    void delAttributeClicked();
    void attrValSelectionChanged(QModelIndex index);
    void addAttrValClicked();
    void delAttrValClicked();
    void aggDivFilterTextChanged(QString text);
    void addAggDivClicked();
    void delAggDivClicked();
    void editTimeRangeClicked();
    void modifyPasswordClicked();
    void scrollToAggDiv(int aggDivID);
    void scrollToWaterUser(int waterUserID);
    void updateAttrValViewModel();
    void aggDivSelectionChanged();
    // Chooses the next water user of any site whose name or Riffle name holds the text of the
    // find field (BaselineDlgFind.cpp).
    void findWaterUserHandler();
    // Input books (BaselineDlgImport.cpp): the import writes inside the dialog's transaction
    // and records its edits in the change log; the export writes what the dialog shows.
    void importInputsClicked();
    void exportInputsClicked();
    // Imports the book at path without asking for it.
    void importInputsFrom(const QString& path);

private:
    void loadBaseline();
    // Writes the edits the dialog holds in memory (the baseline's fields, the order of the
    // lists) into its transaction, without committing, so that an import or export sees them.
    TARN::okstat writePendingEdits();
    // writePendingEdits before a book is imported or exported; false, with the failure shown
    // under title, when the edits could not be written.
    bool pendingEditsWritten(const QString& title);
    // Shows the file's content in the open transaction again, after an import wrote into it.
    void reloadViews();
    void loadAttributes();
    void loadAggDivs();
    void updateButtons();
    void moveAggDiv(bool up);
    void moveWaterUser(bool up);
    void runAggDivDlg(int aggDivID);
    void runWaterUserDlg(int waterUserID, int aggDivID);
    // A water user dialog cancelled after an Apply has deleted its new water user again.
    void waterUserEditCanceled(int aggDivID, int waterUserID);
    // A site dialog cancelled after an Apply has removed its new site again.
    void aggDivEditCanceled(int aggDivID);
    // Records the demand changes a water user belongs to now, before an edit takes it out.
    void recordDemandChangesLeft(int aggDivID, int waterUserID);
    // Before water users are deleted that demand changes, plot curves or scenarios use: names
    // them and asks; true to go on (also when nothing uses them).
    bool confirmDeletion(
        const QString& title, const QString& name, const QList<WaterUserUse>& uses, bool site);
    // Diagnostic lines naming the demand changes and plot curves a moved water user left.
    void reportDroppedMemberships(
        const WaterUser& waterUser, const QList<WaterUserMembership>& dropped);
    // Recalculates the baseline, then every scenario, each under the status dialog; the first
    // failure (already shown) when a calculation failed. The scenarios are not run on a
    // baseline that failed.
    TARN::okstat recalculate();
    bool computeChanges() override;
    // A failed save: when the transaction is still open, the failure (worded from error, or
    // pattern filled with the database's text when its cause is unknown) is shown and the
    // edits are kept for the next try. When SQLite has ended it, the edits are gone from the
    // file: the planner is told so and the dialog shows the file's content again.
    TARN::okstat saveFailed(
        const QString& error, const QString& pattern, const QString& title = QString());
    // After a failed write of an edit: false (and the dialog reloaded) when it ended the
    // transaction.
    bool transactionKept(const QString& error);
    // A failed write of an edit: pattern with the database's text, or, when the failure ended
    // the transaction, what was lost.
    void editFailed(const QString& pattern, const QString& error);
    // The file's content again, in a new transaction; the lost edits are forgotten.
    void reloadFromFile();
    // Reads the shared models (the baseline row, the sites, the water users and their
    // distributions) from the connection again.
    void reselectModels();
    // Fills the dialog's lists from the models again; the water user list starts empty, so that
    // nothing it held is saved.
    void reloadLists();
    // Reverts the submitted models and rolls the transaction back, then reads the file's
    // content again; false when the rollback failed (already shown).
    bool rollBackSession() override;
    int currentAggDivRow() const;
    int currentWaterUserRow() const;

    Ui::BaselineWidgets* _ui;
    int _aggDivID = -1;
    int _waterUserID = -1;
    Baseline _baseline;
    QList<QSqlTableModel*> _submitModels;
    AttributeViewModel* _attributeModel;
    AttrValidValViewModel* _attrValModel;
    AggDivViewModel* _aggDivViewModel;
    AggDivProxyModel* _aggDivProxy;
    WaterUserViewModel* _waterUserViewModel;
    WaterUserProxyModel* _waterUserProxy;
    // The find field's last text and the match it chose.
    QString _findText;
    int _findIndex = -1;
};
