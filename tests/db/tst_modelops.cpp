#include "support/TestProject.h"

#include "db/DmiApi.h"
#include "db/ModelOps.h"
#include "db/PlotDAO.h"
#include "db/TarnDbMgr.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <vector>

class TestModelOps : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestProject> _project;

    // Sites 1 and 2, water user 1 at site 1, scenarios "B" (id 1) and "A" (id 2), curves 1, 5, 10
    // and 21 of plot 1.
    void makeFixture()
    {
        _project = std::make_unique<TestProject>(2000, 2001);
        QVERIFY(
            _project
                ->exec(QStringLiteral(
                    "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName) VALUES "
                    "  (1, 1, 'Upper', 'UpperRiffle'), (2, 2, 'Lower', 'LowerRiffle');"
                    "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName) "
                    "VALUES "
                    "  (1, 1, 'Farm', 'FarmRiffle');"
                    "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES "
                    "  (1, 'Scenario B', 'B'), (2, 'Scenario A', 'A');"
                    "INSERT INTO Plot (PlotID, Name) VALUES (1, 'Plot');"
                    "INSERT INTO PlotCurve (PlotCurveID, PlotID, Name) VALUES "
                    "  (1, 1, 'one'), (5, 1, 'five'), (10, 1, 'ten'), (21, 1, 'twenty-one')"))
                .isOk());
        QVERIFY(_project->openInManager().isOk());
    }

    void insertMonths(const QString& table, const QString& owner, int ownerId, int scenarioId,
        int firstYear, int months)
    {
        QSqlQuery insert(TarnDbMgr::instance()->database());
        const bool scenario = scenarioId >= 0;
        insert.prepare(
            QStringLiteral(
                "INSERT INTO %1 (BaselineID, %2%3, Month, %4) VALUES (1, %5:owner, :month, :v%6)")
                .arg(table, scenario ? QStringLiteral("ScenarioID, ") : QString(), owner,
                    table.contains(QLatin1String("AggDiv"))
                        ? QStringLiteral("AggDivSalinityValue")
                        : QStringLiteral("DiversionValue, DepletionValue"),
                    scenario ? QStringLiteral(":scenario, ") : QString(),
                    table.contains(QLatin1String("AggDiv")) ? QString() : QStringLiteral(", :d")));
        for (int i = 0; i < months; ++i) {
            if (scenario)
                insert.bindValue(QStringLiteral(":scenario"), scenarioId);
            insert.bindValue(QStringLiteral(":owner"), ownerId);
            insert.bindValue(
                QStringLiteral(":month"), TARN::monthKey(firstYear + i / 12, i % 12 + 1));
            insert.bindValue(
                QStringLiteral(":v"), i == 3 ? TARN::fromDouble(TARN::nan()) : QVariant(i + 0.5));
            if (!table.contains(QLatin1String("AggDiv")))
                insert.bindValue(QStringLiteral(":d"), 100.0 + i);
            QVERIFY2(insert.exec(), qPrintable(insert.lastQuery()));
        }
    }

private slots:
    void init() { makeFixture(); }
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void monthKeys_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("key");
        QTest::newRow("march") << 2015 << 3 << QStringLiteral("2015-03-01");
        QTest::newRow("december") << 1999 << 12 << QStringLiteral("1999-12-01");
    }
    void monthKeys()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(QString, key);
        QCOMPARE(TARN::monthKey(year, month), key);
    }

    void betweenSelectsTwelveMonths()
    {
        insertMonths(
            QStringLiteral("BaseMonthlyWaterUser"), QStringLiteral("WaterUserID"), 1, -1, 2015, 24);
        QSqlQuery query(TarnDbMgr::instance()->database());
        QVERIFY(query.exec(
            QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyWaterUser WHERE WaterUserID = 1 "
                           "AND Month BETWEEN '2015-10-01' AND '2016-09-01'")));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toInt(), 12);
    }

    void toDoubleReadsStoredValues_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("missing");
        QTest::newRow("real") << QVariant(2.5) << 2.5 << false;
        QTest::newRow("integer") << QVariant(100) << 100.0 << false;
        QTest::newRow("long long") << QVariant(qlonglong(7)) << 7.0 << false;
        QTest::newRow("null") << QVariant(QVariant::Double) << 0.0 << true;
        QTest::newRow("text") << QVariant(QStringLiteral("n/a")) << 0.0 << true;
    }
    void toDoubleReadsStoredValues()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, expected);
        QFETCH(bool, missing);
        const double value = TARN::toDouble(stored);
        QCOMPARE(std::isnan(value), missing);
        if (!missing)
            QCOMPARE(value, expected);
    }

    // Numbers pasted from a spreadsheet keep the thousands separators of the locale it wrote
    // them in; a plain number reads the same everywhere.
    void pastedNumbers_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("number");
        QTest::addColumn<double>("expected");
        QTest::newRow("plain") << "C"
                               << " 1234.5 " << true << 1234.5;
        QTest::newRow("exponent") << "C"
                                  << "2.5e3" << true << 2500.0;
        QTest::newRow("English separators, C desktop") << "C"
                                                       << "1,234.5" << true << 1234.5;
        QTest::newRow("English separators") << "en_US"
                                            << "1,234,567.25" << true << 1234567.25;
        QTest::newRow("German separators") << "de_DE"
                                           << "1.234,5" << true << 1234.5;
        QTest::newRow("German decimal comma") << "de_DE"
                                              << "0,4" << true << 0.4;
        QTest::newRow("plain on a German desktop") << "de_DE"
                                                   << "1234.5" << true << 1234.5;
        QTest::newRow("misplaced separator") << "en_US"
                                             << "1,23" << false << 0.0;
        QTest::newRow("text") << "en_US"
                              << "n/a" << false << 0.0;
        QTest::newRow("infinity") << "C"
                                  << "inf" << false << 0.0;
    }
    void pastedNumbers()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, number);
        QFETCH(double, expected);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        double value = 0.0;
        const bool parsed = TARN::parsePasted(text, value);
        QLocale::setDefault(before);
        QCOMPARE(parsed, number);
        if (number)
            QCOMPARE(value, expected);
    }

    void filterByIdShowsOneRow()
    {
        auto* model = TarnDbMgr::instance()->plotDAO()->plotCurveModel();
        QVERIFY(ModelOps::filterById(model, 5, QStringLiteral("PlotCurveID")));
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(model->filter(), QStringLiteral("PlotCurve.PlotCurveID = 5"));
        QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("five"));
        QVERIFY(ModelOps::resetAndSelect(model));
        QCOMPARE(model->rowCount(), 4);
    }

    void findRowById()
    {
        auto* model = TarnDbMgr::instance()->plotDAO()->plotCurveModel();
        const QModelIndex found = ModelOps::findRowById(model, 10);
        QVERIFY(found.isValid());
        QCOMPARE(model->index(found.row(), 2).data().toString(), QStringLiteral("ten"));
        QVERIFY(!ModelOps::findRowById(model, 2).isValid());
        QList<int> ids { 99 };
        ModelOps::idList(model, ids);
        QCOMPARE(ids, (QList<int> { 1, 5, 10, 21 }));
    }

    void selectAndDeleteWhere_data()
    {
        QTest::addColumn<bool>("staleError");
        QTest::newRow("fresh connection") << false;
        // A begin that failed leaves its text on the connection; the statement's own error
        // must be reported all the same.
        QTest::newRow("after a failed begin") << true;
    }
    void selectAndDeleteWhere()
    {
        QFETCH(bool, staleError);
        if (staleError) {
            TarnDbMgr* mgr = TarnDbMgr::instance();
            QVERIFY(mgr->beginTransaction().isOk());
            QVERIFY(mgr->beginTransaction().failed());
            QVERIFY(mgr->database().rollback());
            QVERIFY(!mgr->database().lastError().text().isEmpty());
        }
        auto* model = TarnDbMgr::instance()->plotDAO()->plotCurveModel();
        QSqlQuery query = ModelOps::selectWhere(model, 21, QStringLiteral("PlotCurveID"));
        QVERIFY(query.isActive());
        QVERIFY(query.next());
        QCOMPARE(query.value(2).toString(), QStringLiteral("twenty-one"));
        QVERIFY(ModelOps::deleteWhere(model, QStringLiteral("PlotID"), 1).isOk());
        QVERIFY(ModelOps::selectAll(model));
        QCOMPARE(model->rowCount(), 0);
        const TARN::okstat bad = ModelOps::deleteWhere(model, QStringLiteral("NoSuchColumn"), 1);
        QVERIFY(bad.failed());
        QVERIFY2(bad.text().startsWith(
                     QStringLiteral("Error deleting rows from PlotCurve where NoSuchColumn='1': ")),
            qPrintable(bad.text()));
        QVERIFY2(bad.text().contains(QStringLiteral("no such column")), qPrintable(bad.text()));
    }

    void scenariosSortedAfterBaseline()
    {
        DmiApi api(nullptr);
        QList<DmiApi::ScenarioEntry> list;
        QVERIFY(api.getScenarios(list, true).isOk());
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.at(0), DmiApi::ScenarioEntry(-1, QStringLiteral("Baseline Monthly Data")));
        QCOMPARE(list.at(1), DmiApi::ScenarioEntry(2, QStringLiteral("A")));
        QCOMPARE(list.at(2), DmiApi::ScenarioEntry(1, QStringLiteral("B")));
        QVERIFY(api.getScenarios(list, false).isOk());
        QCOMPARE(list.size(), 2);
        QString name = QStringLiteral("unchanged");
        QVERIFY(api.getScenarioName(2, name).isOk());
        QCOMPARE(name, QStringLiteral("Scenario A"));
        QVERIFY(api.getScenarioName(99, name).isOk());
        QCOMPARE(name, QStringLiteral("Scenario A"));
    }

    void waterUserSeries_data()
    {
        QTest::addColumn<int>("scenarioId");
        QTest::newRow("baseline") << -1;
        QTest::newRow("scenario") << 2;
    }
    void waterUserSeries()
    {
        QFETCH(int, scenarioId);
        const QString table = scenarioId < 0 ? QStringLiteral("BaseMonthlyWaterUser")
                                             : QStringLiteral("ScenarioMonthlyWaterUser");
        // 2000-2001 plus a month outside the range on each side.
        insertMonths(table, QStringLiteral("WaterUserID"), 1, scenarioId, 1999, 12 * 3 + 1);
        DmiApi api(nullptr);
        WaterUser user;
        user.WaterUserID = 1;
        user.RiffleName = QStringLiteral("FarmRiffle");
        std::vector<double> diversion(24, -1), depletion(24, -1);
        std::vector<qint64> stamps(24, 0);
        bool found = false;
        const TARN::okstat status
            = api.getWaterUserSeries(scenarioId, user, QStringLiteral("Upper"), 2000, 2001, 24,
                found, diversion.data(), depletion.data(), 1, 12, stamps.data());
        QVERIFY2(status.isOk(), qPrintable(status.text()));
        QVERIFY(found);
        QCOMPARE(diversion[0], 12.5); // January 2000 is the 13th stored month
        QCOMPARE(depletion[23], 100.0 + 35);
        QCOMPARE(stamps[0], QDateTime(QDate(2000, 1, 1), QTime(0, 0)).toMSecsSinceEpoch());
        QCOMPARE(stamps[23], QDateTime(QDate(2001, 12, 1), QTime(0, 0)).toMSecsSinceEpoch());
    }

    void seriesNullBecomesNan()
    {
        insertMonths(
            QStringLiteral("BaseMonthlyAggDiv"), QStringLiteral("AggDivID"), 1, -1, 2000, 24);
        DmiApi api(nullptr);
        AggDiv site;
        site.AggDivID = 1;
        std::vector<double> values(24, -1);
        bool found = false;
        QVERIFY(api.getAggDivSalinitySeries(-1, site, 2000, 2001, 24, found, values.data()).isOk());
        QVERIFY(found);
        QVERIFY(std::isnan(values[3]));
        QCOMPARE(values[23], 23.5);
    }

    void seriesWithoutRowsIsNotFound()
    {
        DmiApi api(nullptr);
        AggDiv site;
        site.AggDivID = 2;
        std::vector<double> values(24, -7);
        bool found = true;
        QVERIFY(api.getAggDivSalinitySeries(1, site, 2000, 2001, 24, found, values.data()).isOk());
        QVERIFY(!found);
        QCOMPARE(values[0], -7.0);
    }

    void seriesWithTooManyRowsFails()
    {
        insertMonths(
            QStringLiteral("BaseMonthlyAggDiv"), QStringLiteral("AggDivID"), 1, -1, 2000, 24);
        // A broken calculation may leave a duplicate month behind.
        QSqlQuery dup(TarnDbMgr::instance()->database());
        QVERIFY(
            dup.exec(QStringLiteral("INSERT INTO BaseMonthlyAggDiv (BaselineID, AggDivID, Month, "
                                    "AggDivSalinityValue) VALUES (1, 1, '2000-05-01', 1)")));
        DmiApi api(nullptr);
        AggDiv site;
        site.AggDivID = 1;
        std::vector<double> values(24);
        bool found = false;
        const TARN::okstat status
            = api.getAggDivSalinitySeries(-1, site, 2000, 2001, 24, found, values.data());
        QCOMPARE(status.text(),
            QStringLiteral("Incorrect number of rows in the database. Please try fully "
                           "recalculating before attempting to export again."));
        QVERIFY(!found);
    }

    // Each row goes to the month its key names, through the fast path and through QSqlQuery
    // alike: a month without a row stays missing instead of pulling the later months forward.
    void seriesPlacedByMonth_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<bool>("waterUser");
        QTest::addColumn<int>("scenarioId");
        for (const bool direct : { true, false }) {
            const char* path = direct ? "direct" : "QSqlQuery";
            QTest::addRow("%s, site, baseline", path) << direct << false << -1;
            QTest::addRow("%s, site, scenario", path) << direct << false << 2;
            QTest::addRow("%s, water user, baseline", path) << direct << true << -1;
            QTest::addRow("%s, water user, scenario", path) << direct << true << 2;
        }
    }
    void seriesPlacedByMonth()
    {
        QFETCH(bool, direct);
        QFETCH(bool, waterUser);
        QFETCH(int, scenarioId);
        QSqlDatabase db = TarnDbMgr::instance()->database();
        QVERIFY(DmiApi::directReadAvailable(db)); // Qt's driver runs on the linked libsqlite3
        DmiApi::setDirectReadEnabled(direct);
        QCOMPARE(DmiApi::directReadAvailable(db), direct);
        const QString table
            = QStringLiteral("%1Monthly%2")
                  .arg(scenarioId < 0 ? QStringLiteral("Base") : QStringLiteral("Scenario"),
                      waterUser ? QStringLiteral("WaterUser") : QStringLiteral("AggDiv"));
        const QString owner
            = waterUser ? QStringLiteral("WaterUserID") : QStringLiteral("AggDivID");
        insertMonths(table, owner, 1, scenarioId, 2000, 24);
        // March 2000 and all of 2001 from October on are missing.
        QSqlQuery gap(db);
        QVERIFY(gap.exec(QStringLiteral("DELETE FROM %1 WHERE Month = '2000-03-01' OR Month >= "
                                        "'2001-10-01'")
                             .arg(table)));

        DmiApi api(nullptr);
        std::vector<double> first(24, -1), second(24, -1);
        bool found = false;
        TARN::okstat status;
        if (waterUser) {
            WaterUser user;
            user.WaterUserID = 1;
            status = api.getWaterUserSeries(scenarioId, user, QStringLiteral("Upper"), 2000, 2001,
                24, found, first.data(), second.data());
        } else {
            AggDiv site;
            site.AggDivID = 1;
            status = api.getAggDivSalinitySeries(
                scenarioId, site, 2000, 2001, 24, found, first.data());
        }
        DmiApi::setDirectReadEnabled(true);
        QVERIFY2(status.isOk(), qPrintable(status.text()));
        QVERIFY(found);
        for (int i = 0; i < 24; ++i) {
            const bool missing = i == 2 || i >= 21;
            // insertMonths stores i + 0.5 in month i, except NULL in month 3.
            if (missing || i == 3)
                QVERIFY2(std::isnan(first[i]), qPrintable(QString::number(i)));
            else
                QCOMPARE(first[i], i + 0.5);
            if (waterUser) {
                if (missing)
                    QVERIFY2(std::isnan(second[i]), qPrintable(QString::number(i)));
                else
                    QCOMPARE(second[i], 100.0 + i);
            }
        }
    }

    void badMonthKeysAreReported_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("message");
        const QString twice = QStringLiteral("Incorrect number of rows in the database. Please "
                                             "try fully recalculating before attempting to "
                                             "export again.");
        for (const bool direct : { true, false }) {
            const char* path = direct ? "direct" : "QSqlQuery";
            QTest::addRow("%s, month stored twice", path)
                << direct << QStringLiteral("2000-05-01") << twice;
            QTest::addRow("%s, not a month key", path)
                << direct << QStringLiteral("2000-05-15")
                << QStringLiteral("Unexpected month \"2000-05-15\" in the database. Please try "
                                  "fully recalculating before attempting to export again.");
        }
    }
    void badMonthKeysAreReported()
    {
        QFETCH(bool, direct);
        QFETCH(QString, month);
        QFETCH(QString, message);
        insertMonths(
            QStringLiteral("BaseMonthlyAggDiv"), QStringLiteral("AggDivID"), 1, -1, 2000, 23);
        QSqlQuery extra(TarnDbMgr::instance()->database());
        extra.prepare(QStringLiteral("INSERT INTO BaseMonthlyAggDiv (BaselineID, AggDivID, Month, "
                                     "AggDivSalinityValue) VALUES (1, 1, :month, 1)"));
        extra.bindValue(QStringLiteral(":month"), month);
        QVERIFY(extra.exec());
        DmiApi::setDirectReadEnabled(direct);
        DmiApi api(nullptr);
        AggDiv site;
        site.AggDivID = 1;
        std::vector<double> values(24);
        bool found = true;
        const TARN::okstat status
            = api.getAggDivSalinitySeries(-1, site, 2000, 2001, 24, found, values.data());
        DmiApi::setDirectReadEnabled(true);
        QCOMPARE(status.text(), message);
        QVERIFY(!found);
    }

    void seriesReportsMissingTable()
    {
        QSqlQuery drop(TarnDbMgr::instance()->database());
        QVERIFY(drop.exec(QStringLiteral("DROP TABLE ScenarioMonthlyAggDiv")));
        DmiApi api(nullptr);
        AggDiv site;
        site.AggDivID = 1;
        site.RiffleName = QStringLiteral("UpperRiffle");
        std::vector<double> values(12);
        bool found = false;
        const TARN::okstat status
            = api.getAggDivSalinitySeries(1, site, 2000, 2000, 12, found, values.data());
        QVERIFY2(status.text().startsWith(
                     QStringLiteral("Error reading salinity values for \"UpperRiffle\": ")),
            qPrintable(status.text()));
    }
};

QTEST_GUILESS_MAIN(TestModelOps)
#include "tst_modelops.moc"
