#pragma once

#include "db/okstat.h"

#include <QObject>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QWidget;

// The Exporting tab of the main window: the baseline and scenarios to export, the years and the
// workbook; runs the export in the background under a status dialog that can cancel it, and
// compares workbooks. The workbook path belongs to the project it was chosen for.
class ExportingTab : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        QWidget* tab = nullptr;
        QListWidget* list = nullptr;
        QSpinBox* startYear = nullptr;
        QSpinBox* endYear = nullptr;
        QLineEdit* file = nullptr;
        QPushButton* fileButton = nullptr;
        QPushButton* exportButton = nullptr;
        QPushButton* compareButton = nullptr;
        QLabel* result = nullptr;
    };

    // diag receives the lines for the diagnostic area.
    ExportingTab(QWidget* window, const Widgets& widgets, std::function<void(const QString&)> diag);

    // A project was opened: the workbook chosen for another one is forgotten.
    void projectOpened(const QString& path);
    // Fills the list and the years for the open project, keeping the choices made for it.
    void fill();

public slots:
    void updateExportButton();
    void expFileButtonClicked();
    void expButtonClicked();
    void exportFinished(const TARN::okstat& result);
    void compareWorkbooksClicked();

private:
    // Before an export: asks to recalculate when results of the runs are out of date; false
    // when the planner cancels.
    bool resultsReadyForExport(const QList<int>& runs);
    // Before an export into an existing workbook whose sheets another project wrote: asks;
    // false unless the planner says Yes.
    bool workbookBelongsHere(const QString& path);
    void showResult(const QString& text, bool failed);

    QWidget* _window;
    Widgets _w;
    std::function<void(const QString&)> _diag;
    // The project the tab was last filled for; its checks and years are kept.
    QString _exportDbPath;
    // The project the workbook path was chosen for.
    QString _fileProject;
    QString _runningPath;
    QString _runningWhat;
};
