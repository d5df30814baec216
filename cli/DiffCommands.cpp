#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "workbook/WorkbookDiff.h"

#include <QTextStream>

#include <cmath>

namespace Cli {

namespace {

int runDiffWorkbook(const CliCommand& self, const CliArgs& args)
{
    double tolerance = 0;
    if (args.isSet(QStringLiteral("tolerance"))) {
        bool ok = false;
        tolerance = args.value(QStringLiteral("tolerance")).toDouble(&ok);
        if (!ok || !std::isfinite(tolerance) || tolerance < 0)
            return usageError(
                self, QStringLiteral("--tolerance needs a number that is 0 or more."));
    }
    const QStringList files = args.positional();
    if (files.size() != 2)
        return usageError(self, QStringLiteral("OLD and NEW are required."));
    const bool json = args.isSet(QStringLiteral("json"));
    const bool fingerprints = !args.isSet(QStringLiteral("no-fingerprints"));

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
        { { QStringLiteral("json"), {}, QStringLiteral("the comparison as one JSON object") },
            { QStringLiteral("tolerance"), QStringLiteral("T"),
                QStringLiteral("the difference a value may have and still be equal (default 0)") },
            { QStringLiteral("no-fingerprints"), {},
                QStringLiteral("read every sheet, even those whose fingerprints agree") } },
        {}, {}, &runDiffWorkbook });
    return list;
}

} // namespace Cli
