#include "ProjectState.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "db/BaselineDAO.h"
#include "db/ProjectFile.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "support/CalcTestSupport.h"
#include "support/LockHolder.h"
#include "support/TestProject.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

// Writes that the file system or another process refuses: each is reported with SQLite's own
// message and leaves the project as it was.
class TestWriteFaults : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { resetDbManager(); }
    void diskFullDuringRecalc();
    void readOnly_data();
    void readOnly();
    void shortLockIsWaitedOut();
    void lastingLockIsReported();

private:
    static TARN::okstat saveDescription(const QString& description);
};

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// More water users with yearly data than the small basin has, so that their results need pages
// the file does not have yet.
QString moreWaterUsersSql()
{
    QString sql;
    for (int id = 10; id < 40; ++id) {
        sql += QStringLiteral("INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, "
                              "RiffleName, Ord) VALUES (%1, 1, 'User %1', 'User %1', %1);"
                              "INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, "
                              "Jun, Jul, Aug, Sep, Oct, Nov, Dec) VALUES (%1, 10, 10, 5, 5, 5, 5, "
                              "10, 10, 10, 10, 10, 10);")
                   .arg(id);
        for (int year = 2000; year <= 2003; ++year)
            sql += QStringLiteral("INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, "
                                  "EfficiencyRatio) VALUES (%1, %2, %3, 0.5);")
                       .arg(id)
                       .arg(year)
                       .arg(100 + id + year % 7);
    }
    return sql;
}

} // namespace

TARN::okstat TestWriteFaults::saveDescription(const QString& description)
{
    BaselineDAO* dao = TarnDbMgr::instance()->baselineDAO();
    Baseline baseline;
    const TARN::okstat read = dao->getBaseline(baseline);
    if (read.failed())
        return read;
    baseline.Description = description;
    return dao->saveBaseline(baseline);
}

void TestWriteFaults::diskFullDuringRecalc()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(smallBasinSql()).isOk());
    QVERIFY(project.openInManager().isOk());
    BaselineChangeLog full;
    full.setFullRecalculation();
    {
        BaselineDemandCalculator calculator;
        const CalcRun run = runCalculator(calculator, full);
        QVERIFY2(run.result.isOk(), qPrintable(run.result.text()));
    }
    const ProjectState::Digests before = ProjectState::results(project.path());
    QVERIFY(!before.isEmpty());
    const int rowsBefore
        = count(project, QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyWaterUser"));
    QVERIFY(rowsBefore > 0);

    QSqlDatabase& db = TarnDbMgr::instance()->database();
    QSqlQuery query(db);
    QVERIFY(ProjectFile::executeScript(db, moreWaterUsersSql()).isOk());
    // The file may not grow from here on: the new water users' results do not fit.
    QVERIFY(query.exec(QStringLiteral("PRAGMA page_count")) && query.next());
    const int pages = query.value(0).toInt();
    QVERIFY(query.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages)));

    {
        BaselineDemandCalculator calculator;
        const CalcRun run = runCalculator(calculator, full);
        QVERIFY(run.result.failed());
        QVERIFY2(run.result.text().startsWith(QLatin1String("Unable to compute: ")),
            qPrintable(run.result.text()));
        QVERIFY2(run.result.text().contains(QLatin1String("full")), qPrintable(run.result.text()));
        QCOMPARE(run.finishedCount, 1);
    }
    // Rolled back: the earlier results, and no transaction left open on the connection.
    QCOMPARE(ProjectState::results(project.path()), before);
    QCOMPARE(
        count(project, QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyWaterUser")), rowsBefore);
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    QVERIFY(db.rollback());
    QCOMPARE(ProjectState::integrity(project.path()), QStringLiteral("ok"));

    // With room again the same run goes through.
    QVERIFY(query.exec(QStringLiteral("PRAGMA max_page_count = 1073741823")));
    {
        BaselineDemandCalculator calculator;
        const CalcRun run = runCalculator(calculator, full);
        QVERIFY2(run.result.isOk(), qPrintable(run.result.text()));
    }
    QVERIFY(
        count(project, QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyWaterUser")) > rowsBefore);
}

void TestWriteFaults::readOnly_data()
{
    QTest::addColumn<bool>("folder");
    QTest::newRow("file") << false;
    QTest::newRow("folder") << true;
}

void TestWriteFaults::readOnly()
{
    QFETCH(bool, folder);
    RUN_AS_NOBODY_WHEN_ROOT();
    TestProject project(2000, 2003);
    QVERIFY(project.exec(smallBasinSql()).isOk());
    const QByteArray bytes = readAll(project.path());
    const QString target = folder ? project.dirPath() : project.path();
    const QFile::Permissions writable = QFile::permissions(target);
    QVERIFY(QFile::setPermissions(target,
        writable
            & ~(QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther)));

    const TARN::okstat opened = project.openInManager();
    QVERIFY2(opened.isOk(), qPrintable(opened.text()));
    Baseline baseline;
    QVERIFY(TarnDbMgr::instance()->baselineDAO()->getBaseline(baseline).isOk());
    QCOMPARE(baseline.StartYear, 2000);

    const TARN::okstat saved = saveDescription(QStringLiteral("changed"));
    QVERIFY(saved.failed());
    QVERIFY2(saved.text().contains(QLatin1String("readonly"))
            || saved.text().contains(QLatin1String("unable to open")),
        qPrintable(saved.text()));
    resetDbManager();
    QVERIFY(QFile::setPermissions(target, writable));
    QCOMPARE(readAll(project.path()), bytes);
}

void TestWriteFaults::shortLockIsWaitedOut()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        QSKIP("the sqlite3 shell is not installed");
    TestProject project(2000, 2003);
    QVERIFY(project.openInManager().isOk());
    LockHolder lock(project.path(), 1.0);
    QVERIFY(lock.started());
    QVERIFY(lock.waitUntilHeld(project.path()));
    const TARN::okstat saved = saveDescription(QStringLiteral("after the lock"));
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));
    QCOMPARE(project.scalar(QStringLiteral("SELECT Description FROM Baseline")).toString(),
        QStringLiteral("after the lock"));
}

void TestWriteFaults::lastingLockIsReported()
{
    if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        QSKIP("the sqlite3 shell is not installed");
    TestProject project(2000, 2003);
    QVERIFY(project.openInManager().isOk());
    const QString description
        = project.scalar(QStringLiteral("SELECT Description FROM Baseline")).toString();
    {
        LockHolder lock(project.path(), TarnDbMgr::BusyTimeoutMs / 1000.0 + 3);
        QVERIFY(lock.started());
        QVERIFY(lock.waitUntilHeld(project.path()));
        QElapsedTimer timer;
        timer.start();
        const TARN::okstat saved = saveDescription(QStringLiteral("during the lock"));
        QVERIFY(saved.failed());
        QVERIFY2(saved.text().contains(QLatin1String("locked")), qPrintable(saved.text()));
        QVERIFY(timer.elapsed() >= TarnDbMgr::BusyTimeoutMs - 500);
    }
    // Once the other process is done, the project holds its old text and can be written again.
    QCOMPARE(
        project.scalar(QStringLiteral("SELECT Description FROM Baseline")).toString(), description);
    resetDbManager();
    QVERIFY(project.openInManager().isOk());
    const TARN::okstat saved = saveDescription(QStringLiteral("after the lock"));
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));
}

QTEST_GUILESS_MAIN(TestWriteFaults)
#include "tst_writefaults.moc"
