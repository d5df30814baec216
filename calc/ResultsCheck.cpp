#include "calc/ResultsCheck.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/CalcObserver.h"
#include "calc/ProjectCheckData.h"
#include "db/TarnDbMgr.h"

#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QThread>

#include <memory>
#include <vector>

#include <cmath>

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 12);
}

QString rowsText(int count, const char* kind)
{
    return QStringLiteral("%1 %2 row%3")
        .arg(QString::number(count), QLatin1String(kind),
            count == 1 ? QString() : QStringLiteral("s"));
}

// A computed value that breaks a rule, counted over the years of one water user.
struct Hit {
    int first = 0;
    int count = 0;
    double value = 0;
    void add(int year, double v)
    {
        if (count++ == 0) {
            first = year;
            value = v;
        }
    }
};

QString moreYears(int count)
{
    if (count <= 1)
        return QString();
    return count == 2 ? QStringLiteral(" and one more year")
                      : QStringLiteral(" and %1 more years").arg(count - 1);
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

TARN::okstat ResultsCheck::run()
{
    _firstYear = _data.firstYear;
    runTasks(tasksOf(0, QStringLiteral("Baseline")), QStringLiteral("Checking the baseline"));
    QList<Task> scenarioTasks;
    for (const ProjectCheckData::Scenario& scenario : _data.scenarios) {
        if (reported(scenario.id))
            scenarioTasks += tasksOf(scenario.id, scenario.name);
    }
    runTasks(scenarioTasks, QStringLiteral("Checking the scenarios"));
    return {};
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
    if (!reported(scenarioID ? scenarioID : -1))
        return;
    QMutexLocker lock(&_mutex);
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
    int aggDivID, const QString& waterUser, const QString& message, int year) const
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
    out.append(finding);
}

void ResultsCheck::resultsCurrent(QList<ValidationFinding>& out, int scenarioID, int aggDivID,
    const QString& waterUser, const QString& label, const ResultStore::Difference& difference) const
{
    if (difference.equal())
        return;
    QString message;
    if (difference.storedRows == 0) {
        message = QStringLiteral("%1 has no stored results; recalculate.").arg(label);
    } else {
        QStringList parts;
        if (difference.yearlyDiffering)
            parts.append(rowsText(difference.yearlyDiffering, "yearly"));
        if (difference.monthlyDiffering)
            parts.append(rowsText(difference.monthlyDiffering, "monthly"));
        message
            = QStringLiteral("The stored results of %1 are out of date%2: %3 differ from "
                             "what its inputs give.")
                  .arg(label,
                      difference.firstYear ? QStringLiteral(" from %1 on").arg(difference.firstYear)
                                           : QString(),
                      parts.join(QStringLiteral(" and ")));
    }
    add(out, scenarioID, QStringLiteral("results-current"), aggDivID, waterUser, message,
        difference.firstYear);
}

void ResultsCheck::aggDivCalculated(int scenarioID, int aggDivID, const QString& riffleName,
    const ResultStore::Difference& difference)
{
    _sitesDone.fetchAndAddRelaxed(1);
    if (!reported(scenarioID ? scenarioID : -1) || difference.equal())
        return;
    QList<ValidationFinding> found;
    resultsCurrent(found, scenarioID, aggDivID, QString(),
        QStringLiteral("the salinity of site \"%1\"").arg(riffleName), difference);
    QMutexLocker lock(&_mutex);
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
    if (scenarioID == 0) {
        const double* depletion = entry.series(AggDivCalcData::Depletion);
        _baseline.insert(entry.id, std::vector<double>(depletion, depletion + entry.yearCount));
    }
    _findings += found;
}

// Rules on computed values, for the years where the planner did not enter the offending value
// (those are reported as entered).
void ResultsCheck::computedRules(QList<ValidationFinding>& out, int scenarioID,
    const AggDivCalcData::WaterUserEntry& entry, int aggDivID) const
{
    const ProjectCheckData::WaterUser* user = _data.waterUser(entry.id);
    const QString label = user ? user->label() : QStringLiteral("water user %1").arg(entry.id);
    std::vector<std::array<double, 4>> entered(
        entry.yearCount, { std::nan(""), std::nan(""), std::nan(""), std::nan("") });
    for (const ProjectCheckData::YearValues& row : _data.yearly.value(entry.id)) {
        const int y = row.year - _firstYear;
        if (y >= 0 && y < entry.yearCount)
            entered[y] = row.values;
    }

    Hit efficiency;
    Hit negative[3];
    Hit exceeds;
    const int kinds[3]
        = { AggDivCalcData::Diversion, AggDivCalcData::Depletion, AggDivCalcData::SalinityPickup };
    for (int y = 0; y < entry.yearCount; ++y) {
        const int year = _firstYear + y;
        const double e = entry.value(AggDivCalcData::EfficiencyRatio, y);
        const double enteredE = entered[y][AggDivCalcData::EfficiencyRatio];
        const bool enteredBad = !std::isnan(enteredE) && !(enteredE > 0.0 && enteredE <= 1.0);
        if (!std::isnan(e) && !(e > 0.0 && e <= 1.0) && !enteredBad)
            efficiency.add(year, e);
        for (int k = 0; k < 3; ++k) {
            const double v = entry.value(kinds[k], y);
            const double enteredV = entered[y][kinds[k]];
            if (!std::isnan(v) && v < 0 && !(!std::isnan(enteredV) && enteredV < 0))
                negative[k].add(year, v);
        }
        const double d = entry.value(AggDivCalcData::Diversion, y);
        const double p = entry.value(AggDivCalcData::Depletion, y);
        if (!std::isnan(d) && !std::isnan(p) && p > d)
            exceeds.add(year, p - d);
    }
    const QString where
        = scenarioID ? QStringLiteral("in this scenario") : QStringLiteral("in the baseline");
    if (efficiency.count) {
        add(out, scenarioID, QStringLiteral("efficiency-range"), aggDivID, entry.name,
            QStringLiteral("%1 gets a computed efficiency ratio of %2 in %3%4 %5; it must be "
                           "above 0 and at most 1.")
                .arg(label, number(efficiency.value), QString::number(efficiency.first),
                    moreYears(efficiency.count), where),
            efficiency.first);
    }
    const char* const names[3] = { "diversion", "depletion", "salinity pick-up" };
    for (int k = 0; k < 3; ++k) {
        if (!negative[k].count)
            continue;
        add(out, scenarioID, QStringLiteral("negative-value"), aggDivID, entry.name,
            QStringLiteral("%1 gets a computed %2 of %3 in %4%5 %6.")
                .arg(label, QLatin1String(names[k]), number(negative[k].value),
                    QString::number(negative[k].first), moreYears(negative[k].count), where),
            negative[k].first);
    }
    if (exceeds.count) {
        add(out, scenarioID, QStringLiteral("depletion-exceeds-diversion"), aggDivID, entry.name,
            QStringLiteral("The computed depletion of %1 is above its diversion in %2%3 %4 (by "
                           "%5 in %2).")
                .arg(label, QString::number(exceeds.first), moreYears(exceeds.count), where,
                    number(exceeds.value)),
            exceeds.first);
    }
}

void ResultsCheck::missingYears(QList<ValidationFinding>& out, int scenarioID,
    const AggDivCalcData::WaterUserEntry& entry, int aggDivID) const
{
    const ProjectCheckData::WaterUser* user = _data.waterUser(entry.id);
    const QString label = user ? user->label() : QStringLiteral("water user %1").arg(entry.id);
    std::vector<char> hasValue(entry.yearCount, 0);
    for (const ProjectCheckData::YearValues& row : _data.yearly.value(entry.id)) {
        const int y = row.year - _firstYear;
        if (y < 0 || y >= entry.yearCount)
            continue;
        for (const double value : row.values) {
            if (!std::isnan(value))
                hasValue[y] = 1;
        }
    }
    QList<int> missing;
    QList<int> leftEmpty;
    for (int y = 0; y < entry.yearCount; ++y) {
        if (hasValue[y])
            continue;
        missing.append(_firstYear + y);
        if (std::isnan(entry.value(AggDivCalcData::Diversion, y))
            && std::isnan(entry.value(AggDivCalcData::Depletion, y)))
            leftEmpty.append(_firstYear + y);
    }
    if (missing.isEmpty())
        return;
    if (missing.size() == entry.yearCount) {
        add(out, scenarioID, QStringLiteral("no-data"), aggDivID, entry.name,
            QStringLiteral("%1 has no value in any year; its results are empty.").arg(label), 0);
        return;
    }
    QString fate;
    const bool one = missing.size() == 1;
    if (leftEmpty.isEmpty())
        fate = one ? QStringLiteral("the gap filling fills it")
                   : QStringLiteral("the gap filling fills them all");
    else if (leftEmpty.size() == missing.size())
        fate = one ? QStringLiteral("the gap filling leaves it empty")
                   : QStringLiteral("the gap filling leaves them all empty");
    else
        fate = QStringLiteral("the gap filling leaves %1 empty")
                   .arg(ProjectCheckData::yearRanges(leftEmpty));
    add(out, scenarioID, QStringLiteral("missing-years"), aggDivID, entry.name,
        QStringLiteral("%1 has no values for %2; %3.")
            .arg(label, ProjectCheckData::yearRanges(missing), fate),
        missing.first());
}
