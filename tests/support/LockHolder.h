#pragma once

#include "db/ProjectFile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <QString>
#include <QtTest>

// Holds the project file's write lock from another process (the sqlite3 shell) for a while.
// An exclusive lock keeps readers out too; an immediate one (the reserved lock) only other
// writers, which is all another process can take while this one reads inside a transaction.
class LockHolder {
public:
    enum Kind { Exclusive, Immediate };
    LockHolder(const QString& path, double seconds, Kind kind = Exclusive)
    {
        _process.start(QStringLiteral("sqlite3"), { path });
        _process.write(
            QStringLiteral("BEGIN %1;\nSELECT 1 FROM Baseline;\n.system sleep %2\n"
                           "COMMIT;\n.quit\n")
                .arg(kind == Exclusive ? QStringLiteral("EXCLUSIVE") : QStringLiteral("IMMEDIATE"))
                .arg(seconds)
                .toUtf8());
        _process.closeWriteChannel();
    }
    ~LockHolder() { _process.waitForFinished(30000); }
    bool started() { return _process.waitForStarted(); }
    // Waits until another connection can no longer take the write lock.
    bool waitUntilHeld(const QString& path)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 10000) {
            TARN::okstat status;
            QSqlDatabase db = ProjectFile::openConnection(path, &status);
            bool held = false;
            if (status.isOk()) {
                QSqlQuery query(db);
                query.exec(QStringLiteral("PRAGMA busy_timeout = 0"));
                held = !query.exec(QStringLiteral("BEGIN IMMEDIATE"));
                if (!held)
                    query.exec(QStringLiteral("ROLLBACK"));
            }
            ProjectFile::closeConnection(db);
            if (held)
                return true;
            QTest::qWait(20);
        }
        return false;
    }

private:
    QProcess _process;
};
