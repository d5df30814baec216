#pragma once

#include "cli/CliArgs.h"

#include <QStringList>

#include <functional>

// One subcommand of tarnhelm-cli: its name, a one-line summary, its usage line(s), the options it
// takes and the function that runs it with its parsed arguments. Exit status: 0 success, 1
// failure (Cli::CannotOpen among them), 2 usage error.
struct CliCommand {
    QString name;
    QString summary;
    QString synopsis;
    QList<CliOption> options;
    // With notes, the usage text itself explains the options: notes, the option table, footer.
    QString notes = {};
    QString footer = {};
    std::function<int(const CliCommand& self, const CliArgs& args)> run = {};
};

namespace Cli {

// The exit status of every command that cannot open the project file it was given.
constexpr int CannotOpen = 1;

// Every command the tool knows, in the order the help lists them.
QList<CliCommand> commands();

// Messages to standard output and standard error.
void out(const QString& text);
void err(const QString& text);

// The command's usage text (without "Usage: ") and its --help text, made from its options.
QString usage(const CliCommand& command);
QString help(const CliCommand& command);

// Prints the command's usage to standard error and returns 2.
int usageError(const CliCommand& command, const QString& problem);

// Parses args against the command's options and runs it; a usage error returns 2.
int run(const CliCommand& command, const QStringList& args);

// Opens file as the project through the manager; on failure prints "Unable to open FILE: reason"
// and returns false (the caller exits with CannotOpen). The manager is the caller's to delete.
bool openProjectOrSay(const QString& file);
// The same for reading only: the project file is not written.
bool openProjectReadOnlyOrSay(const QString& file);

// Computes the baseline and then the scenarios (all when scenarioIDs is empty) of file; with full
// every result, otherwise only what has none stored. Returns the exit status.
int recalc(const QString& file, bool full, const QList<int>& scenarioIDs = {});

// Parses an integer option value; false when it is not a whole number.
bool parseInt(const QString& text, int& value);

// Commands contributed by the other source files of the tool.
QList<CliCommand> projectCommands();
QList<CliCommand> calcCommands();
QList<CliCommand> exportCommands();
QList<CliCommand> checkCommands();
QList<CliCommand> explainCommands();
QList<CliCommand> diffCommands();
QList<CliCommand> inputsCommands();
QList<CliCommand> ensembleCommands();
CliCommand ensembleSummaryCommand();

} // namespace Cli
