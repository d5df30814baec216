#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "db/BaselineDAO.h"
#include "db/DmiApi.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "export/AttributeExporter.h"
#include "export/DataExporter.h"

#include <QFileInfo>

namespace Cli {

namespace {

// Opens the project as the desktop program does; prints the refusal on failure.
bool openProject(const QString& file)
{
    const TARN::okstat status = TarnDbMgr::instance()->openDatabase(file);
    if (status.failed()) {
        err(status.text());
        return false;
    }
    return true;
}

int finish(const TARN::okstat& status, const QString& written)
{
    delete TarnDbMgr::instance();
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    out(QStringLiteral("Wrote %1").arg(QFileInfo(written).absoluteFilePath()));
    return 0;
}

// The exporters hold the connection: they end before the manager does.
TARN::okstat runDataExport(const QString& book, const QList<int>& ids, int start, int end)
{
    ProgressLine progress;
    DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
    QObject::connect(&exporter, &DataExporter::exportStatus, &exporter,
        [&progress](const CalcStatusInfo& info) { progress.show(info); });
    QObject::connect(
        &exporter, &DataExporter::diagMessage, &exporter, [&progress](const QString& line) {
            progress.clear();
            out(line);
        });
    const TARN::okstat status = exporter.exportData(book, ids, start, end);
    progress.clear();
    return status;
}

TARN::okstat runAttributeExport(const QString& project, const QString& out, int scenario)
{
    ProgressLine progress;
    AttributeExporter exporter(nullptr, TarnDbMgr::instance()->database(), project);
    QObject::connect(&exporter, &AttributeExporter::exportStatus, &exporter,
        [&progress](const CalcStatusInfo& info) { progress.show(info); });
    const TARN::okstat status = exporter.exportAttributes(out, scenario);
    progress.clear();
    return status;
}

int runExportXlsx(const CliCommand& self, const CliArgs& args)
{
    QList<int> ids;
    const QStringList scenarioArgs = args.values(QStringLiteral("scenario"));
    for (const QString& text : scenarioArgs) {
        int value = 0;
        if (!parseInt(text, value))
            return usageError(self, QStringLiteral("--scenario needs a scenario ID."));
        ids.append(value);
    }
    const bool baseline = args.isSet(QStringLiteral("baseline"));
    const bool haveStart = args.isSet(QStringLiteral("start"));
    const bool haveEnd = args.isSet(QStringLiteral("end"));
    int start = 0;
    int end = 0;
    if (haveStart && !parseInt(args.value(QStringLiteral("start")), start))
        return usageError(self, QStringLiteral("--start needs a year."));
    if (haveEnd && !parseInt(args.value(QStringLiteral("end")), end))
        return usageError(self, QStringLiteral("--end needs a year."));
    const QStringList files = args.positional();
    if (files.size() != 2)
        return usageError(self, QStringLiteral("FILE and BOOK are required."));
    if (haveStart != haveEnd)
        return usageError(self, QStringLiteral("--start and --end go together."));
    if (haveStart && end < start)
        return usageError(self, QStringLiteral("The end year is before the start year."));
    if (!openProject(files.at(0)))
        return CannotOpen;

    if (!haveStart && TarnDbMgr::instance()->baselineDAO()->getTimeRange(start, end).failed())
        return finish(QStringLiteral("Unable to read the baseline's time range."), QString());
    // By default the baseline and every scenario; naming any narrows the export to those.
    QList<int> exportIds;
    if (baseline || ids.isEmpty())
        exportIds.append(DataExporter::BaselineId);
    if (ids.isEmpty() && !baseline) {
        DmiApi dmi(nullptr);
        QList<DmiApi::ScenarioEntry> scenarios;
        const TARN::okstat listed = dmi.getScenarios(scenarios, false);
        if (listed.failed())
            return finish(listed, QString());
        for (const auto& entry : qAsConst(scenarios))
            exportIds.append(entry.first);
    } else {
        exportIds.append(ids);
    }

    return finish(runDataExport(files.at(1), exportIds, start, end), files.at(1));
}

int runExportAttributes(const CliCommand& self, const CliArgs& args)
{
    int scenario = AttributeExporter::BaselineId;
    if (args.isSet(QStringLiteral("scenario"))
        && !parseInt(args.value(QStringLiteral("scenario")), scenario))
        return usageError(self, QStringLiteral("--scenario needs a scenario ID."));
    const QStringList files = args.positional();
    if (files.size() != 2)
        return usageError(self, QStringLiteral("FILE and OUT.xml are required."));
    if (!openProject(files.at(0)))
        return CannotOpen;

    if (scenario != AttributeExporter::BaselineId) {
        bool known = false;
        if (TarnDbMgr::instance()->scenarioDAO()->exists(scenario, known).failed() || !known)
            return finish(
                QStringLiteral("There is no scenario with ID %1.").arg(scenario), QString());
    }
    return finish(runAttributeExport(files.at(0), files.at(1), scenario), files.at(1));
}

} // namespace

QList<CliCommand> exportCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("export-xlsx"),
        QStringLiteral("Write the monthly results to an Excel workbook (.xlsx, .xlsm or .xls); "
                       "by default the baseline and every scenario over the baseline's years."),
        QStringLiteral("tarnhelm-cli export-xlsx FILE BOOK [--baseline] [--scenario ID]... "
                       "[--start YEAR --end YEAR]"),
        { { QStringLiteral("baseline"), {}, QStringLiteral("the baseline's results") },
            { QStringLiteral("scenario"), QStringLiteral("ID"),
                QStringLiteral("this scenario's results (again for more)") },
            { QStringLiteral("start"), QStringLiteral("YEAR"),
                QStringLiteral("the first year written (with --end)") },
            { QStringLiteral("end"), QStringLiteral("YEAR"),
                QStringLiteral("the last year written (with --start)") } },
        {}, {}, &runExportXlsx });
    list.append({ QStringLiteral("export-attributes"),
        QStringLiteral("Write the attribute XML file of the baseline, or of the baseline and one "
                       "scenario's own water users."),
        QStringLiteral("tarnhelm-cli export-attributes FILE OUT.xml [--scenario ID]"),
        { { QStringLiteral("scenario"), QStringLiteral("ID"),
            QStringLiteral("the scenario whose own water users are written with the baseline") } },
        {}, {}, &runExportAttributes });
    return list;
}

} // namespace Cli
