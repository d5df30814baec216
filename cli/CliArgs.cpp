#include "cli/CliArgs.h"
#include "cli/CliCommands.h"

namespace {

const CliOption* findOption(const CliCommand& command, const QString& name)
{
    for (const CliOption& option : command.options) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

QString unexpected(const QString& arg)
{
    return QStringLiteral("Unexpected argument \"%1\".").arg(arg);
}

} // namespace

bool CliArgs::parse(const CliCommand& command, const QStringList& args, QString& problem)
{
    // The first problem in argument order is the one reported, in the tool's own words. The
    // options go to the parser ahead of a "--" and the rest after it, so that a file whose name
    // starts with a dash stays a file, as it always was.
    QStringList options { command.name };
    QStringList positional { QStringLiteral("--") };
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (!arg.startsWith(QLatin1String("--"))) {
            positional.append(arg);
            continue;
        }
        const int equals = arg.indexOf(QLatin1Char('='));
        const QString name = arg.mid(2, equals < 0 ? -1 : equals - 2);
        const CliOption* option = findOption(command, name);
        if (!option || (option->valueName.isEmpty() && equals >= 0)) {
            problem = unexpected(arg);
            return false;
        }
        options.append(arg);
        if (option->valueName.isEmpty() || equals >= 0)
            continue;
        if (i + 1 >= args.size()) {
            problem = option->missing.isEmpty() ? unexpected(arg) : option->missing;
            return false;
        }
        options.append(args.at(++i));
    }

    _parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const CliOption& option : command.options)
        _parser.addOption(
            QCommandLineOption(QStringList { option.name }, option.description, option.valueName));
    if (_parser.parse(options + positional))
        return true;
    problem = _parser.errorText(); // not reached: every option was checked above
    return false;
}
