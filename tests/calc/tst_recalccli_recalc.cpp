#include "RecalcCliFixture.h"

class TestRecalcCliRecalc : public RecalcCliFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void recalcComputesThenSkips();
    void fullRecomputesEverything();
    void namedScenarioOnly();
    void unknownScenarioFails();
    void failingRunExitsWithItsText();
    void refusedFileExitsWithRefusal();
    void usageErrors_data();
    void usageErrors();
};

void TestRecalcCliRecalc::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("TARNHELM_CLI"))
        QSKIP("TARNHELM_CLI is not set");
}

void TestRecalcCliRecalc::recalcComputesThenSkips()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    CliResult result = runCli({ QStringLiteral("recalc"), project.path() });
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains(
        QLatin1String("Calculating Baseline:\nComputing Agg Diversion 001.North Canal for the "
                      "following reason(s):\n    It had no stored results\n")));
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")), 16);
    QCOMPARE(count(project,
                 QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyAggDiv WHERE ScenarioID = 2")),
        16);
    QCOMPARE(number(project,
                 QStringLiteral("SELECT DepletionValue FROM ScenarioYearlyWaterUser WHERE "
                                "ScenarioID = 1 AND WaterUserID = 1 AND Year = 2000")),
        11.0);

    result = runCli({ QStringLiteral("recalc"), project.path() });
    QCOMPARE(result.exitCode, 0);
    // Once for the baseline and once for each scenario.
    QCOMPARE(result.out.count(QLatin1String("Skipping Agg Diversion 3\n")), 3);
    QVERIFY(!result.out.contains(QLatin1String("Computing")));
    // Standard error is no terminal here: no progress bar.
    QVERIFY(result.err.isEmpty());
}

void TestRecalcCliRecalc::fullRecomputesEverything()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    QCOMPARE(runCli({ QStringLiteral("recalc"), project.path() }).exitCode, 0);
    QVERIFY(
        project
            .exec(QStringLiteral(
                "UPDATE WaterUserData SET DepletionReq = 20 WHERE WaterUserID = 1 AND Year = 2000"))
            .isOk());
    const CliResult result
        = runCli({ QStringLiteral("recalc"), project.path(), QStringLiteral("--full") });
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains(QLatin1String("Computing Agg Diversion 001.North Canal\n")));
    QVERIFY(!result.out.contains(QLatin1String("Skipping")));
    QCOMPARE(number(project,
                 QStringLiteral("SELECT DepletionValue FROM BaseYearlyWaterUser WHERE WaterUserID "
                                "= 1 AND Year = 2000")),
        20.0);
    QCOMPARE(number(project,
                 QStringLiteral("SELECT DepletionValue FROM ScenarioYearlyWaterUser WHERE "
                                "ScenarioID = 1 AND WaterUserID = 1 AND Year = 2000")),
        22.0);
}

void TestRecalcCliRecalc::namedScenarioOnly()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    const CliResult result = runCli({ QStringLiteral("recalc"), project.path(),
        QStringLiteral("--scenario"), QStringLiteral("2") });
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(count(project,
                 QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyAggDiv WHERE ScenarioID = 1")),
        0);
    QCOMPARE(count(project,
                 QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyAggDiv WHERE ScenarioID = 2")),
        16);
}

void TestRecalcCliRecalc::unknownScenarioFails()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    const CliResult result = runCli({ QStringLiteral("recalc"), project.path(),
        QStringLiteral("--scenario"), QStringLiteral("9") });
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.err.contains(QLatin1String("9")));
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")), 0);
}

void TestRecalcCliRecalc::failingRunExitsWithItsText()
{
    TestProject project(2000, 2003);
    makeBasin(project);
    // A change that selects a water user of the scenario alone has no baseline to change.
    QVERIFY(project
                .exec(QStringLiteral(
                    "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, "
                    "RiffleName) VALUES (9, 1, 1, 'N', 'New');"
                    "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 9)"))
                .isOk());
    const CliResult result = runCli({ QStringLiteral("recalc"), project.path() });
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(
        result.err.contains(QLatin1String("Unable to compute: Error initializing Agg Diversion 1: "
                                          "No baseline data found for year 2000")),
        qPrintable(result.err));
    // The baseline's own run had committed; the failing scenario left nothing.
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")), 16);
    QCOMPARE(count(project, QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyAggDiv")), 0);
}

void TestRecalcCliRecalc::refusedFileExitsWithRefusal()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QStringLiteral("DELETE FROM Baseline")).isOk());
    const CliResult result = runCli({ QStringLiteral("recalc"), project.path() });
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.err.contains(
        QLatin1String("The selected database is not a properly structured TARN database.")));
}

void TestRecalcCliRecalc::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no file") << QStringList { QStringLiteral("recalc") };
    QTest::newRow("scenario without ID") << QStringList { QStringLiteral("recalc"),
        QStringLiteral("x.db"), QStringLiteral("--scenario") };
    QTest::newRow("scenario not a number") << QStringList { QStringLiteral("recalc"),
        QStringLiteral("x.db"), QStringLiteral("--scenario"), QStringLiteral("dry") };
    QTest::newRow("unknown option") << QStringList { QStringLiteral("recalc"),
        QStringLiteral("x.db"), QStringLiteral("--fast") };
}

void TestRecalcCliRecalc::usageErrors()
{
    QFETCH(QStringList, args);
    const CliResult result = runCli(args);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.err.contains(QLatin1String("Usage: tarnhelm-cli recalc FILE")));
}

QTEST_GUILESS_MAIN(TestRecalcCliRecalc)
#include "tst_recalccli_recalc.moc"
