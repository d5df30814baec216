#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "db/DmiApi.h"
#include "db/TarnDbMgr.h"
#include "export/AttributeExporter.h"
#include "export/DataExporter.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

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

int runExportXlsx(const CliCommand& self, const QStringList& args)
{
    QStringList files;
    QList<int> ids;
    bool baseline = false;
    int start = 0;
    int end = 0;
    bool haveStart = false;
    bool haveEnd = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const bool hasValue = i + 1 < args.size();
        int value = 0;
        if (arg == QLatin1String("--baseline")) {
            baseline = true;
        } else if (arg == QLatin1String("--scenario") && hasValue) {
            if (!parseInt(args.at(++i), value))
                return usageError(self, QStringLiteral("--scenario needs a scenario ID."));
            ids.append(value);
        } else if (arg == QLatin1String("--start") && hasValue) {
            if (!parseInt(args.at(++i), start))
                return usageError(self, QStringLiteral("--start needs a year."));
            haveStart = true;
        } else if (arg == QLatin1String("--end") && hasValue) {
            if (!parseInt(args.at(++i), end))
                return usageError(self, QStringLiteral("--end needs a year."));
            haveEnd = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(arg));
        } else {
            files.append(arg);
        }
    }
    if (files.size() != 2)
        return usageError(self, QStringLiteral("FILE and BOOK are required."));
    if (haveStart != haveEnd)
        return usageError(self, QStringLiteral("--start and --end go together."));
    if (haveStart && end < start)
        return usageError(self, QStringLiteral("The end year is before the start year."));
    if (!openProject(files.at(0)))
        return 1;

    QSqlDatabase& db = TarnDbMgr::instance()->database();
    if (!haveStart) {
        QSqlQuery range(db);
        if (!range.exec(
                QStringLiteral("SELECT StartYear, EndYear FROM Baseline WHERE BaselineID = 1"))
            || !range.next())
            return finish(QStringLiteral("Unable to read the baseline's time range."), QString());
        start = range.value(0).toInt();
        end = range.value(1).toInt();
    }
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

int runExportAttributes(const CliCommand& self, const QStringList& args)
{
    QStringList files;
    int scenario = AttributeExporter::BaselineId;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--scenario") && i + 1 < args.size()) {
            if (!parseInt(args.at(++i), scenario))
                return usageError(self, QStringLiteral("--scenario needs a scenario ID."));
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(arg));
        } else {
            files.append(arg);
        }
    }
    if (files.size() != 2)
        return usageError(self, QStringLiteral("FILE and OUT.xml are required."));
    if (!openProject(files.at(0)))
        return 1;

    if (scenario != AttributeExporter::BaselineId) {
        QSqlQuery known(TarnDbMgr::instance()->database());
        known.prepare(QStringLiteral("SELECT COUNT(*) FROM Scenario WHERE ScenarioID = :id"));
        known.bindValue(QStringLiteral(":id"), scenario);
        if (!known.exec() || !known.next() || known.value(0).toInt() == 0)
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
        {} });
    list.append({ QStringLiteral("export-attributes"),
        QStringLiteral("Write the attribute XML file of the baseline, or of the baseline and one "
                       "scenario's own water users."),
        QStringLiteral("tarnhelm-cli export-attributes FILE OUT.xml [--scenario ID]"), {} });
    list[0].run = [self = list[0]](const QStringList& a) { return runExportXlsx(self, a); };
    list[1].run = [self = list[1]](const QStringList& a) { return runExportAttributes(self, a); };
    return list;
}

} // namespace Cli
