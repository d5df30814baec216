#include "support/TestProject.h"

#include "db/AggDivDAO.h"
#include "db/ModelOps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

namespace {
const QString kNotProject
    = QStringLiteral("The selected database is not a properly structured TARN database.");
}

// Carries an okstat across threads the way calculators report their result.
class OkstatEmitter : public QObject {
    Q_OBJECT
signals:
    void finished(TARN::okstat status);
};

class TestDbMgr : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<TARN::okstat>("okstat"); }
    void cleanup() { resetDbManager(); }

    void okstatSemantics()
    {
        TARN::okstat ok;
        QVERIFY(ok.isOk());
        QCOMPARE(ok.text(), QStringLiteral("OK"));
        TARN::okstat bad(QStringLiteral("broken"));
        TARN::okstat copy = bad;
        bad = ok;
        QVERIFY(bad.isOk());
        QVERIFY(copy.failed());
        QCOMPARE(copy.text(), QStringLiteral("broken"));
    }

    void okstatThroughQueuedSignal()
    {
        OkstatEmitter emitter;
        QThread thread;
        emitter.moveToThread(&thread);
        TARN::okstat received;
        bool arrived = false;
        connect(
            &emitter, &OkstatEmitter::finished, this,
            [&](TARN::okstat status) {
                received = status;
                arrived = true;
            },
            Qt::QueuedConnection);
        thread.start();
        QMetaObject::invokeMethod(&emitter, [&emitter] {
            emit emitter.finished(TARN::okstat(QStringLiteral("Unable to compute: disk full")));
        });
        QTRY_VERIFY(arrived);
        thread.quit();
        thread.wait();
        QCOMPARE(received.text(), QStringLiteral("Unable to compute: disk full"));
    }

    void opensValidProject()
    {
        TestProject project;
        QVERIFY2(project.isValid(), qPrintable(project.error()));
        TarnDbMgr* mgr = TarnDbMgr::instance();
        const TARN::okstat status = mgr->openDatabase(project.path());
        QVERIFY2(status.isOk(), qPrintable(status.text()));
        QVERIFY(mgr->isValid());
        QVERIFY(mgr->aggDivDAO());
        QCOMPARE(mgr->path(), project.path());
        QSqlQuery fk(mgr->database());
        QVERIFY(fk.exec(QStringLiteral("PRAGMA foreign_keys")) && fk.next());
        QCOMPARE(fk.value(0).toInt(), 1);
        // Headers the structure check sets.
        QCOMPARE(mgr->aggDivDAO()->aggDivModel()->headerData(4, Qt::Horizontal).toString(),
            QStringLiteral("Riffle Name"));
        QCOMPARE(mgr->scenarioDAO()->scenarioModel()->headerData(6, Qt::Horizontal).toString(),
            QStringLiteral("Date Created"));
        QCOMPARE(
            mgr->waterUserDAO()->waterUserDataModel()->headerData(6, Qt::Horizontal).toString(),
            QStringLiteral("Salinity Pickup"));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("afterFailedBegin");
        // A begin that failed on an earlier project leaves its text on the connection; the
        // refusal must not show it.
        for (const bool stale : { false, true }) {
            const char* when = stale ? ", after a failed begin" : "";
            QTest::addRow("empty baseline%s", when)
                << QStringLiteral("DELETE FROM Baseline") << kNotProject << stale;
            QTest::addRow("no baseline table%s", when)
                << QStringLiteral("PRAGMA foreign_keys = OFF; DROP TABLE Baseline")
                << QStringLiteral("no such table: Baseline") << stale;
            QTest::addRow("no water user distribution%s", when)
                << QStringLiteral("DROP TABLE WaterUserDist") << kNotProject << stale;
            QTest::addRow("no demand selection%s", when)
                << QStringLiteral("DROP TABLE DemandSelection") << kNotProject << stale;
            QTest::addRow("no salinity method%s", when)
                << QStringLiteral("PRAGMA foreign_keys = OFF; DROP TABLE SalinityMethod")
                << kNotProject << stale;
            QTest::addRow("no plot curve members%s", when)
                << QStringLiteral("DROP TABLE PlotCurveWaterUser") << kNotProject << stale;
        }
    }

    void refusals()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        QFETCH(bool, afterFailedBegin);
        TarnDbMgr* mgr = TarnDbMgr::instance();
        TestProject earlier(2000, 2001, QStringLiteral("earlier"));
        if (afterFailedBegin) {
            QVERIFY(mgr->openDatabase(earlier.path()).isOk());
            QVERIFY(mgr->beginTransaction().isOk());
            QVERIFY(mgr->beginTransaction().failed());
            QVERIFY(mgr->database().rollback());
        }
        TestProject project;
        QVERIFY2(project.exec(sql).isOk(), "fixture statement failed");
        const TARN::okstat status = mgr->openDatabase(project.path());
        QVERIFY(status.failed());
        QVERIFY2(status.text().contains(expected), qPrintable(status.text()));
        QVERIFY(!mgr->isValid());
    }

    void refusesNonProjectFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("createFile");
        QTest::newRow("text file") << QByteArray("this is not a database\n") << true;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("missing file") << QByteArray() << false;
    }

    void refusesNonProjectFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, createFile);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("other.db"));
        if (createFile) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        const TARN::okstat status = TarnDbMgr::instance()->openDatabase(path);
        QVERIFY(status.failed());
        QVERIFY(!status.text().isEmpty());
        QVERIFY(!TarnDbMgr::instance()->isValid());
        // Opening never creates a file that was not there.
        QCOMPARE(QFile::exists(path), createFile);
    }

    void refusesFolder()
    {
        QTemporaryDir dir;
        const TARN::okstat status = TarnDbMgr::instance()->openDatabase(dir.path());
        QVERIFY(status.failed());
        QVERIFY(!TarnDbMgr::instance()->isValid());
    }

    void samePathTwiceKeepsAccessObjects()
    {
        TestProject project;
        TarnDbMgr* mgr = TarnDbMgr::instance();
        QVERIFY(mgr->openDatabase(project.path()).isOk());
        AggDivDAO* first = mgr->aggDivDAO();
        QVERIFY(mgr->openDatabase(project.path()).isOk());
        QCOMPARE(mgr->aggDivDAO(), first);
    }

    void refusedFileIsCheckedAgain()
    {
        TestProject project;
        QVERIFY(project.exec(QStringLiteral("DELETE FROM Baseline")).isOk());
        TarnDbMgr* mgr = TarnDbMgr::instance();
        QVERIFY(mgr->openDatabase(project.path()).failed());
        QVERIFY(
            project
                .exec(QStringLiteral(
                    "INSERT INTO Baseline (BaselineID, StartYear, EndYear) VALUES (1, 2000, 2001)"))
                .isOk());
        QVERIFY(mgr->openDatabase(project.path()).isOk());
        QVERIFY(mgr->isValid());
    }

    void secondFileReplacesFirst()
    {
        TestProject first(2000, 2001, QStringLiteral("first"));
        TestProject second(2000, 2001, QStringLiteral("second"));
        QVERIFY(first
                    .exec(QStringLiteral("INSERT INTO AggDiv (BaselineID, SalinityMethodID, "
                                         "SiteName) VALUES (1, 1, 'Upper')"))
                    .isOk());
        TarnDbMgr* mgr = TarnDbMgr::instance();
        QVERIFY(mgr->openDatabase(first.path()).isOk());
        QCOMPARE(mgr->aggDivDAO()->aggDivModel()->rowCount(), 1);
        QVERIFY(mgr->openDatabase(second.path()).isOk());
        QCOMPARE(mgr->path(), second.path());
        QCOMPARE(mgr->aggDivDAO()->aggDivModel()->rowCount(), 0);
        QCOMPARE(mgr->database().databaseName(), second.path());
    }

    void failedOpenAfterValidOneClearsValidity()
    {
        TestProject good;
        TarnDbMgr* mgr = TarnDbMgr::instance();
        QVERIFY(mgr->openDatabase(good.path()).isOk());
        QTemporaryDir dir;
        QVERIFY(mgr->openDatabase(dir.filePath(QStringLiteral("missing.db"))).failed());
        QVERIFY(!mgr->isValid());
        QVERIFY(!mgr->aggDivDAO());
    }

    void beginTransactionTwiceFails()
    {
        TestProject project;
        TarnDbMgr* mgr = TarnDbMgr::instance();
        QVERIFY(mgr->openDatabase(project.path()).isOk());
        QVERIFY(mgr->beginTransaction().isOk());
        const TARN::okstat second = mgr->beginTransaction();
        QVERIFY(second.failed());
        QVERIFY2(second.text().startsWith(QStringLiteral("Cannot begin the transaction: ")),
            qPrintable(second.text()));
        QVERIFY(mgr->database().rollback());
    }

    void nanIsStoredAsNull()
    {
        TestProject project;
        QVERIFY(
            project
                .exec(QStringLiteral(
                    "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName) VALUES (1, 1, 'A');"
                    "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName) VALUES (1, 1, "
                    "'W')"))
                .isOk());
        TarnDbMgr* mgr = TarnDbMgr::instance();
        QVERIFY(mgr->openDatabase(project.path()).isOk());
        QSqlQuery insert(mgr->database());
        insert.prepare(QStringLiteral("INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, "
                                      "DepletionReq) VALUES (1, 2000, :div, :dep)"));
        insert.bindValue(QStringLiteral(":div"), TARN::fromDouble(TARN::nan()));
        insert.bindValue(QStringLiteral(":dep"), TARN::fromDouble(12.5));
        QVERIFY(insert.exec());
        QCOMPARE(project
                     .scalar(QStringLiteral(
                         "SELECT COUNT(*) FROM WaterUserData WHERE DiversionReq IS NULL"))
                     .toInt(),
            1);
        QSqlQuery read(mgr->database());
        QVERIFY(read.exec(QStringLiteral("SELECT DiversionReq, DepletionReq FROM WaterUserData")));
        QVERIFY(read.next());
        QVERIFY(std::isnan(TARN::toDouble(read.value(0))));
        QCOMPARE(TARN::toDouble(read.value(1)), 12.5);
    }

    // A project file made by another tool: free column names differ and values may be stored as
    // integers, yet it opens and reads by position.
    void opensFileWithOtherColumnNames()
    {
        if (usesRenamedColumns())
            QSKIP("the whole test program runs on such a file in this variant");
        TestProject project;
        QVERIFY(
            project
                .exec(QStringLiteral("ALTER TABLE WaterUserDist RENAME COLUMN Jan TO January;"
                                     "ALTER TABLE SalinityMethod RENAME COLUMN Name TO MethodLabel;"
                                     "ALTER TABLE Baseline RENAME COLUMN Description TO Notes;"
                                     "ALTER TABLE DepletionChg RENAME COLUMN ChangeValue TO Amount;"
                                     "ALTER TABLE Plot RENAME COLUMN Description TO About"))
                .isOk());
        const TARN::okstat status = TarnDbMgr::instance()->openDatabase(project.path());
        QVERIFY2(status.isOk(), qPrintable(status.text()));
    }

    void busyTimeoutIsSet()
    {
        TestProject project;
        TarnDbMgr* mgr = TarnDbMgr::instance();
        QVERIFY(mgr->openDatabase(project.path()).isOk());
        QSqlQuery query(mgr->database());
        QVERIFY(query.exec(QStringLiteral("PRAGMA busy_timeout")) && query.next());
        QCOMPARE(query.value(0).toInt(), TarnDbMgr::BusyTimeoutMs);
    }
};

QTEST_GUILESS_MAIN(TestDbMgr)
#include "tst_dbmgr.moc"
