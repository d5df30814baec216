#include "ProjectState.h"

#include "db/ProjectFile.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace ProjectState {

namespace {

const char* const BaseTables[]
    = { "BaseYearlyAggDiv", "BaseMonthlyAggDiv", "BaseYearlyWaterUser", "BaseMonthlyWaterUser" };
const char* const ScenarioTables[] = { "ScenarioYearlyAggDiv", "ScenarioMonthlyAggDiv",
    "ScenarioYearlyWaterUser", "ScenarioMonthlyWaterUser" };

// The rows without their surrogate key (column 0), in a stable order: a recalculation that
// writes the same values under new IDs leaves the digest as it was.
bool addRows(QSqlDatabase& db, const QString& sql, QCryptographicHash& hash, QString* error)
{
    QSqlQuery query(db);
    if (!query.exec(sql)) {
        if (error)
            *error = query.lastError().text();
        return false;
    }
    QStringList rows;
    while (query.next()) {
        QStringList values;
        for (int i = 1; i < query.record().count(); ++i)
            values << query.value(i).toString();
        rows << values.join(QLatin1Char('|'));
    }
    rows.sort();
    hash.addData(rows.join(QLatin1Char('\n')).toUtf8());
    return true;
}

} // namespace

Digests results(const QString& path, QString* error)
{
    Digests digests;
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(path, &status);
    if (status.failed()) {
        if (error)
            *error = status.text();
        ProjectFile::closeConnection(db);
        return digests;
    }
    bool ok = true;
    QCryptographicHash base(QCryptographicHash::Sha1);
    for (const char* table : BaseTables)
        ok = ok
            && addRows(
                db, QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table)), base, error);
    digests.insert(QStringLiteral("baseline"), base.result());

    QSqlQuery scenarios(db);
    QList<int> ids;
    if (scenarios.exec(QStringLiteral("SELECT ScenarioID FROM Scenario ORDER BY ScenarioID"))) {
        while (scenarios.next())
            ids << scenarios.value(0).toInt();
    }
    for (const int id : qAsConst(ids)) {
        QCryptographicHash hash(QCryptographicHash::Sha1);
        for (const char* table : ScenarioTables)
            ok = ok
                && addRows(db,
                    QStringLiteral("SELECT * FROM %1 WHERE ScenarioID = %2")
                        .arg(QLatin1String(table))
                        .arg(id),
                    hash, error);
        digests.insert(QStringLiteral("scenario %1").arg(id), hash.result());
    }
    ProjectFile::closeConnection(db);
    if (!ok)
        digests.clear();
    return digests;
}

QString integrity(const QString& path)
{
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(path, &status);
    QString result = status.text();
    if (status.isOk()) {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next())
            result = query.value(0).toString();
        else
            result = query.lastError().text();
    }
    ProjectFile::closeConnection(db);
    return result;
}

QString cliPath()
{
    return qEnvironmentVariable("TARNHELM_CLI");
}

CliRun runCli(const QStringList& args, int timeoutMs)
{
    CliRun run;
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(cliPath(), args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.elapsedMs = timer.elapsed();
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace ProjectState
