#include "support/CalcTestSupport.h"
#include "support/LockHolder.h"
#include "support/TestProject.h"

#include "calc/EditStepEffect.h"
#include "db/EditSteps.h"
#include "db/ProjectFile.h"
#include "db/Savepoint.h"
#include "db/TarnDbMgr.h"

#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include <cstdio>

namespace {

QString scenarioSql()
{
    return QStringLiteral(
        "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES "
        "(1, 'Dry years', 'Dry');"
        "INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName) VALUES (1, 1, 'Growth');"
        "INSERT INTO DepletionChg (DemandChgID, Year, ChangeTypeID, ChangeValue) VALUES "
        "(1, 2002, 1, 10);"
        "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1), (1, 2);"
        "INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 2);"
        "INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES (1, 1, 'Upper');"
        "INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES (1, 1, 1);");
}

bool run(const QString& statements)
{
    for (QString statement : statements.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        // Inserts list columns by the program's names; other statements take testColumn's.
        if (statement.trimmed().startsWith(QLatin1String("INSERT")))
            statement = testSql(statement);
        QSqlQuery query(TarnDbMgr::instance()->database());
        if (!query.exec(statement)) {
            qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
            return false;
        }
    }
    return true;
}

// Runs sql on a connection of its own, as another program would.
bool execElsewhere(const QString& path, const QString& sql)
{
    TARN::okstat opened;
    QSqlDatabase other = ProjectFile::openConnection(path, &opened);
    bool done = opened.isOk();
    if (done) {
        QSqlQuery query(other);
        done = query.exec(sql.trimmed().startsWith(QLatin1String("INSERT")) ? testSql(sql) : sql);
    }
    const QString name = other.connectionName();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
    return done;
}

} // namespace

class TestEditSteps : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestProject> _project;

    void open()
    {
        _project = std::make_unique<TestProject>(2000, 2003);
        QVERIFY2(_project->exec(smallBasinSql() + scenarioSql()).isOk(), "basin");
        QVERIFY(_project->openInManager().isOk());
        // A plot of the scenario, which loses it when the scenario is deleted.
        QVERIFY(run(QStringLiteral("INSERT INTO Plot (PlotID, Name) VALUES (7, 'Loads');"
                                   "INSERT INTO PlotScenario (PlotID, ScenarioID) VALUES (7, 1)")));
        TarnDbMgr::instance()->setRecordingSteps(true);
    }

    // Saves statements as one step, as a dialog's OK does; the step's changeset.
    QByteArray save(const QString& statements)
    {
        TarnDbMgr* manager = TarnDbMgr::instance();
        QSignalSpy steps(manager, &TarnDbMgr::stepCommitted);
        if (manager->beginTransaction().failed() || !run(statements) || manager->commit().failed()
            || steps.count() != 1)
            return {};
        return steps.at(0).at(0).toByteArray();
    }

private slots:
    void initTestCase() { QVERIFY(TarnDbMgr::instance()); }
    void cleanup()
    {
        TarnDbMgr::instance()->setRecordingSteps(false);
        resetDbManager();
        _project.reset();
    }

    // A step taken back leaves every input table as before it, row for row, and made again as
    // after it; the step's name and what it asks to recompute follow from its rows.
    void undoAndRedo_data()
    {
        QTest::addColumn<QString>("statements");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("baseline");
        QTest::addColumn<QString>("recomputed");

        QTest::newRow("yearly value edited")
            << QStringLiteral("UPDATE WaterUserData SET %1 = 12.5 WHERE WaterUserID = 1 AND "
                              "Year = 2001")
                   .arg(testColumn(QStringLiteral("WaterUserData"), 4))
            << QStringLiteral("Baseline: water user \"Upper\" edited") << true
            << QStringLiteral("Water User 001.Upper was edited");
        // The cascade takes the water user's years, coefficients, attribute value and places in
        // demand changes: all of them come back.
        QTest::newRow("water user deleted")
            << QStringLiteral("DELETE FROM WaterUser WHERE WaterUserID = 2")
            << QStringLiteral("Baseline: water user \"Lower\" deleted; Scenario \"Dry years\": "
                              "demand change \"Growth\" edited")
            << true << QStringLiteral("Water User 002.Lower was added|scenario 1");
        QTest::newRow("site deleted with its water users")
            << QStringLiteral("DELETE FROM AggDiv WHERE AggDivID = 1")
            << QStringLiteral("Baseline: site \"North\" deleted, water user \"Upper\" deleted, "
                              "water user \"Lower\" deleted; Scenario \"Dry years\": demand "
                              "change \"Growth\" edited")
            << true
            << QStringLiteral(
                   "Water User 001.Upper was added|Water User 002.Lower was added|scenario 1");
        QTest::newRow("water user moved to another site")
            << QStringLiteral("UPDATE WaterUser SET AggDivID = 2 WHERE WaterUserID = 2")
            << QStringLiteral("Baseline: water user \"Lower\" moved") << true
            << QStringLiteral("Water User 002.Lower was edited");
        QTest::newRow("time range")
            << QStringLiteral("UPDATE Baseline SET StartYear = 2001;"
                              "DELETE FROM WaterUserData WHERE Year = 2000")
            << QStringLiteral("Baseline: time range changed, water user \"Upper\" edited, water "
                              "user \"Lower\" edited, 2 more")
            << true
            << QStringLiteral("Water User 001.Upper was edited|Water User 002.Lower was "
                              "edited|Water User 003.South User was edited|Water User 004.East "
                              "User was edited|everything");
        // The dialog renumbers the lists when it saves: the planner's edit still leads.
        QTest::newRow("edit with the sites renumbered")
            << QStringLiteral("UPDATE AggDiv SET %1 = %1 + 10;"
                              "UPDATE WaterUserData SET %2 = 12.5 WHERE WaterUserID = 1 AND "
                              "Year = 2001")
                   .arg(testColumn(QStringLiteral("AggDiv"), 6),
                       testColumn(QStringLiteral("WaterUserData"), 4))
            << QStringLiteral("Baseline: water user \"Upper\" edited, order of sites changed")
            << true << QStringLiteral("Water User 001.Upper was edited");
        // What the planner did leads, what went along with it follows.
        QTest::newRow("scenario deleted from a plot")
            << QStringLiteral("DELETE FROM Scenario WHERE ScenarioID = 1")
            << QStringLiteral("Scenario \"Dry years\" deleted; Plot \"Loads\": scenarios edited")
            << false << QStringLiteral("scenario 1");
        // A scenario's or plot's own edits lead its part; the dates of the save go unnamed.
        QTest::newRow("scenario renamed with a change's value")
            << QStringLiteral("UPDATE Scenario SET %1 = 'Drier', %2 = 'Less snow', %3 = "
                              "'2026-12-10' WHERE ScenarioID = 1;"
                              "UPDATE DepletionChg SET %4 = 20 WHERE DemandChgID = 1")
                   .arg(testColumn(QStringLiteral("Scenario"), 2),
                       testColumn(QStringLiteral("Scenario"), 4),
                       testColumn(QStringLiteral("Scenario"), 7),
                       testColumn(QStringLiteral("DepletionChg"), 4))
            << QStringLiteral("Scenario \"Drier\": renamed from \"Dry years\", description "
                              "changed, demand change \"Growth\" edited")
            << false << QStringLiteral("scenario 1");
        QTest::newRow("plot renamed")
            << QStringLiteral("UPDATE Plot SET %1 = 'Flows' WHERE PlotID = 7")
                   .arg(testColumn(QStringLiteral("Plot"), 1))
            << QStringLiteral("Plot \"Flows\": renamed from \"Loads\"") << false << QString();
        QTest::newRow("scenario added") << QStringLiteral(
            "INSERT INTO Scenario (ScenarioID, ScenarioName) VALUES (2, 'Wet');"
            "INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName) VALUES (2, 2, "
            "'Cut');"
            "INSERT INTO EfficiencyChg (DemandChgID, Year, ChangeTypeID, ChangeValue) "
            "VALUES (2, 2001, 3, 0.6)") << QStringLiteral("Scenario \"Wet\" added")
                                        << false << QString();
        QTest::newRow("plot added")
            << QStringLiteral("INSERT INTO Plot (PlotID, Name) VALUES (1, 'Totals');"
                              "INSERT INTO PlotCurve (PlotID, Name) VALUES (1, 'All')")
            << QStringLiteral("Plot \"Totals\" added") << false << QString();
    }

    void undoAndRedo()
    {
        QFETCH(QString, statements);
        QFETCH(QString, name);
        QFETCH(bool, baseline);
        QFETCH(QString, recomputed);
        open();
        const QStringList start = dumpInputTables();
        const QByteArray step = save(statements);
        QVERIFY(!step.isEmpty());
        const QStringList end = dumpInputTables();
        QVERIFY(end != start);

        QList<EditSteps::RowChange> rows;
        QVERIFY(EditSteps::readChanges(step, rows).isOk());
        const EditStepEffect effect = EditStepEffect::of(rows, TarnDbMgr::instance()->database());
        QCOMPARE(effect.text, name);
        QCOMPARE(effect.touchesBaseline, baseline);

        QByteArray inverse;
        QVERIFY(EditSteps::invert(step, inverse).isOk());
        QSignalSpy recorded(TarnDbMgr::instance(), &TarnDbMgr::stepCommitted);
        QVERIFY(TarnDbMgr::instance()->applyStep(inverse).isOk());
        QCOMPARE(dumpInputTables(), start);

        // What the undo asks to recompute, read with the file as the undo left it.
        QVERIFY(EditSteps::readChanges(inverse, rows).isOk());
        const EditStepEffect back = EditStepEffect::of(rows, TarnDbMgr::instance()->database());
        QStringList asked;
        if (back.baseline.fullRecalculation())
            asked << QStringLiteral("everything");
        for (const BaselineChangeLog::Entry& entry : back.baseline.waterUserEntries())
            asked << entry.text();
        for (const int scenario : back.scenarios)
            asked << QStringLiteral("scenario %1").arg(scenario);
        asked.sort();
        QCOMPARE(asked.join(QLatin1Char('|')), recomputed);

        QVERIFY(TarnDbMgr::instance()->applyStep(step).isOk());
        QCOMPARE(dumpInputTables(), end);
        // Applying steps records none of its own.
        QCOMPARE(recorded.count(), 0);
    }

    // A step whose rows another program changed since is refused whole, and nothing changes.
    void refusedWhenRowsChangedSince_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("meanwhile");

        const QString depletion = testColumn(QStringLiteral("WaterUserData"), 4);
        QTest::newRow("value edited since")
            << QStringLiteral("UPDATE WaterUserData SET %1 = 12.5 WHERE WaterUserID = 1 AND "
                              "Year = 2001;DELETE FROM WaterUser WHERE WaterUserID = 4")
                   .arg(depletion)
            << QStringLiteral("UPDATE WaterUserData SET %1 = 99 WHERE WaterUserID = 1 AND "
                              "Year = 2001")
                   .arg(depletion);
        QTest::newRow("row deleted since")
            << QStringLiteral("UPDATE AggDiv SET Ord = 9 WHERE AggDivID = 4;"
                              "INSERT INTO Plot (PlotID, Name) VALUES (5, 'New')")
            << QStringLiteral("DELETE FROM Plot WHERE PlotID = 5");
        QTest::newRow("key taken since")
            << QStringLiteral("DELETE FROM DemandChgWaterUser WHERE WaterUserID = 2")
            << QStringLiteral("INSERT INTO DemandChgWaterUser (DemandChgWaterUserID, "
                              "DemandChgID, WaterUserID) VALUES (2, 1, 3)");
    }

    void refusedWhenRowsChangedSince()
    {
        QFETCH(QString, step);
        QFETCH(QString, meanwhile);
        open();
        const QByteArray saved = save(step);
        QVERIFY(!saved.isEmpty());
        QByteArray inverse;
        QVERIFY(EditSteps::invert(saved, inverse).isOk());
        QVERIFY(execElsewhere(_project->path(), meanwhile)); // another connection
        const QStringList before = dumpInputTables();

        const TARN::okstat undone = TarnDbMgr::instance()->applyStep(inverse);
        QVERIFY(undone.failed());
        QVERIFY2(undone.text().contains(QLatin1String("since")), qPrintable(undone.text()));
        QCOMPARE(dumpInputTables(), before);
        QVERIFY(!TarnDbMgr::instance()->inTransaction());
    }

    // While another program holds the file, applying a step fails whole and leaves no
    // transaction open; once the file is free, the same step applies.
    void lockedFileRefusesThenRetryApplies()
    {
        open();
        const QStringList start = dumpInputTables();
        const QByteArray saved = save(QStringLiteral("DELETE FROM AggDiv WHERE AggDivID = 2"));
        QVERIFY(!saved.isEmpty());
        const QStringList end = dumpInputTables();
        QByteArray inverse;
        QVERIFY(EditSteps::invert(saved, inverse).isOk());
        {
            LockHolder holder(_project->path(), TarnDbMgr::BusyTimeoutMs / 1000.0 + 1.5);
            QVERIFY(holder.started());
            QVERIFY(holder.waitUntilHeld(_project->path()));
            const TARN::okstat refused = TarnDbMgr::instance()->applyStep(inverse);
            QVERIFY(refused.failed());
            QVERIFY2(refused.text().contains(QLatin1String("locked")), qPrintable(refused.text()));
            QVERIFY(!TarnDbMgr::instance()->inTransaction());
        }
        QCOMPARE(dumpInputTables(), end);
        QVERIFY(TarnDbMgr::instance()->applyStep(inverse).isOk());
        QCOMPARE(dumpInputTables(), start);
    }

    // A file renamed over the project (a copy put back, another tool's save) is refused: the
    // connection would write to the file that is gone.
    void replacedFileIsRefused()
    {
        open();
        const QByteArray saved = save(QStringLiteral("DELETE FROM AggDiv WHERE AggDivID = 4"));
        QVERIFY(!saved.isEmpty());
        QByteArray inverse;
        QVERIFY(EditSteps::invert(saved, inverse).isOk());
        const QString copy = _project->path() + QStringLiteral(".copy");
        QVERIFY(QFile::copy(_project->path(), copy));
        QVERIFY(::rename(QFile::encodeName(copy).constData(),
                    QFile::encodeName(_project->path()).constData())
            == 0);
        const TARN::okstat refused = TarnDbMgr::instance()->applyStep(inverse);
        QVERIFY2(refused.text().contains(QLatin1String("replaced")), qPrintable(refused.text()));
        QVERIFY(!TarnDbMgr::instance()->inTransaction());
    }

    // Only a commit that changed input rows is a step: the net change, whatever savepoints were
    // rolled back on the way; a rollback, a calculation's transaction or one that wrote no input
    // row is none.
    void onlyCommittedInputChangesAreSteps()
    {
        open();
        TarnDbMgr* manager = TarnDbMgr::instance();
        QSignalSpy steps(manager, &TarnDbMgr::stepCommitted);
        const QString depletion = testColumn(QStringLiteral("WaterUserData"), 4);

        QVERIFY(manager->beginTransaction().isOk());
        QVERIFY(run(QStringLiteral("DELETE FROM WaterUser WHERE WaterUserID = 1")));
        QVERIFY(manager->rollback().isOk());
        QVERIFY(manager->beginTransaction(TarnDbMgr::Step::NotRecorded).isOk());
        QVERIFY(run(QStringLiteral("DELETE FROM Plot")));
        QVERIFY(manager->commit().isOk());
        QCOMPARE(steps.count(), 0);

        QVERIFY(manager->beginTransaction().isOk());
        QVERIFY(run(QStringLiteral("UPDATE WaterUserData SET %1 = 7 WHERE WaterUserID = 3")
                        .arg(depletion)));
        QVERIFY(Savepoint::begin(manager->database(), QStringLiteral("import")).isOk());
        QVERIFY(run(QStringLiteral("DELETE FROM AggDiv WHERE AggDivID = 2")));
        QVERIFY(Savepoint::rollbackTo(manager->database(), QStringLiteral("import")).isOk());
        QVERIFY(manager->commit().isOk());
        QCOMPARE(steps.count(), 1);
        QList<EditSteps::RowChange> rows;
        QVERIFY(EditSteps::readChanges(steps.at(0).at(0).toByteArray(), rows).isOk());
        QCOMPARE(rows.size(), 4); // the four years of water user 3, nothing of the site
        for (const EditSteps::RowChange& row : qAsConst(rows))
            QCOMPARE(row.table, QStringLiteral("WaterUserData"));

        // Values that end as they began make no step; nor does a transaction left open.
        QVERIFY(manager->beginTransaction().isOk());
        QVERIFY(
            run(QStringLiteral("UPDATE AggDiv SET Ord = Ord + 1;UPDATE AggDiv SET Ord = Ord - 1")));
        QVERIFY(manager->commit().isOk());
        QCOMPARE(steps.count(), 1);
        QVERIFY(manager->beginTransaction().isOk());
        QVERIFY(manager->applyStep(QByteArray()).failed());
        QVERIFY(manager->rollback().isOk());
    }
};

QTEST_GUILESS_MAIN(TestEditSteps)
#include "tst_editsteps.moc"
