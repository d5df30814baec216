#include "cli/CliCommands.h"

#include "db/ProjectCheck.h"
#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"
#include "demo/DemoProject.h"

#include <QTextStream>

#include <algorithm>
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

namespace {

// "  --name VALUE  description", the descriptions in one column.
QString optionTable(const QList<CliOption>& options)
{
    QStringList heads;
    int width = 0;
    for (const CliOption& option : options) {
        heads.append(QStringLiteral("--") + option.name
            + (option.valueName.isEmpty() ? QString() : QLatin1Char(' ') + option.valueName));
        width = std::max(width, int(heads.last().size()));
    }
    const QString indent = QStringLiteral("\n") + QString(width + 4, QLatin1Char(' '));
    QStringList lines;
    for (int i = 0; i < options.size(); ++i) {
        QString description = options.at(i).description;
        lines.append(QStringLiteral("  ") + heads.at(i).leftJustified(width) + QStringLiteral("  ")
            + description.replace(QLatin1Char('\n'), indent));
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QString usage(const CliCommand& command)
{
    if (command.notes.isEmpty())
        return command.synopsis;
    return QStringLiteral("%1\n\n%2\n\n%3\n\n%4")
        .arg(command.synopsis, command.notes, optionTable(command.options), command.footer);
}

QString help(const CliCommand& command)
{
    QString text = QStringLiteral("Usage: %1\n\n%2").arg(usage(command), command.summary);
    if (command.notes.isEmpty() && !command.options.isEmpty())
        text += QStringLiteral("\n\nOptions:\n") + optionTable(command.options);
    return text;
}

int usageError(const CliCommand& command, const QString& problem)
{
    err(QStringLiteral("%1\nUsage: %2").arg(problem, usage(command)));
    return 2;
}

int run(const CliCommand& command, const QStringList& args)
{
    CliArgs parsed;
    QString problem;
    if (!parsed.parse(command, args, problem))
        return usageError(command, problem);
    return command.run(command, parsed);
}

// Whether the project opened; says why not.
static bool openedOrSay(const QString& file, const TARN::okstat& opened)
{
    if (opened.isOk())
        return true;
    err(QStringLiteral("Unable to open %1: %2").arg(file, opened.text()));
    return false;
}

bool openProjectOrSay(const QString& file)
{
    return openedOrSay(file, TarnDbMgr::instance()->openDatabase(file));
}

bool openProjectReadOnlyOrSay(const QString& file)
{
    return openedOrSay(file, TarnDbMgr::instance()->openDatabaseReadOnly(file));
}

bool parseInt(const QString& text, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok;
}

static int runNew(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    if (files.size() > 1)
        return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(files.at(1)));
    int start = 0;
    int end = 0;
    if (args.isSet(QStringLiteral("start"))
        && !parseInt(args.value(QStringLiteral("start")), start))
        return usageError(self, QStringLiteral("--start needs a year."));
    if (args.isSet(QStringLiteral("end")) && !parseInt(args.value(QStringLiteral("end")), end))
        return usageError(self, QStringLiteral("--end needs a year."));
    if (files.isEmpty() || !args.isSet(QStringLiteral("start"))
        || !args.isSet(QStringLiteral("end")))
        return usageError(self, QStringLiteral("FILE, --start and --end are required."));
    const QString& file = files.first();
    const TARN::okstat status
        = ProjectFile::create(file, start, end, args.value(QStringLiteral("description")));
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    out(QStringLiteral("Created %1").arg(file));
    return 0;
}

static int runCheck(const CliCommand& self, const CliArgs& args)
{
    if (args.positional().size() != 1)
        return usageError(self, QStringLiteral("One project FILE is required."));
    TarnDbMgr* mgr = TarnDbMgr::instance();
    TARN::okstat status = mgr->openDatabase(args.positional().first());
    const bool opened = status.isOk();
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
        return opened ? 1 : CannotOpen;
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

static int runDemo(const CliCommand& self, const CliArgs& args)
{
    const bool large = args.isSet(QStringLiteral("large"));
    const bool stress = args.isSet(QStringLiteral("stress"));
    const QStringList files = args.positional();
    if (files.size() > 1)
        return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(files.at(1)));
    if (files.isEmpty())
        return usageError(self, QStringLiteral("FILE is required."));
    const QString& file = files.first();
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
        QStringLiteral("tarnhelm-cli new FILE --start YEAR --end YEAR [--description TEXT]"),
        { { QStringLiteral("start"), QStringLiteral("YEAR"),
              QStringLiteral("the first year of the project's time range") },
            { QStringLiteral("end"), QStringLiteral("YEAR"),
                QStringLiteral("the last year of the project's time range") },
            { QStringLiteral("description"), QStringLiteral("TEXT"),
                QStringLiteral("the baseline's description") } },
        {}, {}, &runNew });
    list.append({ QStringLiteral("check"),
        QStringLiteral(
            "Open a project file as the desktop program does and say whether it is valid."),
        QStringLiteral("tarnhelm-cli check FILE"), {}, {}, {}, &runCheck });
    list.append({ QStringLiteral("demo"),
        QStringLiteral("Make the demo project and compute its results; with --large the benchmark "
                       "basin, or with --stress the stress basin (ten times the benchmark's "
                       "results), both left uncomputed."),
        QStringLiteral("tarnhelm-cli demo [--large | --stress] FILE"),
        { { QStringLiteral("large"), {}, QStringLiteral("the benchmark basin, left uncomputed") },
            { QStringLiteral("stress"), {},
                QStringLiteral("the stress basin (ten times the benchmark's results), left "
                               "uncomputed") } },
        {}, {}, &runDemo });
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
    list += inputsCommands();
    list += ensembleCommands();
    return list;
}

} // namespace Cli
