#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "ensemble/EnsembleSummary.h"
#include "ensemble/charts/FanChart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Cli {

namespace {

// "Basin.Total Depletion" -> "Basin.Total_Depletion.png"
QString chartFileName(const QString& slot)
{
    QString name = slot;
    for (QChar& c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('.') && c != QLatin1Char('-'))
            c = QLatin1Char('_');
    }
    return name + QStringLiteral(".png");
}

TARN::okstat writeCharts(
    const EnsembleSummary& summary, const QString& dir, const QStringList& charted)
{
    if (!QDir().mkpath(dir))
        return QStringLiteral("Unable to make the folder %1.").arg(dir);
    QStringList names { EnsembleSummary::basinTotalSlot() };
    for (const QString& slot : charted) {
        if (!names.contains(slot))
            names.append(slot);
    }
    for (const QString& name : qAsConst(names)) {
        const EnsembleSummary::Slot* slot = summary.slot(name);
        if (!slot)
            return QStringLiteral("The members have no slot \"%1\"; slots are named as in their "
                                  "files' Slot column, e.g. \"Site:WaterUser.Depletion "
                                  "Requested\".")
                .arg(name);
        FanChart::Fan fan;
        fan.title = name;
        fan.firstYear = summary.firstYear();
        fan.members = summary.found().size();
        for (int s = 0; s < EnsembleSummary::StatisticCount; ++s)
            fan.statistics[s] = slot->values[s];
        const QString path = QDir(dir).filePath(chartFileName(name));
        if (const TARN::okstat drawn = FanChart::render(fan, path); drawn.failed())
            return drawn;
        out(QStringLiteral("Wrote %1").arg(path));
    }
    return {};
}

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
    ProgressLine progress;
    summary.setProgress([&progress](int done, int total) {
        CalcStatusInfo info;
        info.target = QStringLiteral("Reading members");
        info.aggDivCount = total;
        info.aggDivDone = done;
        progress.show(info);
    });
    status = summary.read(dir, plan);
    progress.clear();
    for (const QString& problem : summary.problems())
        err(problem);
    if (status.isOk())
        status = summary.writeWorkbook(args.value(QStringLiteral("out")), plan);
    if (status.isOk() && args.isSet(QStringLiteral("png")))
        status = writeCharts(
            summary, args.value(QStringLiteral("png")), args.values(QStringLiteral("slot")));
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    out(QStringLiteral("Summarised %1 of %2 members into %3")
            .arg(QString::number(summary.found().size()), QString::number(plan.memberCount()),
                args.value(QStringLiteral("out"))));
    if (!summary.missing().isEmpty()) {
        // The plan knows the project's file name, not where it lies on this machine.
        err(QStringLiteral("Missing members: %1. Run them with: tarnhelm-cli ensemble run %2 %3 "
                           "--member K --out %4")
                .arg(memberList(summary.missing()), plan.projectFile, planPath, dir));
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
        QStringLiteral("tarnhelm-cli ensemble summarize DIR --out SUMMARY.xlsx [--plan PLAN] "
                       "[--png CHARTDIR [--slot SLOT]...]"),
        { { QStringLiteral("out"), QStringLiteral("SUMMARY.xlsx"),
              QStringLiteral("the summary workbook"), QStringLiteral("--out needs a file.") },
            { QStringLiteral("plan"), QStringLiteral("PLAN"),
                QStringLiteral("the plan (default: DIR/plan.json, kept there by ensemble run)"),
                QStringLiteral("--plan needs a file.") },
            { QStringLiteral("png"), QStringLiteral("CHARTDIR"),
                QStringLiteral("fan charts as PNG: the basin's total depletion and each --slot"),
                QStringLiteral("--png needs a folder.") },
            { QStringLiteral("slot"), QStringLiteral("SLOT"),
                QStringLiteral("a slot to chart as well, as the members name it (again for more)"),
                QStringLiteral("--slot needs a slot name.") } },
        {}, {}, &runSummarize };
}

} // namespace Cli
