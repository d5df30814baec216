#pragma once

#include <QObject>

class QPushButton;
class QSqlTableModel;
class QTableView;
class QWidget;
class ScenarioPlotDlg;

// The Plotting tab of the main window: lists the stored plots, adds, edits and deletes them in
// the plot dialog, and opens chart windows, any number at a time.
class PlottingTab : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QTableView* plotTableView = nullptr;
        QPushButton* generatePlotButton = nullptr;
        QPushButton* addPlotButton = nullptr;
        QPushButton* editPlotButton = nullptr;
        QPushButton* deletePlotButton = nullptr;
    };

    // window parents the dialogs and message boxes.
    PlottingTab(QWidget* window, const Widgets& widgets);

    // Call after the plot model was set on the view: follows its selection and double-clicks.
    void bindModel();

public slots:
    void plotSelectionChanged();
    void addPlotClicked();
    void editPlotClicked();
    void deletePlotClicked();
    // Returns the new chart window, which deletes itself when closed; null without a plot.
    ScenarioPlotDlg* generatePlotClicked();

private:
    QSqlTableModel* plotModel() const;
    int currentColumn(int column, QVariant* value) const;
    void setRowButtonsEnabled(bool enabled);
    void reselect();

    QWidget* _window;
    Widgets _w;
};
