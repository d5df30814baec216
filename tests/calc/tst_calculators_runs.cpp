#include "CalculatorsFixture.h"

class TestCalculatorsRuns : public CalculatorsFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void writesOnlyWhatChanged_data();
    void writesOnlyWhatChanged();
    void keyThatNamesNoSingleRowFails();
    void projectCheckSameOnAnyNumberOfThreads();
    void failureRollsBackWholeRun_data();
    void failureRollsBackWholeRun();
    void oneSiteCalculator();
    void oneWaterUserCalculator();
    void missingWaterUserFails();
    void runInsideCallersTransaction();
};

void TestCalculatorsRuns::init()
{
    resetDbManager();
    _project = std::make_unique<TestProject>(2000, 2003);
    QVERIFY(_project->isValid());
}

void TestCalculatorsRuns::cleanup()
{
    resetDbManager();
    _project.reset();
}

void TestCalculatorsRuns::writesOnlyWhatChanged_data()
{
    QTest::addColumn<bool>("direct");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("expectedWrites");

    // Through the connection's SQLite handle, and through QSqlQuery where that is not sound.
    for (const bool direct : { true, false }) {
        const char* path = direct ? "direct" : "QSqlQuery";
        QTest::addRow("up to date, %s", path) << direct << QString() << 0;
        // One yearly row and the year's twelve monthly rows of one water user; its site's
        // salinity (a mass method) does not move.
        QTest::addRow("one input edited, %s", path)
            << direct
            << QStringLiteral("UPDATE WaterUserData SET DiversionReq = 200 WHERE WaterUserID = 2 "
                              "AND Year = 2001")
            << 13;
        // Rows a delete-and-insert would not leave behind: a year outside the run, a second row
        // of a year, a month key of another spelling, a value that is text.
        QTest::addRow("stray rows, %s", path)
            << direct
            << QStringLiteral(
                   "INSERT INTO BaseYearlyWaterUser (BaselineID, WaterUserID, Year, "
                   "DepletionValue) "
                   "VALUES (1, 1, 1990, 5), (1, 1, 2001, 20);"
                   "INSERT INTO BaseMonthlyWaterUser (BaselineID, WaterUserID, Month) VALUES "
                   "(1, 1, '2001-1-01');"
                   "UPDATE BaseMonthlyAggDiv SET AggDivSalinityValue = 'x' WHERE AggDivID = 2 AND "
                   "Month = '2002-05-01'")
            << 4;
    }
}

void TestCalculatorsRuns::writesOnlyWhatChanged()
{
    QFETCH(bool, direct);
    QFETCH(QString, change);
    QFETCH(int, expectedWrites);
    TARN::setDirectSqliteEnabled(direct);
    const auto restore = qScopeGuard([] { TARN::setDirectSqliteEnabled(true); });

    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    if (!change.isEmpty())
        QVERIFY(_project->exec(change).isOk());

    const quint32 counterBefore = changeCounter(_project->path());
    BaselineDemandCalculator calculator;
    const CalcRun run = runCalculator(calculator, fullLog());
    QVERIFY2(run.result.isOk(), qPrintable(run.result.text()));
    QCOMPARE(calculator.writtenRows(), qint64(expectedWrites));
    if (expectedWrites == 0)
        QCOMPARE(changeCounter(_project->path()), counterBefore);

    // The tables hold exactly what computing every row afresh stores.
    const QStringList kept = baselineResultRows(*_project);
    QVERIFY(_project
                ->exec(QStringLiteral("DELETE FROM BaseYearlyAggDiv; DELETE FROM BaseMonthlyAggDiv;"
                                      "DELETE FROM BaseYearlyWaterUser; DELETE FROM "
                                      "BaseMonthlyWaterUser"))
                .isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QCOMPARE(kept, baselineResultRows(*_project));
}

// Stored rows are rewritten by their key: a table whose keys do not tell its rows apart must
// fail the run, not keep stale rows.
void TestCalculatorsRuns::keyThatNamesNoSingleRowFails()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    const QString key = TarnDbMgr::instance()->columns().at(TN::BaseYearlyWaterUserTable, TP::Key);
    QSqlQuery query(TarnDbMgr::instance()->database());
    for (const QString& sql :
        { QStringLiteral("CREATE TABLE Copy AS SELECT * FROM BaseYearlyWaterUser"),
            QStringLiteral("DROP TABLE BaseYearlyWaterUser"),
            QStringLiteral("ALTER TABLE Copy RENAME TO BaseYearlyWaterUser"),
            QStringLiteral("UPDATE BaseYearlyWaterUser SET %1 = 7").arg(key),
            QStringLiteral("UPDATE WaterUserData SET DiversionReq = 200 WHERE WaterUserID = 2 AND "
                           "Year = 2001") })
        QVERIFY2(query.exec(testSql(sql)), qPrintable(query.lastError().text()));
    const TARN::okstat result = runBaseline(fullLog()).result;
    QVERIFY(result.failed());
    QVERIFY2(result.text().contains(QStringLiteral("does not name exactly one row")),
        qPrintable(result.text()));
}

// The check spreads the sites over threads with connections of their own; what it finds must not
// depend on how.
void TestCalculatorsRuns::projectCheckSameOnAnyNumberOfThreads()
{
    resetDbManager();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(path).isOk());
    QVERIFY(TarnDbMgr::instance()->openDatabase(path).isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QVERIFY(runScenario(1, fullLog()).result.isOk());
    // Out of date: one water user's inputs in the baseline, and scenario 2 never computed.
    QSqlQuery edit(TarnDbMgr::instance()->database());
    QVERIFY(edit.exec(QStringLiteral("UPDATE WaterUserData SET DepletionReq = DepletionReq * 2 "
                                     "WHERE WaterUserID = 3")));
    auto findingsWith = [](int threads) {
        ProjectValidator validator;
        ProjectValidator::Options options;
        options.threads = threads;
        validator.setOptions(options);
        const TARN::okstat checked = validator.check();
        QStringList lines { checked.text() };
        for (const ValidationFinding& finding : validator.findings()) {
            lines << QStringLiteral("%1|%2|%3|%4|%5|%6")
                         .arg(finding.rule, QString::number(finding.scenarioID), finding.site,
                             finding.waterUser, QString::number(finding.year), finding.message);
        }
        return lines;
    };
    const QStringList one = findingsWith(1);
    QVERIFY(one.filter(QStringLiteral("results-current|0|")).size() >= 1);
    // A run never calculated is one line, not one per site and water user.
    QCOMPARE(one.filter(QStringLiteral("results-current|2|")).size(), 1);
    QVERIFY(one.filter(QStringLiteral("results-current|2|"))
                .first()
                .contains(QLatin1String("has never been calculated")));
    QCOMPARE(findingsWith(3), one);
    resetDbManager();
}

void TestCalculatorsRuns::failureRollsBackWholeRun_data()
{
    QTest::addColumn<QStringList>("setup");
    QTest::addColumn<QString>("expectedStart");
    QTest::addColumn<QString>("expectedPart");

    // Site three's stored rows differ too, so the run must write them.
    QTest::newRow("write refused")
        << QStringList { QStringLiteral("UPDATE BaseYearlyAggDiv SET AggDivSalinityValue = -1 "
                                        "WHERE AggDivID = 3"),
               QStringLiteral(
                   "CREATE TRIGGER refuse BEFORE UPDATE ON BaseYearlyAggDiv WHEN NEW.AggDivID = 3 "
                   "BEGIN SELECT RAISE(ABORT, 'site three refused'); END") }
        << QStringLiteral("Unable to compute: Unable to save BaseYearlyAggDiv: ")
        << QStringLiteral("site three refused");
    QTest::newRow("unknown salinity method")
        << QStringList { QStringLiteral("PRAGMA foreign_keys = OFF"),
               QStringLiteral("UPDATE AggDiv SET SalinityMethodID = 9 WHERE AggDivID = 3") }
        << QStringLiteral(
               "Unable to compute: Error initializing Agg Diversion 3: Cannot determine the "
               "salinity slot for agg diversion ID 3: ")
        << QString();
}

void TestCalculatorsRuns::failureRollsBackWholeRun()
{
    QFETCH(QStringList, setup);
    QFETCH(QString, expectedStart);
    QFETCH(QString, expectedPart);

    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project
                ->exec(QStringLiteral("INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, "
                                      "RiffleName) VALUES (5, 1, 'Fifth', 'Fifth Canal')"))
                .isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QVERIFY(_project
                ->exec(QStringLiteral(
                    "UPDATE BaseYearlyAggDiv SET AggDivSalinityValue = -1 WHERE AggDivID IN (1, 2);"
                    "UPDATE BaseYearlyWaterUser SET DepletionValue = -1 WHERE WaterUserID = 1"))
                .isOk());
    const int rowsBefore = count(*_project,
        QStringLiteral("SELECT (SELECT COUNT(*) FROM BaseYearlyAggDiv) + (SELECT COUNT(*) FROM "
                       "BaseMonthlyAggDiv) + "
                       "(SELECT COUNT(*) FROM BaseYearlyWaterUser) + (SELECT COUNT(*) FROM "
                       "BaseMonthlyWaterUser)"));
    execRaw(*_project, setup);

    const CalcRun run = runBaseline(fullLog());
    QVERIFY(run.result.failed());
    QVERIFY2(run.result.text().startsWith(expectedStart), qPrintable(run.result.text()));
    QVERIFY2(run.result.text().contains(expectedPart), qPrintable(run.result.text()));
    QCOMPARE(run.finishedCount, 1);
    // Sites 4 and 5 were never visited.
    QVERIFY(!run.diag.join(QLatin1Char('\n')).contains(QLatin1String("Agg Diversion 004")));

    // Sites 1 and 2 were rewritten before the failure; the rollback restored them.
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv WHERE AggDivID IN (1, 2) "
                                "AND AggDivSalinityValue = -1")),
        8);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE WaterUserID = 1 "
                                "AND DepletionValue = -1")),
        4);
    const int rowsAfter = count(*_project,
        QStringLiteral("SELECT (SELECT COUNT(*) FROM BaseYearlyAggDiv) + (SELECT COUNT(*) FROM "
                       "BaseMonthlyAggDiv) + "
                       "(SELECT COUNT(*) FROM BaseYearlyWaterUser) + (SELECT COUNT(*) FROM "
                       "BaseMonthlyWaterUser)"));
    QCOMPARE(rowsAfter, rowsBefore);
}

void TestCalculatorsRuns::oneSiteCalculator()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    AggDivBaselineDemandCalculator calculator(3);
    const CalcRun run = runCalculator(calculator, BaselineChangeLog());
    QVERIFY(run.result.isOk());
    QCOMPARE(
        count(*_project, QStringLiteral("SELECT COUNT(DISTINCT AggDivID) FROM BaseYearlyAggDiv")),
        1);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv WHERE AggDivID = 3")),
        4);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(DISTINCT WaterUserID) FROM BaseYearlyWaterUser")),
        1);
    QCOMPARE(run.statuses.first().aggDivCount, 1);
}

void TestCalculatorsRuns::oneWaterUserCalculator()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QVERIFY(_project
                ->exec(QStringLiteral(
                    "UPDATE WaterUserData SET DiversionReq = 200 WHERE WaterUserID = 2;"
                    "UPDATE BaseYearlyAggDiv SET AggDivSalinityValue = -1 WHERE AggDivID = 1;"
                    "UPDATE BaseYearlyWaterUser SET DepletionValue = -1 WHERE WaterUserID = 1"))
                .isOk());
    BaselineChangeLog log;
    log.waterUserEdited(1, 2, QStringLiteral("Lower Ditch"));
    WaterUserBaselineDemandCalculator calculator(2, 1);
    const CalcRun run = runCalculator(calculator, log);
    QVERIFY2(run.result.isOk(), qPrintable(run.result.text()));
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DepletionValue FROM BaseYearlyWaterUser WHERE "
                                     "WaterUserID = 2 AND Year = 2001")),
        80.0);
    // Neither the site's rows nor the other water user were touched.
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv WHERE AggDivID = 1 AND "
                                "AggDivSalinityValue = -1")),
        4);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE WaterUserID = 1 "
                                "AND DepletionValue = -1")),
        4);
    QVERIFY(!run.diag.join(QLatin1Char('\n')).contains(QLatin1String("Agg Diversion")));
}

void TestCalculatorsRuns::missingWaterUserFails()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    // A water user deleted meanwhile: nothing may be written for it.
    WaterUserBaselineDemandCalculator calculator(99, 1);
    const CalcRun run = runCalculator(calculator, fullLog());
    QCOMPARE(run.result.text(),
        QStringLiteral("Unable to compute: Water user 99 is not part of Agg Diversion 1"));
    QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser")), 0);
}

void TestCalculatorsRuns::runInsideCallersTransaction()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    BaselineDemandCalculator calculator;
    const CalcRun run = runCalculator(calculator, fullLog(), false);
    QVERIFY(run.result.isOk());
    QSqlQuery inside(TarnDbMgr::instance()->database());
    QVERIFY(inside.exec(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")) && inside.next());
    QCOMPARE(inside.value(0).toInt(), 16);
    inside.finish();
    // The caller decides: its rollback removes the run's rows.
    QVERIFY(TarnDbMgr::instance()->database().rollback());
    QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")), 0);
}

QTEST_GUILESS_MAIN(TestCalculatorsRuns)
#include "tst_calculators_runs.moc"
