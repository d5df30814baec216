#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "workbook/WorkbookDiff.h"

#include <QTextStream>

#include <cmath>

namespace Cli {

namespace {

int runDiffWorkbook(const CliCommand& self, const QStringList& args)
{
    QStringList files;
    bool json = false;
    bool fingerprints = true;
    double tolerance = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg == QLatin1String("--no-fingerprints")) {
            fingerprints = false;
        } else if (arg == QLatin1String("--tolerance") && i + 1 < args.size()) {
            bool ok = false;
            tolerance = args.at(++i).toDouble(&ok);
            if (!ok || !std::isfinite(tolerance) || tolerance < 0)
                return usageError(
                    self, QStringLiteral("--tolerance needs a number that is 0 or more."));
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(arg));
        } else {
            files.append(arg);
        }
    }
    if (files.size() != 2)
        return usageError(self, QStringLiteral("OLD and NEW are required."));

    ProgressLine progress;
    Workbook::WorkbookDiff diff(tolerance);
    diff.setUseFingerprints(fingerprints);
    diff.setProgress([&progress](const QString& sheet, int done, int total) {
        CalcStatusInfo info;
        info.target = sheet;
        info.status = QStringLiteral("Comparing");
        info.aggDivCount = total;
        info.aggDivDone = done;
        progress.show(info);
    });
    Workbook::WorkbookComparison comparison;
    QString error;
    const bool compared = diff.compareFiles(files.at(0), files.at(1), &comparison, &error);
    progress.clear();
    if (!compared) {
        err(error);
        return 2;
    }
    if (json) {
        QTextStream stream(stdout);
        stream << QString::fromUtf8(comparison.toJson()) << '\n';
    } else {
        out(comparison.toText());
    }
    return comparison.equal() ? 0 : 1;
}

} // namespace

QList<CliCommand> diffCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("diff-workbook"),
        QStringLiteral("Compare two workbooks (.xlsx, .xlsm or .xls, in any mix) sheet by sheet, "
                       "column (object.slot) by column and month by month; sheets whose "
                       "fingerprints agree are equal unless --no-fingerprints. Exit status: 0 "
                       "equal, 1 different, 2 a workbook can't be read."),
        QStringLiteral(
            "tarnhelm-cli diff-workbook OLD NEW [--json] [--tolerance T] [--no-fingerprints]"),
        {} });
    list[0].run = [self = list[0]](const QStringList& a) { return runDiffWorkbook(self, a); };
    return list;
}

} // namespace Cli
