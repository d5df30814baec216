#include "support/CalcTestSupport.h"

#include "calc/AggDivBaselineDemandCalculator.h"
#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/ProjectValidator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "calc/ValueExplainer.h"
#include "calc/WaterUserBaselineDemandCalculator.h"
#include "db/ColumnNames.h"
#include "db/ProjectFile.h"
#include "db/SqliteHandle.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "support/TestProject.h"

#include <QFile>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>

namespace {

bool same(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return qFuzzyCompare(1.0 + a, 1.0 + b);
}

#define COMPARE_VALUE(actual, expected)                                                            \
    QVERIFY2(same((actual), (expected)),                                                           \
        qPrintable(QStringLiteral("%1 != %2").arg(actual).arg(expected)))

const double NaN = std::numeric_limits<double>::quiet_NaN();

// One statement on a private connection, for text the script splitter would cut (triggers).
void execRaw(const TestProject& project, const QStringList& statements)
{
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(project.path(), &status);
    QVERIFY(status.isOk());
    for (const QString& sql : statements) {
        QSqlQuery query(db);
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
    }
    ProjectFile::closeConnection(db);
}

CalcRun runBaseline(const BaselineChangeLog& log)
{
    BaselineDemandCalculator calculator;
    return runCalculator(calculator, log);
}

CalcRun runScenario(int scenarioID, const BaselineChangeLog& log)
{
    ScenarioDemandCalculator calculator(scenarioID, QStringLiteral("Dry"));
    return runCalculator(calculator, log);
}

BaselineChangeLog fullLog()
{
    BaselineChangeLog log;
    log.setFullRecalculation();
    return log;
}

// Every row of the baseline result tables without its key, sorted.
QStringList baselineResultRows(const TestProject& project)
{
    QStringList rows;
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(project.path(), &status);
    for (const char* table : { "BaseYearlyAggDiv", "BaseMonthlyAggDiv", "BaseYearlyWaterUser",
             "BaseMonthlyWaterUser" }) {
        QSqlQuery query(db);
        query.exec(QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table)));
        while (query.next()) {
            QStringList values { QLatin1String(table) };
            for (int column = 1; column < query.record().count(); ++column)
                values.append(query.value(column).toString());
            rows.append(values.join(QLatin1Char('|')));
        }
    }
    ProjectFile::closeConnection(db);
    rows.sort();
    return rows;
}

// SQLite's file change counter (header bytes 24 to 27): it moves with every committed write.
quint32 changeCounter(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(24))
        return 0;
    const QByteArray bytes = file.read(4);
    return bytes.size() == 4 ? qFromBigEndian<quint32>(bytes.constData()) : 0;
}

} // namespace

class TestCalculators : public QObject {
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
    void scenarioWithoutChangesMatchesBaseline();
    void newestChangeApplies_data();
    void newestChangeApplies();
    void amountChangeSharedAcrossSelection();
    void changeOfScenarioOnlyWaterUserFails();
    void invertedTimeRangeIsRefused_data();
    void invertedTimeRangeIsRefused();
    void explainTakesTheCalculationsSteps_data();
    void explainTakesTheCalculationsSteps();
    void explainComparesWithStoredRow_data();
    void explainComparesWithStoredRow();

private:
    std::unique_ptr<TestProject> _project;
};

void TestCalculators::init()
{
    resetDbManager();
    _project = std::make_unique<TestProject>(2000, 2003);
    QVERIFY(_project->isValid());
}

void TestCalculators::cleanup()
{
    resetDbManager();
    _project.reset();
}

void TestCalculators::baselineWaterUserValues()
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

void TestCalculators::baselineSiteSalinity()
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

void TestCalculators::siteWithoutWaterUsersWritesNullSalinity()
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

void TestCalculators::emptyBasinSucceeds()
{
    QVERIFY(_project->openInManager().isOk());
    const CalcRun run = runBaseline(fullLog());
    QVERIFY(run.result.isOk());
    QCOMPARE(run.diag, QStringList { QStringLiteral("Calculating Baseline:") });
    // The run's transaction was committed, not left open.
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    QVERIFY(TarnDbMgr::instance()->database().rollback());
}

void TestCalculators::progressEndsWithDefaultRecord()
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

void TestCalculators::skipRules()
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

void TestCalculators::siteWithOnlyMonthlyRowsCountsAsComputed()
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

void TestCalculators::writesOnlyWhatChanged_data()
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

void TestCalculators::writesOnlyWhatChanged()
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
void TestCalculators::keyThatNamesNoSingleRowFails()
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
void TestCalculators::projectCheckSameOnAnyNumberOfThreads()
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

void TestCalculators::failureRollsBackWholeRun_data()
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

void TestCalculators::failureRollsBackWholeRun()
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

void TestCalculators::oneSiteCalculator()
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

void TestCalculators::oneWaterUserCalculator()
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

void TestCalculators::missingWaterUserFails()
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

void TestCalculators::runInsideCallersTransaction()
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

void TestCalculators::scenarioWithoutChangesMatchesBaseline()
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

void TestCalculators::newestChangeApplies_data()
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

void TestCalculators::newestChangeApplies()
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

void TestCalculators::amountChangeSharedAcrossSelection()
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

void TestCalculators::changeOfScenarioOnlyWaterUserFails()
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

void TestCalculators::invertedTimeRangeIsRefused_data()
{
    QTest::addColumn<bool>("scenario");
    QTest::newRow("baseline") << false;
    QTest::newRow("scenario") << true;
}

void TestCalculators::invertedTimeRangeIsRefused()
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

// Scenario 1 "Dry" for the explanation rows; %1 its changes.
const char* const DryScenario
    = "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, 'Dry', 'D');";

void TestCalculators::explainTakesTheCalculationsSteps_data()
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
void TestCalculators::explainTakesTheCalculationsSteps()
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

void TestCalculators::explainComparesWithStoredRow_data()
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

void TestCalculators::explainComparesWithStoredRow()
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

QTEST_GUILESS_MAIN(TestCalculators)
#include "tst_calculators.moc"
