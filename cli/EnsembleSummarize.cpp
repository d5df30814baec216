#include "cli/CliCommands.h"

#include "ensemble/EnsembleSummary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Cli {

namespace {

int runSummarize(const CliCommand& self, const CliArgs& args)
{
    const QStringList dirs = args.positional();
    if (dirs.size() != 1)
        return usageError(self, QStringLiteral("One output folder DIR is required."));
    if (!args.isSet(QStringLiteral("out")))
        return usageError(self, QStringLiteral("--out SUMMARY.xlsx is required."));
    const QString& dir = dirs.first();
    const QString planPath = args.isSet(QStringLiteral("plan"))
        ? args.value(QStringLiteral("plan"))
        : QDir(dir).filePath(QStringLiteral("plan.json"));
    QFile file(planPath);
    if (!file.open(QIODevice::ReadOnly)) {
        err(QStringLiteral("Unable to read the plan %1: %2 (ensemble run keeps a copy of its plan "
                           "in its output folder; or name it with --plan).")
                .arg(planPath, file.errorString()));
        return 1;
    }
    EnsemblePlan plan;
    TARN::okstat status = EnsemblePlan::fromText(file.readAll(), planPath, plan);
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    EnsembleSummary summary;
    status = summary.read(dir, plan);
    for (const QString& problem : summary.problems())
        err(problem);
    if (status.isOk())
        status = summary.writeWorkbook(args.value(QStringLiteral("out")), plan);
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    out(QStringLiteral("Summarised %1 of %2 members into %3")
            .arg(QString::number(summary.found().size()), QString::number(plan.memberCount()),
                args.value(QStringLiteral("out"))));
    if (!summary.missing().isEmpty()) {
        err(QStringLiteral("Missing members: %1. Run them with: tarnhelm-cli ensemble run PROJECT "
                           "%2 --member K --out %3")
                .arg(memberList(summary.missing()), planPath, dir));
    }
    return 0;
}

} // namespace

CliCommand ensembleSummaryCommand()
{
    return { QStringLiteral("ensemble summarize"),
        QStringLiteral("Summarise the members found in an output folder: per slot and year the "
                       "minimum, 10th, 50th and 90th percentile and maximum; names the missing "
                       "members."),
        QStringLiteral("tarnhelm-cli ensemble summarize DIR --out SUMMARY.xlsx [--plan PLAN]"),
        { { QStringLiteral("out"), QStringLiteral("SUMMARY.xlsx"),
              QStringLiteral("the summary workbook"), QStringLiteral("--out needs a file.") },
            { QStringLiteral("plan"), QStringLiteral("PLAN"),
                QStringLiteral("the plan (default: DIR/plan.json, kept there by ensemble run)"),
                QStringLiteral("--plan needs a file.") } },
        {}, {}, &runSummarize };
}

} // namespace Cli
