#include "cli/CliCommands.h"

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"
#include "ensemble/charts/FanChart.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <memory>

static int printHelp()
{
    QString text = QStringLiteral("Usage: tarnhelm-cli COMMAND [ARGS]...\n\n"
                                  "Batch work on Tarnhelm project files.\n\nCommands:\n");
    const auto commands = Cli::commands();
    int width = 0;
    for (const CliCommand& command : commands)
        width = std::max(width, int(command.name.size()));
    for (const CliCommand& command : commands)
        text
            += QStringLiteral("  %1  %2\n").arg(command.name.leftJustified(width), command.summary);
    text += QStringLiteral("\nRun 'tarnhelm-cli COMMAND --help' for a command's options.");
    Cli::out(text);
    return 0;
}

int main(int argc, char** argv)
{
    qRegisterMetaType<TARN::okstat>("okstat");
    qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
    // Fan charts are drawn on widgets: only the command that draws them starts the application
    // object they need.
    bool charts = argc > 2 && std::strcmp(argv[1], "ensemble") == 0
        && std::strcmp(argv[2], "summarize") == 0;
    bool png = false;
    for (int i = 3; charts && i < argc; ++i)
        png = png || std::strncmp(argv[i], "--png", 5) == 0;
    charts = charts && png;
    const std::unique_ptr<QCoreApplication> app = charts
        ? FanChart::makeApplication(argc, argv)
        : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnhelm-cli"));

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        Cli::err(QStringLiteral("Usage: tarnhelm-cli COMMAND [ARGS]...  (try --help)"));
        return 2;
    }
    QString name = args.takeFirst();
    // "ensemble plan", "ensemble run", ...: a command of two words.
    if (name == QLatin1String("ensemble") && !args.isEmpty()
        && !args.first().startsWith(QLatin1Char('-')))
        name += QLatin1Char(' ') + args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h")
        || name == QLatin1String("help"))
        return printHelp();

    const auto commands = Cli::commands();
    for (const CliCommand& command : commands) {
        if (command.name != name)
            continue;
        if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
            Cli::out(Cli::help(command));
            return 0;
        }
        return Cli::run(command, args);
    }
    if (name == QLatin1String("ensemble")) {
        // "ensemble --help" lists the subcommands; "ensemble" alone is a usage error.
        const bool help
            = args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
        QString text = QStringLiteral("Usage: tarnhelm-cli ensemble plan|run|summarize|materialize "
                                      "[ARGS]...\n\nCommands:\n");
        for (const CliCommand& command : commands)
            if (command.name.startsWith(QLatin1String("ensemble ")))
                text += QStringLiteral("  %1  %2\n")
                            .arg(command.name.leftJustified(20), command.summary);
        text += QStringLiteral("\nRun 'tarnhelm-cli ensemble SUBCOMMAND --help' for its options.");
        if (help) {
            Cli::out(text);
            return 0;
        }
        Cli::err(text);
        return 2;
    }
    Cli::err(QStringLiteral("Unknown command \"%1\". Try 'tarnhelm-cli --help'.").arg(name));
    return 2;
}
