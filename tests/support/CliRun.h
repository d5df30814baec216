#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// What the built command-line tool (TARNHELM_CLI) printed and how it exited; exitCode -1 when
// it crashed, hung for two minutes or was not built.
struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the built command-line tool as a user would.
inline CliResult runCli(const QStringList& args)
{
    CliResult result;
    const QString cli = qEnvironmentVariable("TARNHELM_CLI");
    if (cli.isEmpty())
        return result;
    QProcess process;
    process.start(cli, args);
    if (!process.waitForFinished(120000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
