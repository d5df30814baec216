#pragma once

#include "calc/CalcStatusInfo.h"
#include "calc/ProjectValidator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/okstat.h"

#include <QAtomicInt>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>

struct ProjectCheckData;

// The part of the project check that rests on the calculation: the baseline and the scenarios
// are recomputed in memory by the calculators themselves (compare-only runs) and every site and
// water user is compared with its stored rows (results-current). The computed values also feed
// the rules on computed efficiencies, negative values, depletions above diversions and years the
// gap filling leaves empty.
//
// Nothing is written, so the work is spread over the machine's cores: the sites of the baseline,
// then those of every scenario (whose changes are applied to the recomputed baseline), are
// divided among threads that each read through a read-only connection of their own. Where a
// second connection cannot be opened the runs go one after another on the manager's.
class ResultsCheck : public QObject {
    Q_OBJECT

public:
    // runs: -1 for the baseline and scenario IDs, empty for all. The baseline is always
    // computed (the scenarios' changes are applied to it) but reported only when asked for.
    ResultsCheck(const ProjectCheckData& data, bool resultsOnly, const QList<int>& runs,
        QList<ValidationFinding>& findings);
    ~ResultsCheck() override;

    TARN::okstat run();

    // Threads for the check; 1 runs everything on the calling thread through the manager's
    // connection. Default: the machine's cores.
    void setThreadCount(int threads) { _threads = threads; }

signals:
    void calcStatus(const CalcStatusInfo& info);

private:
    struct Task;
    class TaskObserver;

    void runTasks(const QList<Task>& tasks, const QString& phase);
    void runTask(const Task& task, const QString& connection);
    QList<Task> tasksOf(int scenarioID, const QString& name) const;

    // Called from the check's threads, each for its own run.
    void aggDivCalculated(int scenarioID, int aggDivID, const QString& riffleName,
        const ResultStore::Difference& difference);
    void waterUserCalculated(int scenarioID, int aggDivID,
        const AggDivCalcData::WaterUserEntry& entry, const ResultStore::Difference& difference);
    void runFailed(int scenarioID, const QString& what, const QString& error);

    // After the runs, on the calling thread.
    void scenariosWithoutBaseline(QList<int> scenarioIDs);
    void uncalculatedRuns();
    void orphans(int scenarioID);
    // "the baseline", "scenario \"Dry\"".
    QString runName(int scenarioID) const;

    bool reported(int run) const { return _runs.isEmpty() || _runs.contains(run); }
    // message may hold Run where it names the run ("in the baseline"): findings of a scenario
    // and of the baseline that differ only there say the same and are folded into one.
    void add(QList<ValidationFinding>& out, int scenarioID, const QString& rule, int aggDivID,
        const QString& waterUser, const QString& message, int year, bool foldable = false) const;
    static const QChar Run;
    void resultsCurrent(QList<ValidationFinding>& out, int scenarioID, int aggDivID,
        const QString& waterUser, const QString& label,
        const ResultStore::Difference& difference) const;
    void computedRules(QList<ValidationFinding>& out, int scenarioID,
        const AggDivCalcData::WaterUserEntry& entry, int aggDivID) const;
    void missingYears(QList<ValidationFinding>& out, int scenarioID,
        const AggDivCalcData::WaterUserEntry& entry, int aggDivID) const;

    const ProjectCheckData& _data;
    bool _resultsOnly;
    QList<int> _runs;
    QList<ValidationFinding>& _findings;
    int _threads;
    int _firstYear = 0;

    // Per run: the sites and water users computed, and how many of them had stored rows.
    struct RunCounts {
        int owners = 0;
        int stored = 0;
        int waterUsers = 0;
    };

    QMutex _mutex; // guards what follows while threads run
    ScenarioDemandCalculator::BaselineDepletions _baseline;
    QSet<int> _failedRuns;
    QString _baselineError; // why the baseline could not be recalculated; empty when it could
    QHash<int, RunCounts> _counts;
    QAtomicInt _sitesDone;
};
