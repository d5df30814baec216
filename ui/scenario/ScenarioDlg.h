#pragma once

#include "calc/BaselineChangeLog.h"
#include "ui/common/CalcSessionDlg.h"

#include <QList>

class QDataWidgetMapper;
class QSortFilterProxyModel;
class QSqlTableModel;
class TarnRelationalTableModel;

namespace Ui {
class ScenarioWidgets;
}

// Edits one scenario: its names and description, its demand changes and the water users that
// exist only in it. Runs inside a transaction its opener began and ends it itself: Apply and OK
// commit and recalculate the water users the edits touched, Apply then begins the next
// transaction, Cancel rolls back.
class ScenarioDlg : public CalcSessionDlg {
    Q_OBJECT

public:
    explicit ScenarioDlg(QWidget* parent = nullptr);
    ~ScenarioDlg() override;

    TARN::okstat load(int scenarioID);

    TARN::okstat applyChanges() override;

    int scenarioID() const { return _scenarioID; }
    QSortFilterProxyModel* demandChgProxy() const { return _demandChgProxy; }
    QSortFilterProxyModel* waterUserProxy() const { return _waterUserProxy; }

public slots:
    void sensitizeWidgets();
    void addDemandChgClicked();
    void editDemandChgHandler();
    void delDemandChgClicked();
    void addWaterUserClicked();
    void editWaterUserClicked();
    void delWaterUserClicked();
    void waterUserEditedHandler(int aggDivID, int waterUserID, QString waterUserName);
    // Input books of this scenario (ScenarioDlgImport.cpp): the import writes inside the
    // dialog's transaction, so that Cancel undoes it, and recomputes the scenario on save.
    void importChangesClicked();
    void exportChangesClicked();
    void importChangesFrom(const QString& path);

private:
    void openChangeSpec(int row, int demandChgID);
    void openWaterUser(int waterUserID, int aggDivID, int scenarioID);
    int findScenarioRow() const;
    // Writes what the dialog's models hold into its transaction, without committing; the
    // scenario's name as stored then, empty (with the failure shown) when it cannot.
    QString writePendingEdits(const QString& title);
    // Shows the open transaction's content again after an import wrote into it.
    void reloadModels();
    // A failed save: shown (text when its cause is unknown) with the edits kept for the next
    // try, or, when the failure ended the transaction, what was lost, and the dialog shows the
    // file's content again.
    TARN::okstat saveFailed(const QString& error, const QString& text);
    // The file's content again, in a new transaction; closes when the scenario itself was lost.
    void reloadFromFile();
    // False when a calculation was started and did not complete.
    bool recalculate();
    bool computeChanges() override { return recalculate(); }
    // Reverts the saved models and rolls the transaction back; false when the rollback failed
    // (already shown).
    bool rollBackSession() override { return rollBack(_saveModels); }

    Ui::ScenarioWidgets* _ui;
    int _scenarioID = -1;
    int _scenarioRow = -1;
    TarnRelationalTableModel* _scenarioModel = nullptr;
    TarnRelationalTableModel* _demandChgModel = nullptr;
    QList<QSqlTableModel*> _saveModels;
    QDataWidgetMapper* _mapper;
    QSortFilterProxyModel* _demandChgProxy;
    TarnRelationalTableModel* _scenarioWaterUserModel;
    QSortFilterProxyModel* _waterUserProxy;
    bool _addingWaterUser = false;
};
