#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>

struct CalcStatusJob;

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

    // Shows the job's texts and connects its worker's progress and end. Call once, before the
    // worker starts.
    void attach(const CalcStatusJob& job);

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
    // A worker's progress as it arrives: shown at once unless the last was shown less than
    // 50 ms ago, else held until then (a newer one replaces it). A worker that skips many sites
    // sends hundreds within milliseconds; showing each would hold up the event loop.
    void statusArrived(const CalcStatusInfo& info);
    void showPendingStatus();

    std::unique_ptr<Ui::CalcStatusDlgWidgets> _ui;
    std::unique_ptr<QString> _resultText;
    bool _running = false;
    CalcStatusInfo _pendingStatus;
    bool _statusPending = false;
    QTimer _statusTimer;
    QElapsedTimer _statusShown;
};
