#include "CalculatorsFixture.h"

class TestCalculatorsScenario : public CalculatorsFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void scenarioWithoutChangesMatchesBaseline();
    void newestChangeApplies_data();
    void newestChangeApplies();
    void amountChangeSharedAcrossSelection();
    void changeOfScenarioOnlyWaterUserFails();
    void invertedTimeRangeIsRefused_data();
    void invertedTimeRangeIsRefused();
};

void TestCalculatorsScenario::init()
{
    resetDbManager();
    _project = std::make_unique<TestProject>(2000, 2003);
    QVERIFY(_project->isValid());
}

void TestCalculatorsScenario::cleanup()
{
    resetDbManager();
    _project.reset();
}

void TestCalculatorsScenario::scenarioWithoutChangesMatchesBaseline()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(
        _project
            ->exec(QStringLiteral("INSERT INTO Scenario (ScenarioID, ScenarioName, "
                                  "ScenarioShortName) VALUES (1, 'Dry', 'D');"
                                  "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, "
                                  "WaterUserName, RiffleName) VALUES (5, 1, 1, 'New', 'New Ditch');"
                                  "INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, "
                                  "DepletionReq, EfficiencyRatio, SalinityPickup) VALUES "
                                  "(5, 2000, 10, NULL, 0.5, 6), (5, 2001, 10, NULL, 0.5, 6), (5, "
                                  "2002, 10, NULL, 0.5, 6), (5, 2003, 10, NULL, 0.5, 6)"))
            .isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE WaterUserID = 5")),
        0);

    const CalcRun run = runScenario(1, fullLog());
    QVERIFY2(run.result.isOk(), qPrintable(run.result.text()));
    QCOMPARE(run.statuses.first().target, QStringLiteral("Scenario Dry"));
    const int differing = count(*_project,
        QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser b JOIN ScenarioYearlyWaterUser s "
                       "ON s.WaterUserID = b.WaterUserID AND s.Year = b.Year "
                       "WHERE s.ScenarioID = 1 AND NOT (s.DiversionValue IS b.DiversionValue AND "
                       "s.DepletionValue IS b.DepletionValue "
                       "AND s.EfficiencyRatioValue IS b.EfficiencyRatioValue AND "
                       "s.SalinityPickupValue IS b.SalinityPickupValue)"));
    QCOMPARE(differing, 0);
    QCOMPARE(
        count(*_project,
            QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyWaterUser WHERE ScenarioID = 1")),
        20);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM ScenarioMonthlyWaterUser WHERE ScenarioID = "
                                "1 AND WaterUserID = 5")),
        48);
    // The scenario's own water user adds its pick-up to its site.
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT AggDivSalinityValue FROM ScenarioYearlyAggDiv WHERE "
                                     "ScenarioID = 1 AND AggDivID = 1 AND Year = 2000")),
        156.0);
}

void TestCalculatorsScenario::newestChangeApplies_data()
{
    QTest::addColumn<QString>("firstDate");
    QTest::addColumn<QString>("secondDate");
    QTest::addColumn<double>("expected");

    // Change 1 adds 10 %, change 2 adds 50 % to the 2000 depletion of 10.
    QTest::newRow("first is newer") << "2024-02-01"
                                    << "2024-01-01" << 11.0;
    QTest::newRow("second is newer") << "2024-01-01"
                                     << "2024-02-01" << 15.0;
    QTest::newRow("same date, higher ID") << "2024-01-01"
                                          << "2024-01-01" << 15.0;
}

void TestCalculatorsScenario::newestChangeApplies()
{
    QFETCH(QString, firstDate);
    QFETCH(QString, secondDate);
    QFETCH(double, expected);

    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(
        _project
            ->exec(QStringLiteral(
                "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, "
                "'Dry', 'D');"
                "INSERT INTO DemandChg VALUES (1, 1, 'A', NULL, '%1', 1, 1, 0), "
                "(2, 1, 'B', NULL, '%2', 1, 1, 0);"
                "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1), (2, 1);"
                "INSERT INTO DepletionChg VALUES "
                "(NULL, 1, 2000, 1, 10), (NULL, 2, 2000, 1, 50)")
                       .arg(firstDate, secondDate))
            .isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    const CalcRun run = runScenario(1, fullLog());
    QVERIFY2(run.result.isOk(), qPrintable(run.result.text()));
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DepletionValue FROM ScenarioYearlyWaterUser WHERE "
                                     "ScenarioID = 1 AND WaterUserID = 1 AND Year = 2000")),
        expected);
    // Depletion and the unchanged efficiency 0.5 give the scenario's diversion.
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DiversionValue FROM ScenarioYearlyWaterUser WHERE "
                                     "ScenarioID = 1 AND WaterUserID = 1 AND Year = 2000")),
        expected / 0.5);
    // Years without a change keep the gap-filled baseline value under method 1.
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DepletionValue FROM ScenarioYearlyWaterUser WHERE "
                                     "ScenarioID = 1 AND WaterUserID = 1 AND Year = 2001")),
        20.0);
}

void TestCalculatorsScenario::amountChangeSharedAcrossSelection()
{
    QVERIFY(
        _project
            ->exec(QStringLiteral(
                "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName) VALUES "
                "(1, 1, 'S', 'Site');"
                "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName) "
                "VALUES (1, 1, 'A', 'A'), (2, 1, 'B', 'B'), (3, 1, 'C', 'C');"
                "INSERT INTO WaterUserData (WaterUserID, Year, DepletionReq, EfficiencyRatio) "
                "VALUES "
                "(1, 2000, 10, 0.5), (2, 2000, 20, 0.5), (3, 2000, 30, 0.5), (1, 2003, 10, "
                "0.5), (2, 2003, 20, 0.5), (3, 2003, 30, 0.5);"
                "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, "
                "'Dry', 'D');"
                "INSERT INTO DemandChg VALUES "
                "(1, 1, 'A', NULL, '2024-01-01', 1, 1, 0);"
                "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1), (1, "
                "2), (1, 3);"
                "INSERT INTO DepletionChg VALUES (NULL, 1, 2001, 2, 30), (NULL, 1, 2002, 3, 90)"))
            .isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    const CalcRun run = runScenario(1, fullLog());
    QVERIFY2(run.result.isOk(), qPrintable(run.result.text()));
    const QVector<double> expected { 15, 30, 45 };
    for (int id = 1; id <= 3; ++id) {
        for (int year : { 2001, 2002 }) {
            const QString where = QStringLiteral(" FROM ScenarioYearlyWaterUser WHERE ScenarioID = "
                                                 "1 AND WaterUserID = %1 AND Year = %2")
                                      .arg(id)
                                      .arg(year);
            COMPARE_VALUE(number(*_project, QStringLiteral("SELECT DepletionValue") + where),
                expected.at(id - 1));
            COMPARE_VALUE(number(*_project, QStringLiteral("SELECT DiversionValue") + where),
                2 * expected.at(id - 1));
        }
    }
}

void TestCalculatorsScenario::changeOfScenarioOnlyWaterUserFails()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project
                ->exec(QStringLiteral(
                    "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, "
                    "'Dry', 'D');"
                    "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, "
                    "RiffleName) VALUES (5, 3, 1, 'New', 'New Ditch');"
                    "INSERT INTO DemandChg VALUES "
                    "(1, 1, 'A', NULL, '2024-01-01', 1, 1, 0);"
                    "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 5);"
                    "INSERT INTO DepletionChg VALUES (NULL, 1, 2000, 1, 10)"))
                .isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    const CalcRun run = runScenario(1, fullLog());
    QVERIFY(run.result.failed());
    QCOMPARE(run.result.text(),
        QStringLiteral("Unable to compute: Error initializing Agg Diversion 3: No baseline data "
                       "found for year 2000"));
    // Sites 1 and 2 were written before the failure and rolled back with it.
    QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyAggDiv")), 0);
    QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyWaterUser")), 0);
}

void TestCalculatorsScenario::invertedTimeRangeIsRefused_data()
{
    QTest::addColumn<bool>("scenario");
    QTest::newRow("baseline") << false;
    QTest::newRow("scenario") << true;
}

void TestCalculatorsScenario::invertedTimeRangeIsRefused()
{
    QFETCH(bool, scenario);
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project
                ->exec(QStringLiteral("INSERT INTO Scenario (ScenarioID, ScenarioName, "
                                      "ScenarioShortName) VALUES (1, 'Dry', 'D')"))
                .isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QVERIFY(runScenario(1, fullLog()).result.isOk());
    const QString allRows = QStringLiteral(
        "SELECT (SELECT COUNT(*) FROM BaseYearlyAggDiv) + (SELECT COUNT(*) FROM "
        "BaseMonthlyWaterUser) + (SELECT COUNT(*) FROM ScenarioYearlyAggDiv) + (SELECT "
        "COUNT(*) FROM ScenarioMonthlyWaterUser)");
    const int rowsBefore = count(*_project, allRows);
    QVERIFY(rowsBefore > 0);
    QVERIFY(_project->exec(QStringLiteral("UPDATE Baseline SET StartYear = 2003, EndYear = 2000"))
                .isOk());

    const CalcRun run = scenario ? runScenario(1, fullLog()) : runBaseline(fullLog());
    QCOMPARE(run.result.text(),
        QStringLiteral("Unable to compute: The baseline time range is not valid: the start year "
                       "2003 is after the end year 2000"));
    QCOMPARE(run.finishedCount, 1);
    QCOMPARE(count(*_project, allRows), rowsBefore);
}

QTEST_GUILESS_MAIN(TestCalculatorsScenario)
#include "tst_calculators_scenario.moc"
