#include "CalculatorsFixture.h"

class TestCalculatorsBaseline : public CalculatorsFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void baselineWaterUserValues();
    void baselineSiteSalinity();
    void siteWithoutWaterUsersWritesNullSalinity();
    void emptyBasinSucceeds();
    void progressEndsWithDefaultRecord();
    void skipRules();
    void siteWithOnlyMonthlyRowsCountsAsComputed();
};

void TestCalculatorsBaseline::init()
{
    resetDbManager();
    _project = std::make_unique<TestProject>(2000, 2003);
    QVERIFY(_project->isValid());
}

void TestCalculatorsBaseline::cleanup()
{
    resetDbManager();
    _project.reset();
}

void TestCalculatorsBaseline::baselineWaterUserValues()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    const CalcRun run = runBaseline(fullLog());
    QVERIFY2(run.result.isOk(), qPrintable(run.result.text()));
    QCOMPARE(run.finishedCount, 1);

    QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser")), 16);
    QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyWaterUser")), 192);

    // Depletion filled between 2000 and 2003, diversion derived from it.
    const QVector<double> diversion { 20, 40, 60, 80 };
    const QVector<double> depletion { 10, 20, 30, 40 };
    for (int i = 0; i < 4; ++i) {
        const QString where
            = QStringLiteral(" FROM BaseYearlyWaterUser WHERE WaterUserID = 1 AND Year = %1")
                  .arg(2000 + i);
        COMPARE_VALUE(
            number(*_project, QStringLiteral("SELECT DiversionValue") + where), diversion.at(i));
        COMPARE_VALUE(
            number(*_project, QStringLiteral("SELECT DepletionValue") + where), depletion.at(i));
        COMPARE_VALUE(
            number(*_project, QStringLiteral("SELECT EfficiencyRatioValue") + where), 0.5);
    }
    // Salinity known only in 2000 stays missing afterwards.
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT SalinityPickupValue FROM BaseYearlyWaterUser WHERE "
                                     "WaterUserID = 1 AND Year = 2001")),
        NaN);
    // Diversion 100 with efficiency 0.4 gives depletion 40.
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DepletionValue FROM BaseYearlyWaterUser WHERE "
                                     "WaterUserID = 2 AND Year = 2002")),
        40.0);
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DiversionValue FROM BaseYearlyWaterUser WHERE "
                                     "WaterUserID = 2 AND Year = 2002")),
        100.0);
    // Diversion and depletion without efficiency give efficiency 1.
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT EfficiencyRatioValue FROM BaseYearlyWaterUser WHERE "
                                     "WaterUserID = 3 AND Year = 2000")),
        1.0);

    // Monthly split by the coefficients 10, 10, 5, 5, ...: diversion 20 in 2000.
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DiversionValue FROM BaseMonthlyWaterUser WHERE "
                                     "WaterUserID = 1 AND Month = '2000-01-01'")),
        2.0);
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DiversionValue FROM BaseMonthlyWaterUser WHERE "
                                     "WaterUserID = 1 AND Month = '2000-03-01'")),
        1.0);
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT DepletionValue FROM BaseMonthlyWaterUser WHERE "
                                     "WaterUserID = 1 AND Month = '2003-12-01'")),
        4.0);
    COMPARE_VALUE(
        number(*_project,
            QStringLiteral("SELECT SUM(DiversionValue) FROM BaseMonthlyWaterUser WHERE WaterUserID "
                           "= 2 AND Month BETWEEN '2001-01-01' AND '2001-12-01'")),
        100.0);
    QCOMPARE(
        count(*_project,
            QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyWaterUser WHERE BaselineID = 1 AND "
                           "WaterUserID = 4 AND Month BETWEEN '2002-01-01' AND '2002-12-01'")),
        12);

    // The run's lines follow its name.
    QCOMPARE(run.diag.first(), QStringLiteral("Calculating Baseline:"));
    QCOMPARE(run.diag.at(1), QStringLiteral("Computing Agg Diversion 001.North Canal"));
    QVERIFY(run.diag.contains(QStringLiteral("Computing Water User 002.Lower Ditch")));
}

void TestCalculatorsBaseline::baselineSiteSalinity()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());

    // Mass: the total pick-up per year, a twelfth per month (120 + 30, then 30 alone).
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT AggDivSalinityValue FROM BaseYearlyAggDiv WHERE "
                                     "AggDivID = 1 AND Year = 2000")),
        150.0);
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT AggDivSalinityValue FROM BaseMonthlyAggDiv WHERE "
                                     "AggDivID = 1 AND Month = '2000-07-01'")),
        12.5);
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT AggDivSalinityValue FROM BaseYearlyAggDiv WHERE "
                                     "AggDivID = 1 AND Year = 2001")),
        30.0);
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT AggDivSalinityValue FROM BaseMonthlyAggDiv WHERE "
                                     "AggDivID = 1 AND Month = '2001-02-01'")),
        2.5);
    // Return-flow concentration with no return flow: NULL everywhere.
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv WHERE AggDivID = 2 AND "
                                "AggDivSalinityValue IS NULL")),
        4);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyAggDiv WHERE AggDivID = 2 AND "
                                "AggDivSalinityValue IS NULL")),
        48);
    // Diversion concentration: 10 / 50 in all thirteen rows of a year.
    COMPARE_VALUE(number(*_project,
                      QStringLiteral("SELECT AggDivSalinityValue FROM BaseYearlyAggDiv WHERE "
                                     "AggDivID = 3 AND Year = 2002")),
        0.2);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyAggDiv WHERE AggDivID = 3 AND "
                                "Month LIKE '2002-%' AND abs(AggDivSalinityValue - 0.2) < 1e-12")),
        12);
}

void TestCalculatorsBaseline::siteWithoutWaterUsersWritesNullSalinity()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv WHERE AggDivID = 4 AND "
                                "AggDivSalinityValue IS NULL")),
        4);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyAggDiv WHERE AggDivID = 4 AND "
                                "AggDivSalinityValue IS NULL")),
        48);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser yw JOIN WaterUser w ON "
                                "w.WaterUserID = yw.WaterUserID WHERE w.AggDivID = 4")),
        0);
}

void TestCalculatorsBaseline::emptyBasinSucceeds()
{
    QVERIFY(_project->openInManager().isOk());
    const CalcRun run = runBaseline(fullLog());
    QVERIFY(run.result.isOk());
    QCOMPARE(run.diag, QStringList { QStringLiteral("Calculating Baseline:") });
    // The run's transaction was committed, not left open.
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    QVERIFY(TarnDbMgr::instance()->database().rollback());
}

void TestCalculatorsBaseline::progressEndsWithDefaultRecord()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    const CalcRun run = runBaseline(fullLog());
    QVERIFY(run.statuses.size() > 2);
    QCOMPARE(run.statuses.first().target, QStringLiteral("Baseline"));
    QCOMPARE(run.statuses.first().aggDivCount, 4);
    QCOMPARE(run.statuses.first().status, QStringLiteral("Checking agg diversion"));
    const CalcStatusInfo& last = run.statuses.last();
    QVERIFY(last.target.isEmpty());
    QCOMPARE(last.aggDivCount, 100);
    QCOMPARE(last.aggDivDone, 0);
    QCOMPARE(last.waterUserCount, 100);
    QVERIFY(last.status.isEmpty());
    // The record before it has every site done.
    QCOMPARE(run.statuses.at(run.statuses.size() - 2).aggDivDone, 4);
}

void TestCalculatorsBaseline::skipRules()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());

    // Nothing edited, everything stored: only skip lines and no writes.
    QVERIFY(_project
                ->exec(QStringLiteral(
                    "UPDATE BaseYearlyAggDiv SET AggDivSalinityValue = -1 WHERE AggDivID = 2"))
                .isOk());
    CalcRun run = runBaseline(BaselineChangeLog());
    QVERIFY(run.result.isOk());
    const QStringList allSkipped { QStringLiteral("Calculating Baseline:"),
        QStringLiteral("Skipping Agg Diversion 1"), QStringLiteral("Skipping Agg Diversion 2"),
        QStringLiteral("Skipping Agg Diversion 3"), QStringLiteral("Skipping Agg Diversion 4") };
    QCOMPARE(run.diag, allSkipped);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv WHERE AggDivID = 2 AND "
                                "AggDivSalinityValue = -1")),
        4);

    // Site 3 lost its results; water user 1 of site 1 was edited.
    QVERIFY(_project
                ->exec(QStringLiteral(
                    "DELETE FROM BaseYearlyAggDiv WHERE AggDivID = 3; DELETE FROM "
                    "BaseMonthlyAggDiv WHERE AggDivID = 3;"
                    "UPDATE BaseYearlyWaterUser SET DepletionValue = -1 WHERE WaterUserID = 2"))
                .isOk());
    BaselineChangeLog log;
    log.waterUserEdited(1, 1, QStringLiteral("Upper Ditch"));
    run = runBaseline(log);
    QVERIFY(run.result.isOk());
    const QStringList expected {
        QStringLiteral("Calculating Baseline:"),
        QStringLiteral("Computing Agg Diversion 001.North Canal for the following reason(s):"),
        QStringLiteral("    Water User 001.Upper Ditch was edited"),
        QStringLiteral("Computing Water User 001.Upper Ditch for the following reason(s):"),
        QStringLiteral("    Water User 001.Upper Ditch was edited"),
        QStringLiteral("Skipping Water User 002.Lower Ditch"),
        QStringLiteral("Skipping Agg Diversion 2"),
        // Without results, and nothing recorded: no empty list of reasons.
        QStringLiteral("Computing Agg Diversion 003.East Canal (it had no results)"),
        QStringLiteral("Skipping Water User 004.East User"),
        QStringLiteral("Skipping Agg Diversion 4"),
    };
    QCOMPARE(run.diag, expected);
    // The skipped water user kept its rows; the recomputed site got its rows back.
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE WaterUserID = 2 "
                                "AND DepletionValue = -1")),
        4);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyAggDiv WHERE AggDivID = 3")),
        48);
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE WaterUserID = 1")),
        4);
}

void TestCalculatorsBaseline::siteWithOnlyMonthlyRowsCountsAsComputed()
{
    QVERIFY(_project->exec(smallBasinSql()).isOk());
    QVERIFY(_project->openInManager().isOk());
    QVERIFY(runBaseline(fullLog()).result.isOk());
    QVERIFY(
        _project->exec(QStringLiteral("DELETE FROM BaseYearlyAggDiv WHERE AggDivID = 2")).isOk());
    const CalcRun run = runBaseline(BaselineChangeLog());
    QVERIFY(run.diag.contains(QStringLiteral("Skipping Agg Diversion 2")));
    QCOMPARE(count(*_project,
                 QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv WHERE AggDivID = 2")),
        0);
}

QTEST_GUILESS_MAIN(TestCalculatorsBaseline)
#include "tst_calculators_baseline.moc"
