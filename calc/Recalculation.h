#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QList>
#include <QString>

#include <functional>

class BaselineChangeLog;
class DemandCalculator;

// One run of a recalculation: the baseline or one scenario.
struct RecalcRun {
    static constexpr int Baseline = -1;
    int scenarioId = Baseline;
    QString name;
    bool isBaseline() const { return scenarioId == Baseline; }
};

// Recalculates the baseline and then the scenarios in the order ScenarioDAO::getScenarioNames
// reads them, each calculator on a thread of its own while the calling thread waits. The
// scenarios read the stored baseline results, so a failing baseline always ends it (they would
// compute from the old ones); a failing scenario ends it too unless the failure handler asks to
// go on. The scenarios are listed, and chosen IDs checked, before anything is computed.
//
// How the caller waits is its own: the executor starts the calculator and returns its end
// (the window runs it under the status dialog, the command-line tool in an event loop). The
// calculator's diagnostic lines reach the line handler on the calling thread, each run's before
// the next run starts.
class Recalculation {
public:
    // Starts the initialized calculator and returns its failure once it reported its end.
    using Executor = std::function<TARN::okstat(DemandCalculator&)>;
    using LineHandler = std::function<void(const QString&)>;
    using StatusHandler = std::function<void(const CalcStatusInfo&)>;
    // Told of each failing run; true to go on with the next scenario.
    using FailureHandler = std::function<bool(const RecalcRun&, const TARN::okstat&)>;

    explicit Recalculation(const BaselineChangeLog& changeLog);

    // Only these scenarios, in the given order (all by default); an ID that names no scenario
    // fails before the baseline is computed.
    void setScenarios(const QList<int>& scenarioIds) { _chosen = scenarioIds; }
    // Without the baseline, the scenarios compute from the baseline results as stored (a copied
    // scenario, when the baseline is known to be current).
    void setBaselineIncluded(bool included) { _withBaseline = included; }
    // Without any scenario: the baseline alone, whatever setScenarios() chose.
    void setScenariosIncluded(bool included) { _withScenarios = included; }
    // See DemandCalculator::setRefreshStale.
    void setRefreshStale(bool refresh) { _refreshStale = refresh; }
    void setExecutor(Executor executor) { _executor = std::move(executor); }
    void setLineHandler(LineHandler lines) { _lines = std::move(lines); }
    // The progress of the default executor.
    void setStatusHandler(StatusHandler status) { _status = std::move(status); }
    void setFailureHandler(FailureHandler failed) { _failed = std::move(failed); }

    // Runs the baseline and the scenarios; the first failure, or that of listing them.
    TARN::okstat run();

    // The runs started, in order.
    const QList<RecalcRun>& started() const { return _started; }
    // Whether run() failed in a run (else in listing the scenarios), and in which.
    bool failedInRun() const { return _failedInRun; }
    const RecalcRun& failedRun() const { return _failedRun; }

    // The default executor: starts the calculator and waits for its end in a local event loop,
    // its progress going to status.
    static TARN::okstat runAndWait(DemandCalculator& calculator, const StatusHandler& status);

private:
    TARN::okstat listRuns(QList<RecalcRun>& runs) const;
    TARN::okstat runOne(DemandCalculator& calculator);

    const BaselineChangeLog& _changeLog;
    QList<int> _chosen;
    bool _withBaseline = true;
    bool _withScenarios = true;
    bool _refreshStale = false;
    Executor _executor;
    LineHandler _lines;
    StatusHandler _status;
    FailureHandler _failed;
    QList<RecalcRun> _started;
    bool _failedInRun = false;
    RecalcRun _failedRun;
};
