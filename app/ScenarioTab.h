#pragma once

#include <QObject>

#include <functional>

class QMainWindow;
class QPushButton;
class QSqlTableModel;
class QTableView;

// The Scenarios tab of the main window: lists the scenarios, adds, edits and deletes them
// through the scenario dialog, and exports a scenario's attributes.
class ScenarioTab : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QTableView* table = nullptr;
        QPushButton* exportButton = nullptr;
        QPushButton* addButton = nullptr;
        QPushButton* editButton = nullptr;
        QPushButton* deleteButton = nullptr;
        QPushButton* copyButton = nullptr;
    };

    // diag receives the lines of the calculations the tab runs.
    ScenarioTab(
        QMainWindow* window, const Widgets& widgets, std::function<void(const QString&)> diag = {});

    // Binds the scenario model of the open project to the list.
    void setModel(QSqlTableModel* model);

public slots:
    void scenarioSelectionChanged();
    void addScenarioClicked();
    void editScenarioClicked();
    void delScenarioClicked();
    void exportScenarioClicked();
    // Copies the chosen scenario under a name the planner gives, in one transaction, and
    // computes the copy's results.
    void copyScenarioClicked();

private:
    int currentScenarioID() const;
    void setRowButtonsEnabled(bool enabled);
    bool beginTransaction();

    QMainWindow* _window;
    Widgets _w;
    QSqlTableModel* _model = nullptr;
    std::function<void(const QString&)> _diag;
};
