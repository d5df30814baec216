#include "cli/CliCommands.h"

#include "db/ProjectCheck.h"
#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"
#include "demo/DemoProject.h"

#include <QTextStream>

#include <cstdio>

namespace Cli {

void out(const QString& text)
{
    QTextStream stream(stdout);
    stream << text << '\n';
}

void err(const QString& text)
{
    QTextStream stream(stderr);
    stream << text << '\n';
}

int usageError(const CliCommand& command, const QString& problem)
{
    err(QStringLiteral("%1\nUsage: %2").arg(problem, command.usage));
    return 2;
}

bool openProjectOrSay(const QString& file)
{
    const TARN::okstat opened = TarnDbMgr::instance()->openDatabase(file);
    if (opened.isOk())
        return true;
    err(QStringLiteral("Unable to open %1: %2").arg(file, opened.text()));
    return false;
}

bool parseInt(const QString& text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

static int runNew(const CliCommand& self, const QStringList& args)
{
    QString file;
    QString description;
    int start = 0;
    int end = 0;
    bool haveStart = false;
    bool haveEnd = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--start") && hasValue) {
            if (!parseInt(args.at(++i), start))
                return usageError(self, QStringLiteral("--start needs a year."));
            haveStart = true;
        } else if (arg == QLatin1String("--end") && hasValue) {
            if (!parseInt(args.at(++i), end))
                return usageError(self, QStringLiteral("--end needs a year."));
            haveEnd = true;
        } else if (arg == QLatin1String("--description") && hasValue) {
            description = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--")) || !file.isEmpty()) {
            return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(arg));
        } else {
            file = arg;
        }
    }
    if (file.isEmpty() || !haveStart || !haveEnd)
        return usageError(self, QStringLiteral("FILE, --start and --end are required."));
    const TARN::okstat status = ProjectFile::create(file, start, end, description);
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    out(QStringLiteral("Created %1").arg(file));
    return 0;
}

static int runCheck(const CliCommand& self, const QStringList& args)
{
    if (args.size() != 1 || args.first().startsWith(QLatin1String("--")))
        return usageError(self, QStringLiteral("One project FILE is required."));
    TarnDbMgr* mgr = TarnDbMgr::instance();
    TARN::okstat status = mgr->openDatabase(args.first());
    QStringList problems;
    if (status.isOk()) {
        status = ProjectCheck::structureProblems(mgr->database(), problems);
        QStringList references;
        if (status.isOk())
            status = ProjectCheck::brokenReferences(mgr->database(), {}, references);
        problems += references;
    }
    delete mgr;
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    if (!problems.isEmpty()) {
        err(QStringLiteral("The project file is damaged:"));
        for (const QString& problem : qAsConst(problems))
            err(QStringLiteral("  ") + problem);
        return 1;
    }
    out(QStringLiteral("Connected"));
    return 0;
}

static int runDemo(const CliCommand& self, const QStringList& args)
{
    bool large = false;
    bool stress = false;
    QString file;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--large"))
            large = true;
        else if (arg == QLatin1String("--stress"))
            stress = true;
        else if (arg.startsWith(QLatin1String("--")) || !file.isEmpty())
            return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(arg));
        else
            file = arg;
    }
    if (file.isEmpty())
        return usageError(self, QStringLiteral("FILE is required."));
    const TARN::okstat status = stress ? DemoProject::createStress(file)
        : large                        ? DemoProject::createLarge(file)
                                       : DemoProject::createDemo(file);
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    out(QStringLiteral("Created %1").arg(file));
    // The demo opens with its results, as a planner's project would; the benchmark basins are
    // left for the benchmarks to compute.
    return stress || large ? 0 : recalc(file, true);
}

QList<CliCommand> projectCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("new"), QStringLiteral("Make a new, empty project file."),
        QStringLiteral("tarnhelm-cli new FILE --start YEAR --end YEAR [--description TEXT]"), {} });
    list.append({ QStringLiteral("check"),
        QStringLiteral(
            "Open a project file as the desktop program does and say whether it is valid."),
        QStringLiteral("tarnhelm-cli check FILE"), {} });
    list.append({ QStringLiteral("demo"),
        QStringLiteral("Make the demo project and compute its results; with --large the benchmark "
                       "basin, or with --stress the stress basin (ten times the benchmark's "
                       "results), both left uncomputed."),
        QStringLiteral("tarnhelm-cli demo [--large | --stress] FILE"), {} });
    list[0].run = [self = list[0]](const QStringList& a) { return runNew(self, a); };
    list[1].run = [self = list[1]](const QStringList& a) { return runCheck(self, a); };
    list[2].run = [self = list[2]](const QStringList& a) { return runDemo(self, a); };
    return list;
}

QList<CliCommand> commands()
{
    QList<CliCommand> list = projectCommands();
    list += calcCommands();
    list += exportCommands();
    list += checkCommands();
    list += explainCommands();
    list += diffCommands();
    return list;
}

} // namespace Cli
