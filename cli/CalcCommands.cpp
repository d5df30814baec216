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
        return CannotOpen;
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
