#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// What the fault tests compare before and after a fault: the stored results of a project file,
// as a digest per calculation (the baseline and each scenario are computed and committed one at
// a time), read on a private connection.
namespace ProjectState {

using Digests = QMap<QString, QByteArray>; // "baseline" or "scenario N" -> digest

Digests results(const QString& path, QString* error = nullptr);
QString integrity(const QString& path); // "ok" when SQLite finds nothing wrong

struct CliRun {
    bool crashed = true; // killed, crashed or timed out
    int exitCode = -1;
    QString out;
    QString err;
    qint64 elapsedMs = 0;
};
// Runs tarnhelm-cli (TARNHELM_CLI) with args and waits for it.
CliRun runCli(const QStringList& args, int timeoutMs = 300000);
QString cliPath();

} // namespace ProjectState
