#include "calc/Recalculation.h"

#include "calc/BaselineDemandCalculator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <memory>

Recalculation::Recalculation(const BaselineChangeLog& changeLog)
    : _changeLog(changeLog)
{
}

TARN::okstat Recalculation::listRuns(QList<RecalcRun>& runs) const
{
    QList<QPair<int, QString>> all;
    const TARN::okstat listed = TarnDbMgr::instance()->scenarioDAO()->getScenarioNames(all);
    if (listed.failed())
        return listed;
    runs.clear();
    if (_withBaseline)
        runs.append(RecalcRun());
    if (!_withScenarios)
        return {};
    if (_chosen.isEmpty()) {
        for (const auto& [id, name] : qAsConst(all))
            runs.append({ id, name });
        return {};
    }
    for (const int id : _chosen) {
        const auto it = std::find_if(all.cbegin(), all.cend(),
            [id](const QPair<int, QString>& item) { return item.first == id; });
        if (it == all.cend())
            return QStringLiteral("There is no scenario with ID %1.").arg(id);
        runs.append({ it->first, it->second });
    }
    return {};
}

TARN::okstat Recalculation::run()
{
    _started.clear();
    _failedInRun = false;
    _failedRun = RecalcRun();
    QList<RecalcRun> runs;
    const TARN::okstat listed = listRuns(runs);
    if (listed.failed())
        return listed;

    TARN::okstat first;
    for (const RecalcRun& run : qAsConst(runs)) {
        _started.append(run);
        std::unique_ptr<DemandCalculator> calculator;
        if (run.isBaseline())
            calculator = std::make_unique<BaselineDemandCalculator>();
        else
            calculator = std::make_unique<ScenarioDemandCalculator>(run.scenarioId, run.name);
        const TARN::okstat result = runOne(*calculator);
        calculator.reset();
        if (result.isOk())
            continue;
        if (first.isOk()) {
            first = result;
            _failedInRun = true;
            _failedRun = run;
        }
        const bool goOn = _failed ? _failed(run, result) : false;
        if (run.isBaseline() || !goOn)
            break;
    }
    return first;
}

TARN::okstat Recalculation::runOne(DemandCalculator& calculator)
{
    calculator.setRefreshStale(_refreshStale);
    const TARN::okstat ready = calculator.initialize(&_changeLog, true);
    if (ready.failed())
        return ready;
    // The lines arrive queued from the worker; a receiver of their own lets those still queued
    // be delivered before the next run reports anything.
    QObject receiver;
    if (_lines) {
        QObject::connect(
            &calculator, &DemandCalculator::diagMessage, &receiver, _lines, Qt::QueuedConnection);
    }
    const TARN::okstat result = _executor ? _executor(calculator) : runAndWait(calculator, _status);
    calculator.wait();
    QCoreApplication::sendPostedEvents(&receiver, QEvent::MetaCall);
    return result;
}

TARN::okstat Recalculation::runAndWait(DemandCalculator& calculator, const StatusHandler& status)
{
    TARN::okstat result;
    QEventLoop loop;
    if (status) {
        QObject::connect(
            &calculator, &DemandCalculator::calcStatus, &loop, status, Qt::QueuedConnection);
    }
    QObject::connect(
        &calculator, &DemandCalculator::calcFinished, &loop,
        [&result, &loop](const TARN::okstat& finished) {
            result = finished;
            loop.quit();
        },
        Qt::QueuedConnection);
    calculator.start();
    loop.exec();
    calculator.wait();
    return result;
}
