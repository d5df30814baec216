#pragma once

#include <QCommandLineParser>
#include <QStringList>

struct CliCommand;

// One option of a command: "--name" alone (a switch) or "--name VALUE" / "--name=VALUE".
struct CliOption {
    QString name; // without the dashes
    QString valueName; // empty for a switch
    QString description; // for the help; each "\n" starts an indented line
    // Said when the value is missing; empty when the option is then an unexpected argument.
    QString missing = {};
};

// A command's arguments, read against its declared options.
class CliArgs {
public:
    // Reads args (those after the command name); false with problem set on a usage error. An
    // unknown option, or "--" itself, is an unexpected argument, as everything that starts with
    // two dashes is taken for an option.
    bool parse(const CliCommand& command, const QStringList& args, QString& problem);

    bool isSet(const QString& name) const { return _parser.isSet(name); }
    // The last value given (options given twice keep the later one), or every value.
    QString value(const QString& name) const { return _parser.value(name); }
    QStringList values(const QString& name) const { return _parser.values(name); }
    QStringList positional() const { return _parser.positionalArguments(); }

private:
    QCommandLineParser _parser;
};
