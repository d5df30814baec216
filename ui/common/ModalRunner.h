#pragma once

#include "db/okstat.h"

#include <functional>

class CalcStatusDlg;
class DemandCalculator;
class QThread;
class QWidget;
struct CalcStatusJob;

// Runs one worker while the GUI waits under the modal status dialog: the worker is started, the
// dialog shows its progress until it reports its end, and the worker's thread is waited for
// before the call returns, so the caller may delete the worker at once. The failure is
// returned, not shown.
namespace ModalRunner {

// The general form: start begins the work, wait blocks until the work has left the worker.
TARN::okstat run(QWidget* parent, const CalcStatusJob& job, const std::function<void()>& start,
    const std::function<void()>& wait);

// A worker that is a thread of its own.
TARN::okstat run(QWidget* parent, QThread& worker, const CalcStatusJob& job);

// An initialized calculator.
TARN::okstat runCalculator(QWidget* parent, DemandCalculator& calculator);

// Work on the thread pool that does not hold up the caller: the status dialog is window-modal
// and deletes itself at the work's end; done gets the result on the GUI thread once the pool has
// left the work, so it may delete the worker. The dialog and the wait are parent's children.
void start(QWidget* parent, const CalcStatusJob& job, const std::function<TARN::okstat()>& work,
    const std::function<void(const TARN::okstat&)>& done);

} // namespace ModalRunner
