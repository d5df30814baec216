#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <memory>

class AttributeExporter;
class DataExporter;
class DemandCalculator;
class ProjectValidator;
class WorkbookDiffJob;

namespace Ui {
class CalcStatusDlgWidgets;
}

// The modal window shown while a calculation works on its own thread: what is worked on, the
// site and water-user progress bars and a status line. It closes itself when the worker
// reports the end, accepted on success and rejected on failure, and keeps the failure text for
// the owner to show. It cannot be closed by the user while the worker runs, so the owner never
// deletes a running calculator.
class CalcStatusDlg : public QDialog {
    Q_OBJECT

public:
    explicit CalcStatusDlg(QWidget* parent = nullptr);
    ~CalcStatusDlg() override;

    // Connects the calculator's progress and end (queued). Call once, before the worker starts.
    void attachCalculator(DemandCalculator* calculator);
    // The same for the two exporters, whose progress and end arrive as exportStatus and
    // exportFinished.
    void attachDataExporter(DataExporter* exporter);
    void attachAttributeExporter(AttributeExporter* exporter);
    // The project check reports like a calculator.
    void attachValidator(ProjectValidator* validator);
    // A comparison of two workbooks: one bar, for the sheets.
    void attachWorkbookDiff(WorkbookDiffJob* job);
    // Any other worker, shown with this window title and label: its owner connects the
    // worker's progress and end to the two handlers below (queued).
    void attachWorker(const QString& windowTitle, const QString& label);

    // The failure text of the last run; empty after success.
    bool hasResultText() const { return static_cast<bool>(_resultText); }
    QString resultText() const { return _resultText ? *_resultText : QString(); }
    bool isRunning() const { return _running; }

public slots:
    void calcStatusHandler(const CalcStatusInfo& info);
    void calcFinishedHandler(const TARN::okstat& result);

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setExportTexts();
    // A worker's progress as it arrives: shown at once unless the last was shown less than
    // 50 ms ago, else held until then (a newer one replaces it). A worker that skips many sites
    // sends hundreds within milliseconds; showing each would hold up the event loop.
    void statusArrived(const CalcStatusInfo& info);
    void showPendingStatus();

    std::unique_ptr<Ui::CalcStatusDlgWidgets> _ui;
    QPointer<DemandCalculator> _calculator;
    std::unique_ptr<QString> _resultText;
    bool _running = false;
    CalcStatusInfo _pendingStatus;
    bool _statusPending = false;
    QTimer _statusTimer;
    QElapsedTimer _statusShown;
};
