#pragma once

#include "db/okstat.h"

#include <QFutureWatcher>
#include <QMainWindow>

class EditHistory;
class ExportingTab;
class QToolButton;
class ScenarioTab;
class QSqlTableModel;
class TarnDbMgr;
class PlottingTab;

namespace Ui {
class TarnhelmClass;
}

// The program's one window: the Database tab opens a project; the Baseline, Scenarios, Plotting
// and Exporting tabs work on it once it has opened.
class TARNMainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit TARNMainWindow(QWidget* parent = nullptr);
    ~TARNMainWindow() override;

    // Opens path as the project, as "Open..." does after the file dialog.
    bool connectToDatabase(const QString& path);
    // The saved steps that Edit > Undo and Redo move through.
    EditHistory* history() const { return _history; }

public slots:
    void diagMsgHandler(QString message);
    void tabChanged(int index);
    void editBaselineClicked();
    void exitClicked();
    void scenarioSelectionChanged();
    void addScenarioClicked();
    void editScenarioClicked();
    void delScenarioClicked();
    void exportScenarioClicked();
    void expFileButtonClicked();
    void expButtonClicked();
    void exportFinished(const TARN::okstat& result);
    void compareWorkbooksClicked();
    void browseButtonClicked();
    void checkProjectClicked();
    void plotSelectionChanged();
    void addPlotClicked();
    void editPlotClicked();
    void deletePlotClicked();
    void generatePlotClicked();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void loadModels();
    void reportBrokenReferences();
    void hideInternalColumns();
    void setProjectTabsEnabled(bool enabled);
    bool passwordGate();
    void createEditMenu();

    Ui::TarnhelmClass* _ui;
    QToolButton* _helpButton;
    TarnDbMgr* _dbMgr;
    QSqlTableModel* _baselineModel = nullptr;
    QSqlTableModel* _scenarioModel = nullptr;
    QSqlTableModel* _plotModel = nullptr;
    ScenarioTab* _scenarioTab = nullptr;
    PlottingTab* _plottingTab = nullptr;
    ExportingTab* _exportingTab = nullptr;
    EditHistory* _history = nullptr;

    friend class tst_UndoHistory;
};
