#include "calc/BaselineChangeLog.h"
#include "calc/Recalculation.h"
#include "db/TarnDbMgr.h"
#include "support/CalcTestSupport.h"
#include "support/TestProject.h"

#include <QtTest>

#include <algorithm>

// The recalculation that the baseline dialog, the project check and "recalc" share: which runs
// it starts, in which order, and where it stops.
class TestRecalculation : public QObject {
    Q_OBJECT

private slots:
    void runsInOrderAndStopsAtFirstFailure_data();
    void runsInOrderAndStopsAtFirstFailure();
};

void TestRecalculation::runsInOrderAndStopsAtFirstFailure_data()
{
    QTest::addColumn<bool>("breakDry");
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<QList<int>>("chosen");
    QTest::addColumn<bool>("withBaseline");
    QTest::addColumn<bool>("withScenarios");
    QTest::addColumn<QStringList>("started");
    QTest::addColumn<QString>("failedRun");
    QTest::addColumn<QString>("failure");

    const QString base = QStringLiteral("baseline");
    const QString noBaseline = QStringLiteral(
        "Unable to compute: Error initializing Agg Diversion 1: No baseline data found for year "
        "2000");
    // The scenarios were inserted as Arid (5), Dry (1), Wet (2): they run in ID order.
    QTest::newRow("every scenario") << false << false << QList<int>() << true << true
                                    << QStringList { base, QStringLiteral("Dry"),
                                           QStringLiteral("Wet"), QStringLiteral("Arid") }
                                    << QString() << QString();
    QTest::newRow("stops at the failing scenario")
        << true << false << QList<int>() << true << true
        << QStringList { base, QStringLiteral("Dry") } << QStringLiteral("Dry") << noBaseline;
    QTest::newRow("goes on when the caller asks")
        << true << true << QList<int>() << true << true
        << QStringList { base, QStringLiteral("Dry"), QStringLiteral("Wet"),
               QStringLiteral("Arid") }
        << QStringLiteral("Dry") << noBaseline;
    QTest::newRow("chosen scenarios in the given order")
        << true << false << QList<int> { 5, 2 } << true << true
        << QStringList { base, QStringLiteral("Arid"), QStringLiteral("Wet") } << QString()
        << QString();
    QTest::newRow("unknown scenario runs nothing")
        << false << false << QList<int> { 2, 9 } << true << true << QStringList() << QString()
        << QStringLiteral("There is no scenario with ID 9.");
    // The scenarios are computed by another run: the chosen ones are left out too.
    QTest::newRow("the baseline alone") << false << false << QList<int> { 1 } << true << false
                                        << QStringList { base } << QString() << QString();
    // A copied scenario is computed alone: from the baseline as stored, none here.
    QTest::newRow("a scenario without the baseline")
        << false << false << QList<int> { 1 } << false << true
        << QStringList { QStringLiteral("Dry") } << QStringLiteral("Dry") << noBaseline;
}

void TestRecalculation::runsInOrderAndStopsAtFirstFailure()
{
    QFETCH(bool, breakDry);
    QFETCH(bool, goOn);
    QFETCH(QList<int>, chosen);
    QFETCH(bool, withBaseline);
    QFETCH(bool, withScenarios);
    QFETCH(QStringList, started);
    QFETCH(QString, failedRun);
    QFETCH(QString, failure);

    resetDbManager();
    TestProject project(2000, 2003);
    QVERIFY(project.isValid());
    QVERIFY(project.exec(smallBasinSql()).isOk());
    QVERIFY(project
                .exec(QStringLiteral(
                    "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (5, "
                    "'Arid', 'A'), (1, 'Dry', 'D'), (2, 'Wet', 'W');"
                    "INSERT INTO DemandChg VALUES (1, 1, 'A', NULL, '2024-01-01', 1, 1, 0);"
                    "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1);"
                    "INSERT INTO DepletionChg VALUES (NULL, 1, 2000, 1, 10)"))
                .isOk());
    if (breakDry) {
        // A change that selects a water user of the scenario alone has no baseline to change.
        QVERIFY(project
                    .exec(QStringLiteral(
                        "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, "
                        "RiffleName) VALUES (9, 1, 1, 'N', 'New');"
                        "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 9)"))
                    .isOk());
    }
    QVERIFY(TarnDbMgr::instance()->openDatabase(project.path()).isOk());

    BaselineChangeLog full;
    full.setFullRecalculation();
    Recalculation recalculation(full);
    recalculation.setScenarios(chosen);
    recalculation.setBaselineIncluded(withBaseline);
    recalculation.setScenariosIncluded(withScenarios);
    int failures = 0;
    recalculation.setFailureHandler([&failures, goOn](const RecalcRun&, const TARN::okstat&) {
        ++failures;
        return goOn;
    });
    const TARN::okstat result = recalculation.run();
    resetDbManager();

    QStringList names;
    for (const RecalcRun& run : recalculation.started())
        names << (run.isBaseline() ? QStringLiteral("baseline") : run.name);
    QCOMPARE(names, started);
    QCOMPARE(result.isOk(), failure.isEmpty());
    if (!failure.isEmpty())
        QCOMPARE(result.text(), failure);
    QCOMPARE(recalculation.failedInRun(), !failedRun.isEmpty());
    QCOMPARE(failures, failedRun.isEmpty() ? 0 : 1);
    if (!failedRun.isEmpty())
        QCOMPARE(recalculation.failedRun().name, failedRun);
    // What was computed before the failure stays; nothing after it was started.
    const int computed = count(
        project, QStringLiteral("SELECT COUNT(DISTINCT ScenarioID) FROM ScenarioYearlyAggDiv"));
    const int scenariosStarted = std::max(0, int(started.size()) - (withBaseline ? 1 : 0));
    QCOMPARE(computed, scenariosStarted - (failedRun.isEmpty() ? 0 : 1));
}

QTEST_GUILESS_MAIN(TestRecalculation)
#include "tst_recalculation.moc"
