#pragma once

#include <QStringList>

#include <functional>

// One subcommand of tarnhelm-cli: its name, a one-line summary, its usage text and the function
// that runs it with the arguments after the command name. Exit status: 0 success, 1 failure,
// 2 usage error.
struct CliCommand {
    QString name;
    QString summary;
    QString usage;
    std::function<int(const QStringList& args)> run;
};

namespace Cli {

// Every command the tool knows, in the order the help lists them.
QList<CliCommand> commands();

// Messages to standard output and standard error.
void out(const QString& text);
void err(const QString& text);

// Prints the command's usage to standard error and returns 2.
int usageError(const CliCommand& command, const QString& problem);

// Opens file as the project through the manager; on failure prints "Unable to open FILE: reason"
// and returns false. The manager is the caller's to delete.
bool openProjectOrSay(const QString& file);

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

} // namespace Cli
