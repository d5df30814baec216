#pragma once

#include "ui/common/TarnDlg.h"

class QDataWidgetMapper;
class QStandardItemModel;
class ScenarioPlotDlg;

namespace Ui {
class PlotWidgets;
}

// Edits one stored plot: name, description, the scenarios it draws (the baseline among them)
// and its curves. Runs inside the transaction begun by its opener; Apply commits and goes on in
// a new one, OK commits and closes, Cancel leaves the rollback to the opener.
class PlotDlg : public TarnDlg {
    Q_OBJECT

public:
    explicit PlotDlg(int plotID, QWidget* parent = nullptr);
    ~PlotDlg() override;

    TARN::okstat applyChanges() override;
    int plotID() const { return _plotID; }
    QStandardItemModel* curveTableModel() const { return _curveTable; }
    // Reloads the curve table from the database.
    void loadCurves();

    enum CurveTableColumn { CurveNameColumn = 0, CurveTypeColumn, CurveWaterUsersColumn };

public slots:
    void generateClicked();
    void addCurveClicked();
    void editCurveClicked();
    void deleteCurveClicked();
    void reject() override;

signals:
    // A chart window opened by "Generate"; for observers such as tests.
    void plotWindowOpened(ScenarioPlotDlg* window);

private:
    void loadScenarios();
    int plotRow() const;
    // Shows a failure and returns it; when it ended the transaction, says what was lost and
    // shows the file's content again.
    TARN::okstat fail(const QString& message, const QString& title = QString());
    void reloadFromFile();
    void runCurveDlg(int curveID);

    Ui::PlotWidgets* _ui;
    int _plotID;
    QDataWidgetMapper* _mapper;
    TarnRelationalTableModel* _plotModel = nullptr;
    TarnRelationalTableModel* _plotScenarioModel = nullptr;
    TarnRelationalTableModel* _plotCurveModel = nullptr;
    QStandardItemModel* _curveTable;
};
