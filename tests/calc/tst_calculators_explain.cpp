#include "CalculatorsFixture.h"

class TestCalculatorsExplain : public CalculatorsFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void explainTakesTheCalculationsSteps_data();
    void explainTakesTheCalculationsSteps();
    void explainComparesWithStoredRow_data();
    void explainComparesWithStoredRow();
};

void TestCalculatorsExplain::init()
{
    resetDbManager();
    _project = std::make_unique<TestProject>(2000, 2003);
    QVERIFY(_project->isValid());
}

void TestCalculatorsExplain::cleanup()
{
    resetDbManager();
    _project.reset();
}

// Scenario 1 "Dry" for the explanation rows; %1 its changes.
const char* const DryScenario
    = "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, 'Dry', 'D');";

void TestCalculatorsExplain::explainTakesTheCalculationsSteps_data()
{
    using Data = AggDivCalcData;
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("site");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("scenario");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<double>("value");

    const QString dry = QLatin1String(DryScenario);
    const QString percent = dry
        + QStringLiteral("INSERT INTO DemandChg VALUES (1, 1, 'Cut', NULL, '2024-01-01', 1, 1, 0);"
                         "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1);"
                         "INSERT INTO DepletionChg VALUES (NULL, 1, 2000, 1, 10);");
    // Two changes select water user 1: +10 % (change 1) and +50 % (change 2).
    const QString overlapping = dry
        + QStringLiteral("INSERT INTO DemandChg VALUES (1, 1, 'Small', NULL, '2024-01-01', 1, 1, "
                         "0), (2, 1, 'Big', NULL, '%1', 1, 1, 0);"
                         "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1), "
                         "(2, 1);"
                         "INSERT INTO DepletionChg VALUES (NULL, 1, 2000, 1, 10), (NULL, 2, 2000, "
                         "1, 50);");
    const QString selectBoth = QStringLiteral(
        "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1), (1, 2);");
    const QStringList wuSteps { QStringLiteral("input"), QStringLiteral("gap-fill"),
        QStringLiteral("derived"), QStringLiteral("stored") };

    QTest::newRow("derived depletion")
        << QString() << false << 2 << 2002 << 0 << 0 << int(Data::Depletion) << wuSteps
        << QStringList {
               QStringLiteral("input      2002: diversion 100, depletion none, efficiency 0.4, "
                              "salinity pick-up 30"),
               QStringLiteral("derived    depletion = efficiency \u00d7 diversion = 0.4 \u00d7 "
                              "100 = 40 (from the entered efficiency and the entered diversion)"),
               QStringLiteral("stored     40 (matches)"),
           }
        << 40.0;
    QTest::newRow("gap-fill between anchors")
        << QString() << false << 1 << 2001 << 0 << 0 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("gap-fill"),
               QStringLiteral("gap-fill"), QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList {
               QStringLiteral("gap-fill   diversion 2001 stays none: no year has a diversion"),
               QStringLiteral("gap-fill   depletion 2001 = 10 + (40 \u2212 10) \u00d7 (2001 "
                              "\u2212 2000) / (2003 \u2212 2000) = 20 (between 2000 and 2003)"),
               QStringLiteral("derived    diversion = depletion / efficiency = 20 / 0.5 = 40 "
                              "(from the gap-filled depletion and the entered efficiency)"),
           }
        << 20.0;
    QTest::newRow("gap-fill leaves the years after the last value")
        << QString() << false << 1 << 2002 << 0 << 0 << int(Data::SalinityPickup)
        << QStringList { QStringLiteral("input"), QStringLiteral("gap-fill"),
               QStringLiteral("stored") }
        << QStringList { QStringLiteral("gap-fill   salinity pick-up 2002 stays none: the last "
                                        "year with a salinity pick-up is 2000, and the years "
                                        "after it are not filled"),
               QStringLiteral("stored     none (matches)") }
        << NaN;
    QTest::newRow("efficiency derived")
        << QString() << false << 3 << 2000 << 0 << 0 << int(Data::EfficiencyRatio) << wuSteps
        << QStringList { QStringLiteral("derived    efficiency = depletion / diversion = "
                                        "100 / 100 = 1 (from the entered depletion and the "
                                        "entered diversion)") }
        << 1.0;
    QTest::newRow("monthly share")
        << QString() << false << 1 << 2000 << 3 << 0 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("gap-fill"),
               QStringLiteral("derived"), QStringLiteral("monthly"), QStringLiteral("stored") }
        << QStringList { QStringLiteral(
               "monthly    March coefficient 5 %: depletion 10 \u00d7 5 / 100 = 0.5") }
        << 0.5;
    QTest::newRow("site mass salinity")
        << QString() << true << 1 << 2000 << 0 << 0 << 0
        << QStringList { QStringLiteral("input"), QStringLiteral("input"),
               QStringLiteral("salinity"), QStringLiteral("stored") }
        << QStringList {
               QStringLiteral("input      water user 2 \"Lower Ditch\" in 2000: diversion 100, "
                              "depletion 40, salinity pick-up 30"),
               QStringLiteral("salinity   Return Flow Mass (tons/yr) (method 1): the summed "
                              "salinity pick-up TS = 150 (sums over 2 water users)"),
           }
        << 150.0;
    QTest::newRow("site monthly mass")
        << QString() << true << 1 << 2000 << 7 << 0 << 0
        << QStringList { QStringLiteral("input"), QStringLiteral("input"),
               QStringLiteral("salinity"), QStringLiteral("monthly"), QStringLiteral("stored") }
        << QStringList { QStringLiteral(
               "monthly    July: a twelfth of the yearly mass: 150 / 12 = 12.5") }
        << 12.5;
    QTest::newRow("site without return flow")
        << QString() << true << 2 << 2001 << 0 << 0 << 0
        << QStringList { QStringLiteral("input"), QStringLiteral("salinity"),
               QStringLiteral("stored") }
        << QStringList { QStringLiteral(
               "salinity   Return Flow Concentration (mg/l) (method 2): the return flow TD "
               "\u2212 TP = 100 \u2212 100 = 0 is not positive, so none (TS = 5) (sums over 1 "
               "water user)") }
        << NaN;
    QTest::newRow("site diversion concentration")
        << QString() << true << 3 << 2002 << 0 << 0 << 0
        << QStringList { QStringLiteral("input"), QStringLiteral("salinity"),
               QStringLiteral("stored") }
        << QStringList { QStringLiteral("salinity   Diversion Concentration (mg/l) (method 3): TS "
                                        "/ TD = 10 / 50 = 0.2 (sums over 1 water user)") }
        << 0.2;
    QTest::newRow("no change selects the water user")
        << dry << false << 2 << 2001 << 0 << 1 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList { QStringLiteral("change     no demand change of \"Dry\" selects this "
                                        "water user: its baseline inputs are used") }
        << 40.0;
    QTest::newRow("percent change")
        << percent << false << 1 << 2000 << 0 << 1 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("change"), QStringLiteral("change"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList {
               QStringLiteral("change     \"Dry\" / \"Cut\" (DemandChgID 1, created "
                              "2024-01-01; the only change of the scenario that selects this "
                              "water user): depletion by Use Baseline Data Plus Changed Values, "
                              "efficiency by Use Baseline Data Plus Changed Values; the change "
                              "selects 1 water user"),
               QStringLiteral("change     depletion 2000: Percent Change 10, Use Baseline Data "
                              "Plus Changed Values: 10 \u00d7 (10 / 100 + 1) = 11"),
               QStringLiteral("change     efficiency 2000: no efficiency change for 2000, Use "
                              "Baseline Data Plus Changed Values: unchanged 0.5"),
               QStringLiteral("derived    diversion = depletion / efficiency = 11 / 0.5 = 22 "
                              "(from the changed depletion and the entered efficiency)"),
           }
        << 11.0;
    QTest::newRow("overlapping changes, the newer wins")
        << overlapping.arg(QStringLiteral("2024-02-01")) << false << 1 << 2000 << 0 << 1
        << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("change"), QStringLiteral("change"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList {
               QStringLiteral("change     \"Dry\" / \"Big\" (DemandChgID 2, created "
                              "2024-02-01; newer than change 1 (created 2024-01-01), which also "
                              "selects this water user): depletion by Use Baseline Data Plus "
                              "Changed Values, efficiency by Use Baseline Data Plus Changed "
                              "Values; the change selects 1 water user"),
               QStringLiteral("change     depletion 2000: Percent Change 50, Use Baseline Data "
                              "Plus Changed Values: 10 \u00d7 (50 / 100 + 1) = 15"),
           }
        << 15.0;
    QTest::newRow("overlapping changes of one day, the higher ID wins")
        << overlapping.arg(QStringLiteral("2024-01-01")) << false << 1 << 2000 << 0 << 1
        << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("change"), QStringLiteral("change"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList { QStringLiteral(
               "change     \"Dry\" / \"Big\" (DemandChgID 2, created 2024-01-01; created the "
               "same day as change 1 but with a higher ID, which also selects this water user): "
               "depletion by Use Baseline Data Plus Changed Values, efficiency by Use Baseline "
               "Data Plus Changed Values; the change selects 1 water user") }
        << 15.0;
    // Baseline depletions of 2001: 20 (water user 1) and 40 (water user 2).
    QTest::newRow("amount change shared by baseline depletion")
        << dry
            + QStringLiteral("INSERT INTO DemandChg VALUES (1, 1, 'More', NULL, '2024-01-01', 1, "
                             "1, 0);")
            + selectBoth + QStringLiteral("INSERT INTO DepletionChg VALUES (NULL, 1, 2001, 2, 30);")
        << false << 1 << 2001 << 0 << 1 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("gap-fill"), QStringLiteral("change"),
               QStringLiteral("change"), QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList { QStringLiteral(
               "change     depletion 2001: Amount Change 30, Use Baseline Data Plus Changed "
               "Values: shared by the change's 2 water users in proportion to their stored "
               "baseline depletions of 2001: (v + B) / B \u00d7 b = (30 + 60) / 60 \u00d7 20 = "
               "30 (B = 60, their sum; b = 20, this water user's; a share of 33.33 %)") }
        << 30.0;
    QTest::newRow("new amount shared by baseline depletion")
        << dry
            + QStringLiteral("INSERT INTO DemandChg VALUES (1, 1, 'Set', NULL, '2024-01-01', 1, "
                             "1, 0);")
            + selectBoth + QStringLiteral("INSERT INTO DepletionChg VALUES (NULL, 1, 2001, 3, 90);")
        << false << 2 << 2001 << 0 << 1 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("change"), QStringLiteral("change"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList { QStringLiteral(
               "change     depletion 2001: New Amount 90, Use Baseline Data Plus Changed Values: "
               "shared by the change's 2 water users in proportion to their stored baseline "
               "depletions of 2001: v / B \u00d7 b = 90 / 60 \u00d7 40 = 60 (B = 60, their sum; b "
               "= 40, this water user's; a share of 66.67 %)") }
        << 60.0;
    // Efficiency 0: no baseline depletion to weigh by, and the derivation zeroes the change.
    QTest::newRow("amount change shared equally, then zeroed by efficiency 0")
        << dry
            + QStringLiteral("UPDATE WaterUserData SET EfficiencyRatio = 0 WHERE WaterUserID = 2;"
                             "INSERT INTO DemandChg VALUES (1, 1, 'More', NULL, '2024-01-01', 1, "
                             "1, 0);"
                             "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES "
                             "(1, 2);"
                             "INSERT INTO DepletionChg VALUES (NULL, 1, 2001, 2, 30);")
        << false << 2 << 2001 << 0 << 1 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("change"), QStringLiteral("change"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList {
               QStringLiteral("change     depletion 2001: Amount Change 30, Use Baseline Data "
                              "Plus Changed Values: shared equally by the change's 1 water user, "
                              "as their summed stored baseline depletion B = 0 is not positive: v "
                              "/ N + b = 30 / 1 + 0 = 30"),
               QStringLiteral("derived    depletion = 0, as the entered efficiency is 0 and the "
                              "entered diversion (100) is not 0"),
           }
        << 0.0;
    QTest::newRow("set to a baseline year")
        << dry
            + QStringLiteral("INSERT INTO DemandChg VALUES (1, 1, 'Copy', NULL, '2024-01-01', 1, "
                             "1, 0);"
                             "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES "
                             "(1, 1);"
                             "INSERT INTO DepletionChg VALUES (NULL, 1, 2003, 4, 2001);")
        << false << 1 << 2003 << 0 << 1 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("change"), QStringLiteral("change"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList { QStringLiteral(
               "change     depletion 2003: Set to a Baseline Year 2001, Use Baseline Data Plus "
               "Changed Values: carried from 2001, after that year's change if it had one: 20") }
        << 20.0;
    // Method 2: the changed years 2000 (10) and 2003 (80) are the anchors of 2001.
    QTest::newRow("method 2 interpolates between the changed years")
        << dry
            + QStringLiteral("INSERT INTO DemandChg VALUES (1, 1, 'Path', NULL, '2024-01-01', 2, "
                             "1, 0);"
                             "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES "
                             "(1, 1);"
                             "INSERT INTO DepletionChg VALUES (NULL, 1, 2000, 1, 0), (NULL, 1, "
                             "2003, 1, 100);")
        << false << 1 << 2001 << 0 << 1 << int(Data::Depletion)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("change"), QStringLiteral("change"), QStringLiteral("gap-fill"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList {
               QStringLiteral("change     depletion 2001: no depletion change for 2001, "
                              "Interpolate Using Changed Values Only: none: the year keeps no "
                              "depletion of its own; the gap filling after the change fills it "
                              "when changed years lie on both sides"),
               QStringLiteral("gap-fill   depletion 2001 = 10 + (80 \u2212 10) \u00d7 (2001 "
                              "\u2212 2000) / (2003 \u2212 2000) = 33.33333333 (between 2000 and "
                              "2003, after the change, by Interpolate Using Changed Values Only)"),
           }
        << 10.0 + 70.0 / 3.0;
    // Efficiency method 2 under depletion method 1: the year without an efficiency change stays
    // empty and the derivation gives it a value; no interpolation is promised.
    QTest::newRow("efficiency method 2 without depletion method 2")
        << dry
            + QStringLiteral("INSERT INTO DemandChg VALUES (1, 1, 'Ramp', NULL, '2024-01-01', 1, "
                             "2, 0);"
                             "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES "
                             "(1, 3);"
                             "INSERT INTO EfficiencyChg VALUES (NULL, 1, 2000, 3, 0.45), (NULL, 1, "
                             "2003, 3, 0.7);")
        << false << 3 << 2001 << 0 << 1 << int(Data::EfficiencyRatio)
        << QStringList { QStringLiteral("input"), QStringLiteral("change"),
               QStringLiteral("gap-fill"), QStringLiteral("change"), QStringLiteral("change"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList {
               QStringLiteral("change     efficiency 2001: no efficiency change for 2001, "
                              "Interpolate Using Changed Values Only: none: the year keeps no "
                              "efficiency of its own, and nothing fills it: the changes are "
                              "interpolated only when the depletion method is \"Interpolate "
                              "Using Changed Values Only\""),
               QStringLiteral("derived    efficiency = depletion / diversion = 100 / 100 = 1 "
                              "(from the entered depletion and the entered diversion)"),
           }
        << 1.0;
    // A diversion of 0 that the gap filling made is not called entered.
    QTest::newRow("gap-filled diversion replaced")
        << QStringLiteral("UPDATE WaterUserData SET DiversionReq = 0 WHERE WaterUserID = 2 AND "
                          "Year IN (2000, 2002);"
                          "UPDATE WaterUserData SET DiversionReq = NULL, DepletionReq = 10 WHERE "
                          "WaterUserID = 2 AND Year = 2001")
        << false << 2 << 2001 << 0 << 0 << int(Data::Diversion)
        << QStringList { QStringLiteral("input"), QStringLiteral("gap-fill"),
               QStringLiteral("derived"), QStringLiteral("stored") }
        << QStringList { QStringLiteral(
               "derived    diversion = depletion / efficiency = 10 / 0.4 = 25 (from the entered "
               "depletion and the entered efficiency); the gap-filled diversion was 0") }
        << 25.0;
}

// The explanation is the calculation's own: its value is the one a full recalculation stores,
// step by step as the calculators took the steps.
void TestCalculatorsExplain::explainTakesTheCalculationsSteps()
{
    QFETCH(QString, setup);
    QFETCH(bool, site);
    QFETCH(int, id);
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, scenario);
    QFETCH(int, kind);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, lines);
    QFETCH(double, value);

    QVERIFY(_project->exec(smallBasinSql()).isOk());
    if (!setup.isEmpty())
        QVERIFY(_project->exec(setup).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    if (scenario)
        QVERIFY(runScenario(scenario, fullLog()).result.isOk());

    ValueExplainer::Request request;
    request.owner = site ? CalcTrace::Site : CalcTrace::WaterUser;
    request.id = id;
    request.year = year;
    request.month = month;
    request.scenarioID = scenario;
    request.kind = ValueKind(kind);
    const ValueExplainer::Explanation explanation = ValueExplainer::explain(request);
    QVERIFY2(explanation.status.isOk(), qPrintable(explanation.status.text()));
    const QString text = explanation.text();
    QStringList names;
    for (const CalcStep& step : explanation.steps)
        names.append(step.step);
    QVERIFY2(names == steps, qPrintable(text));
    const QStringList textLines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines)
        QVERIFY2(textLines.contains(line), qPrintable(line + QStringLiteral("\nnot in\n") + text));
    COMPARE_VALUE(explanation.value, value);
    QVERIFY2(explanation.storedRow && explanation.matches, qPrintable(text));
    QVERIFY(explanation.verdict().isEmpty());
    // Nothing was written: the explanation compares only.
    QCOMPARE(differencesFromFullRecalculation(_project->path()), QStringList());
}

void TestCalculatorsExplain::explainComparesWithStoredRow_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("input edited since the calculation")
        << QStringLiteral("UPDATE WaterUserData SET DepletionReq = 20 WHERE WaterUserID = 1 AND "
                          "Year = 2000")
        << QStringLiteral("stored     10 in BaseYearlyWaterUser differs from the computed 20")
        << QStringLiteral("The stored value differs: results are out of date");
    QTest::newRow("result row missing")
        << QStringLiteral("DELETE FROM BaseYearlyWaterUser WHERE WaterUserID = 1 AND Year = 2000")
        << QStringLiteral("stored     none: BaseYearlyWaterUser has no row for 2000")
        << QStringLiteral("No result is stored");
}

void TestCalculatorsExplain::explainComparesWithStoredRow()
{
    QFETCH(QString, edit);
    QFETCH(QString, stored);
    QFETCH(QString, verdict);
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QVERIFY(_project->exec(edit).isOk());
    const QStringList before = baselineResultRows(*_project);

    ValueExplainer::Request request;
    request.id = 1;
    request.year = 2000;
    const ValueExplainer::Explanation explanation = ValueExplainer::explain(request);
    QVERIFY2(explanation.status.isOk(), qPrintable(explanation.status.text()));
    QVERIFY(!explanation.matches);
    QCOMPARE(explanation.verdict(), verdict);
    const QStringList lines = explanation.text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.at(lines.size() - 2), stored);
    QCOMPARE(lines.last(), verdict);
    QCOMPARE(baselineResultRows(*_project), before);
}

QTEST_GUILESS_MAIN(TestCalculatorsExplain)
#include "tst_calculators_explain.moc"
