#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"

#include <QEventLoop>

#include <memory>

namespace Cli {

namespace {

// A scenario's ID and name.
using ScenarioItem = QPair<int, QString>;

// Runs one calculator on its own thread, as the dialogs do, and waits for it in an event loop
// so that its queued signals arrive.
TARN::okstat runCalculator(
    DemandCalculator& calculator, const BaselineChangeLog& changeLog, ProgressLine& progress)
{
    calculator.initialize(&changeLog, true);
    TARN::okstat result;
    QEventLoop loop;
    QObject::connect(
        &calculator, &DemandCalculator::diagMessage, &loop,
        [&progress](const QString& line) {
            progress.clear();
            out(line);
        },
        Qt::QueuedConnection);
    QObject::connect(
        &calculator, &DemandCalculator::calcStatus, &loop,
        [&progress](const CalcStatusInfo& info) { progress.show(info); }, Qt::QueuedConnection);
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
    progress.clear();
    return result;
}

} // namespace

int recalc(const QString& file, bool full, const QList<int>& scenarioIDs)
{
    TarnDbMgr* manager = TarnDbMgr::instance();
    const std::unique_ptr<TarnDbMgr> closer(manager);
    TARN::okstat status = manager->openDatabase(file);
    if (status.failed()) {
        err(status.text());
        return CannotOpen;
    }

    QList<ScenarioItem> all;
    status = manager->scenarioDAO()->getScenarioNames(all);
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    QList<ScenarioItem> chosen;
    if (scenarioIDs.isEmpty()) {
        chosen = all;
    } else {
        for (const int id : scenarioIDs) {
            const auto it = std::find_if(all.cbegin(), all.cend(),
                [id](const ScenarioItem& item) { return item.first == id; });
            if (it == all.cend()) {
                err(QStringLiteral("There is no scenario with ID %1.").arg(id));
                return 1;
            }
            chosen.append(*it);
        }
    }

    // Without --full every site is computed in memory and compared with its stored results:
    // what no longer follows the inputs is written, whoever changed them.
    BaselineChangeLog changeLog;
    if (full)
        changeLog.setFullRecalculation();

    ProgressLine progress;
    {
        BaselineDemandCalculator baseline;
        baseline.setRefreshStale(!full);
        status = runCalculator(baseline, changeLog, progress);
    }
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    for (const ScenarioItem& scenario : qAsConst(chosen)) {
        ScenarioDemandCalculator calculator(scenario.first, scenario.second);
        calculator.setRefreshStale(!full);
        status = runCalculator(calculator, changeLog, progress);
        if (status.failed()) {
            err(status.text());
            return 1;
        }
    }
    return 0;
}

namespace {

int runRecalc(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    if (files.size() > 1)
        return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(files.at(1)));
    QList<int> scenarioIDs;
    const QStringList ids = args.values(QStringLiteral("scenario"));
    for (const QString& text : ids) {
        int id = 0;
        if (!parseInt(text, id))
            return usageError(self, QStringLiteral("--scenario needs a scenario ID."));
        scenarioIDs.append(id);
    }
    if (files.isEmpty())
        return usageError(self, QStringLiteral("FILE is required."));
    return recalc(files.first(), args.isSet(QStringLiteral("full")), scenarioIDs);
}

} // namespace

QList<CliCommand> calcCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("recalc"),
        QStringLiteral("Compute the baseline and scenario results of a project file: every site is "
                       "computed and what no longer follows the inputs is written (--full: "
                       "everything is rewritten)."),
        QStringLiteral("tarnhelm-cli recalc FILE [--full] [--scenario ID]..."),
        { { QStringLiteral("full"), {},
              QStringLiteral("rewrite every result, not only what no longer follows the inputs") },
            { QStringLiteral("scenario"), QStringLiteral("ID"),
                QStringLiteral("compute this scenario (again for more); without it, every one"),
                QStringLiteral("--scenario needs a scenario ID.") } },
        {}, {}, &runRecalc });
    return list;
}

} // namespace Cli
