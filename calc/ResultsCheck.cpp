#include "calc/ResultsCheck.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/CalcObserver.h"
#include "calc/ProjectCheckData.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnException.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QThread>

#include <algorithm>
#include <memory>
#include <vector>

#include <cmath>

namespace {

QString rowsText(int count, const char* kind)
{
    return QStringLiteral("%1 %2 row%3")
        .arg(QString::number(count), QLatin1String(kind),
            count == 1 ? QString() : QStringLiteral("s"));
}

// "7", "7 and 9", "7, 9 and 12", "7, 9, 12 and 4 more".
QString idList(const QList<int>& ids)
{
    QStringList parts;
    for (int i = 0; i < ids.size() && i < 5; ++i)
        parts.append(QString::number(ids.at(i)));
    if (ids.size() > 5)
        parts.append(QStringLiteral("%1 more").arg(ids.size() - 5));
    if (parts.size() == 1)
        return parts.first();
    return parts.mid(0, parts.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ")
        + parts.last();
}

} // namespace

struct ResultsCheck::Task {
    int scenarioID = 0; // 0: the baseline
    QString name;
    QList<int> sites;
};

// Hands one run's sites and water users to the check, with the run they belong to.
class ResultsCheck::TaskObserver : public CalcObserver {
public:
    TaskObserver(ResultsCheck& check, int scenarioID)
        : _check(check)
        , _scenarioID(scenarioID)
    {
    }
    void aggDivCalculated(int aggDivID, const QString& riffleName,
        const std::vector<DemandMath::SiteSalinity>&,
        const ResultStore::Difference& difference) override
    {
        _check.aggDivCalculated(_scenarioID, aggDivID, riffleName, difference);
    }
    void waterUserCalculated(int aggDivID, const AggDivCalcData::WaterUserEntry& entry,
        const ResultStore::Difference& difference) override
    {
        _check.waterUserCalculated(_scenarioID, aggDivID, entry, difference);
    }

private:
    ResultsCheck& _check;
    int _scenarioID;
};

ResultsCheck::ResultsCheck(const ProjectCheckData& data, bool resultsOnly, const QList<int>& runs,
    QList<ValidationFinding>& findings)
    : _data(data)
    , _resultsOnly(resultsOnly)
    , _runs(runs)
    , _findings(findings)
    , _threads(std::max(1, QThread::idealThreadCount()))
{
}

ResultsCheck::~ResultsCheck() = default;

QList<ResultsCheck::Task> ResultsCheck::tasksOf(int scenarioID, const QString& name) const
{
    // Sites dealt out in turn, so that each thread gets large and small ones.
    const int parts = std::max(1, std::min(_threads, int(_data.sites.size())));
    QList<Task> tasks;
    for (int part = 0; part < parts; ++part)
        tasks.append({ scenarioID, name, {} });
    for (int i = 0; i < _data.sites.size(); ++i)
        tasks[i % parts].sites.append(_data.sites.at(i).id);
    return tasks;
}

const QChar ResultsCheck::Run = QChar(0x1);

TARN::okstat ResultsCheck::run()
{
    _firstYear = _data.firstYear;
    runTasks(tasksOf(0, QStringLiteral("Baseline")), QStringLiteral("Checking the baseline"));
    QList<int> scenarioIDs;
    for (const ProjectCheckData::Scenario& scenario : _data.scenarios) {
        if (reported(scenario.id))
            scenarioIDs.append(scenario.id);
    }
    if (!_baselineError.isEmpty()) {
        // A scenario is computed from the baseline: what its check would find where the
        // baseline could not be computed would be false alarms.
        scenariosWithoutBaseline(scenarioIDs);
    } else {
        QList<Task> scenarioTasks;
        for (const ProjectCheckData::Scenario& scenario : _data.scenarios) {
            if (scenarioIDs.contains(scenario.id))
                scenarioTasks += tasksOf(scenario.id, scenario.name);
        }
        runTasks(scenarioTasks, QStringLiteral("Checking the scenarios"));
    }
    uncalculatedRuns();
    if (!_resultsOnly) {
        try {
            if (reported(-1))
                orphans(0);
            for (const int id : qAsConst(scenarioIDs))
                orphans(id);
        } catch (const TarnException& e) {
            return e.message();
        }
    }
    return {};
}

void ResultsCheck::scenariosWithoutBaseline(QList<int> scenarioIDs)
{
    for (const int id : scenarioIDs) {
        add(_findings, id, QStringLiteral("results-current"), 0, QString(),
            QStringLiteral("The check of scenario \"%1\" is incomplete: its results are computed "
                           "from the baseline, which could not be recalculated: %2")
                .arg(_data.scenarioName(id), _baselineError),
            0);
        _findings.last().runFailed = true;
    }
}

void ResultsCheck::uncalculatedRuns()
{
    // A run without a single stored row is said once, not once per site and water user.
    for (auto it = _counts.cbegin(); it != _counts.cend(); ++it) {
        const int scenarioID = it.key();
        const RunCounts& counts = it.value();
        if (counts.owners == 0 || counts.stored > 0 || !reported(scenarioID ? scenarioID : -1)
            || _failedRuns.contains(scenarioID))
            continue;
        _findings.erase(std::remove_if(_findings.begin(), _findings.end(),
                            [scenarioID](const ValidationFinding& finding) {
                                return finding.scenarioID == scenarioID && !finding.runFailed
                                    && finding.rule == QLatin1String("results-current");
                            }),
            _findings.end());
        QString run = runName(scenarioID);
        run[0] = run.at(0).toUpper();
        add(_findings, scenarioID, QStringLiteral("results-current"), 0, QString(),
            QStringLiteral("%1 has never been calculated: none of its %2 sites and water users "
                           "has stored results; calculate it with %3.")
                .arg(run, QString::number(counts.owners), TARN::recalculateHint()),
            0);
        _findings.last().waterUsers = counts.waterUsers;
    }
}

QString ResultsCheck::runName(int scenarioID) const
{
    return scenarioID ? QStringLiteral("scenario \"%1\"").arg(_data.scenarioName(scenarioID))
                      : QStringLiteral("the baseline");
}

void ResultsCheck::orphans(int scenarioID)
{
    const ResultStore::Orphans found
        = ResultStore::findOrphans(TarnDbMgr::instance()->database(), scenarioID);
    if (found.rows == 0)
        return;
    QStringList owners;
    if (!found.waterUsers.isEmpty()) {
        owners.append(QStringLiteral("water user%1 %2")
                          .arg(found.waterUsers.size() == 1 ? QString() : QStringLiteral("s"),
                              idList(found.waterUsers)));
    }
    if (!found.sites.isEmpty()) {
        owners.append(QStringLiteral("site%1 %2")
                          .arg(found.sites.size() == 1 ? QString() : QStringLiteral("s"),
                              idList(found.sites)));
    }
    if (!found.scenarios.isEmpty()) {
        owners.append(QStringLiteral("scenario%1 %2, which no longer exist%3")
                          .arg(found.scenarios.size() == 1 ? QString() : QStringLiteral("s"),
                              idList(found.scenarios),
                              found.scenarios.size() == 1 ? QStringLiteral("s") : QString()));
    }
    add(_findings, scenarioID, QStringLiteral("results-current"), 0, QString(),
        QStringLiteral("The result tables of %1 hold %2 rows that belong to no part of it any "
                       "more (%3); a recalculation removes them (%4).")
            .arg(runName(scenarioID), QString::number(found.rows),
                owners.join(QStringLiteral("; ")), TARN::recalculateHint()),
        0);
}

void ResultsCheck::runTasks(const QList<Task>& tasks, const QString& phase)
{
    int sites = 0;
    for (const Task& task : tasks)
        sites += task.sites.size();
    _sitesDone = 0;
    CalcStatusInfo info;
    info.target = QStringLiteral("Project check");
    info.status = phase;
    info.aggDivCount = sites;
    auto report = [&] {
        info.aggDivDone = _sitesDone.loadRelaxed();
        emit calcStatus(info);
    };
    report();

    QAtomicInt next = 0;
    const QString path = TarnDbMgr::instance()->path();
    std::vector<std::unique_ptr<QThread>> workers;
    if (_threads > 1 && tasks.size() > 1) {
        static QAtomicInt checks = 0;
        const int check = checks.fetchAndAddRelaxed(1);
        for (int t = 0; t < std::min(_threads, int(tasks.size())); ++t) {
            const QString name = QStringLiteral("tarnhelm-check-%1-%2")
                                     .arg(QString::number(check), QString::number(t));
            workers.emplace_back(QThread::create([this, &tasks, &next, path, name] {
                {
                    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
                    db.setDatabaseName(path);
                    db.setConnectOptions(
                        QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1")
                            .arg(TarnDbMgr::BusyTimeoutMs));
                    db.setNumericalPrecisionPolicy(QSql::HighPrecision);
                    // A thread that cannot read takes no task; what is left runs below.
                    if (db.open()) {
                        for (int i = next.fetchAndAddRelaxed(1); i < tasks.size();
                             i = next.fetchAndAddRelaxed(1))
                            runTask(tasks.at(i), name);
                    }
                    db.close();
                }
                QSqlDatabase::removeDatabase(name);
            }));
            workers.back()->start();
        }
        // Progress from this thread only: its receivers need not be thread-safe.
        for (const auto& worker : workers) {
            while (!worker->wait(100))
                report();
        }
    }
    // Without threads, or the tasks no thread could take: here, on the manager's connection.
    for (int i = next.fetchAndAddRelaxed(1); i < tasks.size(); i = next.fetchAndAddRelaxed(1)) {
        runTask(tasks.at(i), QString());
        report();
    }
    report();
}

void ResultsCheck::runTask(const Task& task, const QString& connection)
{
    BaselineChangeLog everything;
    everything.setFullRecalculation();
    std::unique_ptr<DemandCalculator> calculator;
    if (task.scenarioID == 0) {
        calculator = std::make_unique<BaselineDemandCalculator>();
    } else {
        auto scenario = std::make_unique<ScenarioDemandCalculator>(task.scenarioID, task.name);
        scenario->setBaselineDepletions(&_baseline);
        calculator = std::move(scenario);
    }
    if (!connection.isEmpty())
        calculator->setConnection(QSqlDatabase::database(connection, false));
    calculator->setOnlyAggDivs(task.sites);
    calculator->setCompareOnly(true);
    TaskObserver observer(*this, task.scenarioID);
    calculator->setObserver(&observer);
    calculator->initialize(&everything, false);
    const TARN::okstat result = calculator->runHere();
    if (result.failed()) {
        runFailed(task.scenarioID,
            task.scenarioID ? QStringLiteral("Scenario \"%1\"").arg(task.name)
                            : QStringLiteral("The baseline"),
            result.text());
    }
}

void ResultsCheck::runFailed(int scenarioID, const QString& what, const QString& error)
{
    QMutexLocker lock(&_mutex);
    if (scenarioID == 0 && _baselineError.isEmpty())
        _baselineError = error;
    if (!reported(scenarioID ? scenarioID : -1))
        return;
    // One finding per run, whichever of its threads failed first.
    if (_failedRuns.contains(scenarioID))
        return;
    _failedRuns.insert(scenarioID);
    add(_findings, scenarioID, QStringLiteral("results-current"), 0, QString(),
        QStringLiteral("%1 could not be recalculated, so its stored results cannot be checked: %2")
            .arg(what, error),
        0);
    _findings.last().runFailed = true;
}

void ResultsCheck::add(QList<ValidationFinding>& out, int scenarioID, const QString& rule,
    int aggDivID, const QString& waterUser, const QString& message, int year, bool foldable) const
{
    ValidationFinding finding;
    finding.rule = rule;
    finding.severity = ProjectValidator::severityOf(rule);
    finding.scenarioID = scenarioID;
    finding.scenarioName = _data.scenarioName(scenarioID);
    finding.aggDivID = aggDivID;
    finding.site = aggDivID ? _data.siteRiffleName(aggDivID) : QString();
    finding.waterUser = waterUser;
    finding.year = year;
    finding.message = message;
    if (foldable) {
        const QChar separator(0x1f);
        finding.foldKey = rule + separator + QString::number(aggDivID) + separator + waterUser
            + separator + QString::number(year) + separator + message;
        finding.message.replace(Run,
            scenarioID ? QStringLiteral("in this scenario") : QStringLiteral("in the baseline"));
    }
    out.append(finding);
}

void ResultsCheck::resultsCurrent(QList<ValidationFinding>& out, int scenarioID, int aggDivID,
    const QString& waterUser, const QString& label, const ResultStore::Difference& difference) const
{
    if (difference.equal())
        return;
    QString message;
    if (difference.storedRows == 0) {
        message = QStringLiteral("%1 has no stored results; calculate them with %2.")
                      .arg(label, TARN::recalculateHint());
    } else {
        QStringList parts;
        if (difference.yearlyDiffering)
            parts.append(rowsText(difference.yearlyDiffering, "yearly"));
        if (difference.monthlyDiffering)
            parts.append(rowsText(difference.monthlyDiffering, "monthly"));
        const bool one = difference.yearlyDiffering + difference.monthlyDiffering == 1;
        message
            = QStringLiteral("The stored results of %1 are out of date%2: %3 %4 from what "
                             "its inputs give; recalculate with %5.")
                  .arg(label,
                      difference.firstYear ? QStringLiteral(" from %1 on").arg(difference.firstYear)
                                           : QString(),
                      parts.join(QStringLiteral(" and ")),
                      one ? QStringLiteral("differs") : QStringLiteral("differ"),
                      TARN::recalculateHint());
    }
    add(out, scenarioID, QStringLiteral("results-current"), aggDivID, waterUser, message,
        difference.firstYear, true);
}

void ResultsCheck::aggDivCalculated(int scenarioID, int aggDivID, const QString& riffleName,
    const ResultStore::Difference& difference)
{
    _sitesDone.fetchAndAddRelaxed(1);
    QList<ValidationFinding> found;
    if (reported(scenarioID ? scenarioID : -1)) {
        resultsCurrent(found, scenarioID, aggDivID, QString(),
            QStringLiteral("the salinity of site \"%1\"").arg(riffleName), difference);
    }
    QMutexLocker lock(&_mutex);
    RunCounts& counts = _counts[scenarioID];
    ++counts.owners;
    counts.stored += difference.storedRows > 0 ? 1 : 0;
    _findings += found;
}

void ResultsCheck::waterUserCalculated(int scenarioID, int aggDivID,
    const AggDivCalcData::WaterUserEntry& entry, const ResultStore::Difference& difference)
{
    QList<ValidationFinding> found;
    if (reported(scenarioID ? scenarioID : -1)) {
        const ProjectCheckData::WaterUser* user = _data.waterUser(entry.id);
        const QString label = user ? user->label() : QStringLiteral("water user %1").arg(entry.id);
        resultsCurrent(found, scenarioID, aggDivID, entry.name, label, difference);
        if (!_resultsOnly) {
            computedRules(found, scenarioID, entry, aggDivID);
            // A water user's own years are the baseline's for a baseline water user and its
            // scenario's for a scenario's own one: reported once, in that run.
            if (user && user->scenarioID == scenarioID)
                missingYears(found, scenarioID, entry, aggDivID);
        }
    }
    QMutexLocker lock(&_mutex);
    RunCounts& counts = _counts[scenarioID];
    ++counts.owners;
    ++counts.waterUsers;
    counts.stored += difference.storedRows > 0 ? 1 : 0;
    if (scenarioID == 0) {
        const double* depletion = entry.series(AggDivCalcData::Depletion);
        ScenarioChanges::BaselineSeries& series = _baseline[entry.id];
        series.depletion.assign(depletion, depletion + entry.yearCount);
        series.hasRow.assign(static_cast<size_t>(entry.yearCount), 1);
    }
    _findings += found;
}
