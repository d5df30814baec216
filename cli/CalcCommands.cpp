#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "calc/BaselineChangeLog.h"
#include "calc/DemandCalculator.h"
#include "calc/Recalculation.h"
#include "db/TarnDbMgr.h"

#include <memory>

namespace Cli {

int recalc(const QString& file, bool full, const QList<int>& scenarioIDs)
{
    TarnDbMgr* manager = TarnDbMgr::instance();
    const std::unique_ptr<TarnDbMgr> closer(manager);
    const TARN::okstat opened = manager->openDatabase(file);
    if (opened.failed()) {
        err(opened.text());
        return 1;
    }

    // Without --full every site is computed in memory and compared with its stored results:
    // what no longer follows the inputs is written, whoever changed them.
    BaselineChangeLog changeLog;
    if (full)
        changeLog.setFullRecalculation();

    ProgressLine progress;
    Recalculation recalculation(changeLog);
    recalculation.setScenarios(scenarioIDs);
    recalculation.setRefreshStale(!full);
    recalculation.setLineHandler([&progress](const QString& line) {
        progress.clear();
        out(line);
    });
    recalculation.setExecutor([&progress](DemandCalculator& calculator) {
        const TARN::okstat result = Recalculation::runAndWait(
            calculator, [&progress](const CalcStatusInfo& info) { progress.show(info); });
        progress.clear();
        return result;
    });
    const TARN::okstat status = recalculation.run();
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    return 0;
}

namespace {

int runRecalc(const CliCommand& self, const QStringList& args)
{
    QString file;
    bool full = false;
    QList<int> scenarioIDs;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--full")) {
            full = true;
        } else if (arg == QLatin1String("--scenario")) {
            int id = 0;
            if (i + 1 >= args.size() || !parseInt(args.at(++i), id))
                return usageError(self, QStringLiteral("--scenario needs a scenario ID."));
            scenarioIDs.append(id);
        } else if (arg.startsWith(QLatin1String("--")) || !file.isEmpty()) {
            return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(arg));
        } else {
            file = arg;
        }
    }
    if (file.isEmpty())
        return usageError(self, QStringLiteral("FILE is required."));
    return recalc(file, full, scenarioIDs);
}

} // namespace

QList<CliCommand> calcCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("recalc"),
        QStringLiteral("Compute the baseline and scenario results of a project file: every site is "
                       "computed and what no longer follows the inputs is written (--full: "
                       "everything is rewritten)."),
        QStringLiteral("tarnhelm-cli recalc FILE [--full] [--scenario ID]..."), {} });
    list[0].run = [self = list[0]](const QStringList& a) { return runRecalc(self, a); };
    return list;
}

} // namespace Cli
