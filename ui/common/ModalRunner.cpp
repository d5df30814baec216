#include "ui/common/ModalRunner.h"

#include "calc/DemandCalculator.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/common/CalcStatusJob.h"

#include <QFutureWatcher>
#include <QThreadPool>
#include <QtConcurrent>

namespace ModalRunner {

TARN::okstat run(QWidget* parent, const CalcStatusJob& job, const std::function<void()>& start,
    const std::function<void()>& wait)
{
    CalcStatusDlg status(parent);
    status.attach(job);
    start();
    TARN::okstat result;
    // The dialog is rejected only by the worker's failure, which it keeps.
    if (status.exec() != QDialog::Accepted)
        result = status.resultText();
    wait();
    return result;
}

TARN::okstat run(QWidget* parent, QThread& worker, const CalcStatusJob& job)
{
    return run(
        parent, job, [&worker] { worker.start(); }, [&worker] { worker.wait(); });
}

TARN::okstat runCalculator(QWidget* parent, DemandCalculator& calculator)
{
    return run(parent, calculator, CalcStatusJob::calculation(&calculator));
}

void start(QWidget* parent, const CalcStatusJob& job, const std::function<TARN::okstat()>& work,
    const std::function<void(const TARN::okstat&)>& done)
{
    auto* status = new CalcStatusDlg(parent);
    status->setWindowModality(Qt::WindowModal);
    status->attach(job);
    QObject::connect(status, &QDialog::finished, status, &QObject::deleteLater);
    auto* watcher = new QFutureWatcher<TARN::okstat>(parent);
    QObject::connect(watcher, &QFutureWatcher<TARN::okstat>::finished, watcher, [watcher, done] {
        const TARN::okstat result = watcher->result();
        watcher->deleteLater();
        done(result);
    });
    status->open();
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), work));
}

} // namespace ModalRunner
