#include "DaoFixture.h"

#include "db/BaselineDAO.h"
#include "db/Password.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"

#include <QtTest>

// The baseline row with its time range and password digest, and the two lists that say whom a
// demand change applies to.
class TestBaselineScenario : public QObject {
    Q_OBJECT

private:
    BaselineDAO* baselines() const { return TarnDbMgr::instance()->baselineDAO(); }
    ScenarioDAO* scenarios() const { return TarnDbMgr::instance()->scenarioDAO(); }

    std::unique_ptr<TestProject> _project;

    int rows(const QString& sql) const { return count(*_project, sql); }
    static QString baselineColumn(int pos) { return testColumn(TN::BaselineTable, pos); }
    QVariant baselineValue(int pos) const
    {
        return _project->scalar(QStringLiteral("SELECT %1 FROM Baseline").arg(baselineColumn(pos)));
    }

    // Every water user has a row for every year of 2000 to 2010; demand changes 1 and 2.
    static QString yearsAndChangesSql()
    {
        return QStringLiteral(
            "WITH RECURSIVE y(Year) AS (SELECT 2000 UNION ALL SELECT Year + 1 FROM y"
            " WHERE Year < 2010) INSERT INTO WaterUserData (WaterUserID, Year, DepletionReq)"
            " SELECT wu.WaterUserID, y.Year, 1.0 FROM WaterUser wu, y;"
            "INSERT INTO DemandChg VALUES (1, 1, 'c1', NULL, NULL, 1, 1, 0),"
            " (2, 1, 'c2', NULL, NULL, 1, 1, 0)");
    }

private slots:
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void passwordDigest_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("hex");
        // Computed independently with Python's hashlib.sha3_512 over the UTF-8 bytes.
        QTest::newRow("empty") << QString()
                               << QByteArray("a69f73cca23a9ac5c8b567dc185a756e97c982164fe25859e0d1"
                                             "dcc1475c80a615b2123af1f5f94c11e3e9402c3ac558f500199d"
                                             "95b6d3e301758586281dcd26");
        QTest::newRow("ascii") << QStringLiteral("Riffle Wasser 2024")
                               << QByteArray("6b5537163b87cd2ac2bbe68b82222406ccfe641f21d1191afa97"
                                             "35df938ff1770d53f595db0b98e1bfe3ef456f2183c0b9dfc3c1"
                                             "259a8c0b9bb8dc77d7600b0d");
        QTest::newRow("non-ascii") << QStringLiteral("Gr\u00fc\u00dfe")
                                   << QByteArray("83b63296ada4ad81a287516dd1869dad997885896f571a74"
                                                 "5ba56bdb4e178028e4906ac90004aa465972b13d1a2cad68"
                                                 "c8035e4350589d866b8193cc9ae99faa");
    }

    void passwordDigest()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, hex);
        const QByteArray digest = Password::digest(text);
        QCOMPARE(digest.size(), 64);
        QCOMPARE(digest.toHex(), hex);
        QVERIFY(Password::matches(text, QByteArray::fromHex(hex)));
        QVERIFY(!Password::matches(text + QLatin1Char(' '), QByteArray::fromHex(hex)));
    }

    void getBaselineReadsRowZero()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("UPDATE Baseline SET OutputTypeID = 2, %1 = 'Upper basin', %2 = 'ana',"
                           " %3 = '2024-01-02', %4 = '2024-03-04', %5 = x'00ff10'")
                .arg(baselineColumn(TP::BaselineDescription), baselineColumn(TP::BaselineUserName),
                    baselineColumn(TP::BaselineCreatedDate),
                    baselineColumn(TP::BaselineModifiedDate),
                    baselineColumn(TP::BaselinePasswordHash))));
        Baseline baseline;
        QVERIFY_OK(baselines()->getBaseline(baseline));
        QCOMPARE(baseline.BaselineID, 1);
        QCOMPARE(baseline.Description, QStringLiteral("Upper basin"));
        QCOMPARE(baseline.ToolUserName, QStringLiteral("ana"));
        QCOMPARE(baseline.CreatedDate, QStringLiteral("2024-01-02"));
        QCOMPARE(baseline.ModifiedDate, QStringLiteral("2024-03-04"));
        QCOMPARE(baseline.StartYear, 2000);
        QCOMPARE(baseline.EndYear, 2010);
        QCOMPARE(baseline.outputTypeId, 2);
        QCOMPARE(baseline.outputTypeName, QStringLiteral("Scheduled"));
        QCOMPARE(baseline.PasswordHash, QByteArray::fromHex("00ff10"));
    }

    void saveBaselineGrowsTheYearsAndStoresTheRow()
    {
        QVERIFY_OK(openBasin(_project, yearsAndChangesSql()));
        Baseline baseline;
        QVERIFY_OK(baselines()->getBaseline(baseline));
        baseline.StartYear = 1999;
        baseline.EndYear = 2011;
        baseline.Description = QStringLiteral("grown");
        baseline.outputTypeId = 2;
        baseline.PasswordHash = Password::digest(QStringLiteral("secret"));
        QVERIFY_OK(baselines()->saveBaseline(baseline));

        for (int waterUserId = 1; waterUserId <= 5; ++waterUserId) {
            QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE WaterUserID ="
                                         " %1 AND Year IN (1999, 2011) AND DepletionReq IS NULL")
                              .arg(waterUserId)),
                2);
        }
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM WaterUserData")), 5 * 13);
        QCOMPARE(rows(QStringLiteral("SELECT StartYear FROM Baseline")), 1999);
        QCOMPARE(rows(QStringLiteral("SELECT EndYear FROM Baseline")), 2011);
        QCOMPARE(rows(QStringLiteral("SELECT OutputTypeID FROM Baseline")), 2);
        QCOMPARE(baselineValue(TP::BaselineDescription), QVariant(QStringLiteral("grown")));
        QCOMPARE(baselineValue(TP::BaselinePasswordHash).toByteArray(),
            Password::digest(QStringLiteral("secret")));

        // Saving the same range again adds nothing.
        QVERIFY_OK(baselines()->saveBaseline(baseline));
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM WaterUserData")), 5 * 13);

        // No password: the digest is stored empty and reads back empty.
        baseline.PasswordHash.clear();
        QVERIFY_OK(baselines()->saveBaseline(baseline));
        Baseline reread;
        QVERIFY_OK(baselines()->getBaseline(reread));
        QVERIFY(reread.PasswordHash.isEmpty());
    }

    void saveBaselineShrinksTheYears()
    {
        QVERIFY_OK(openBasin(_project, yearsAndChangesSql()));
        Baseline baseline;
        QVERIFY_OK(baselines()->getBaseline(baseline));
        baseline.StartYear = 2002;
        baseline.EndYear = 2008;
        QVERIFY_OK(baselines()->saveBaseline(baseline));
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM WaterUserData WHERE Year IN (2000,"
                                     " 2001, 2009, 2010)")),
            0);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM WaterUserData")), 5 * 7);
    }

    void saveBaselineKeepsTheRowWhenTheYearsCannotBeFitted()
    {
        QVERIFY_OK(openBasin(_project, yearsAndChangesSql()));
        QVERIFY_OK(refuse(*_project, QStringLiteral("INSERT"), QStringLiteral("WaterUserData"),
            QStringLiteral("yearly rows refused")));
        Baseline baseline;
        QVERIFY_OK(baselines()->getBaseline(baseline));
        baseline.StartYear = 1990;
        baseline.Description = QStringLiteral("never written");
        const TARN::okstat status = baselines()->saveBaseline(baseline);
        QVERIFY(status.failed());
        QVERIFY2(status.text().contains(QStringLiteral("yearly rows refused")),
            qPrintable(status.text()));
        QCOMPARE(rows(QStringLiteral("SELECT StartYear FROM Baseline")), 2000);
        QVERIFY(
            baselineValue(TP::BaselineDescription).toString() != QStringLiteral("never written"));
        QVERIFY(!baselines()->baselineModel()->isDirty());
        Baseline reread;
        QVERIFY_OK(baselines()->getBaseline(reread));
        QCOMPARE(reread.StartYear, 2000);
    }

    void demandChangeWaterUsers()
    {
        QVERIFY_OK(openBasin(_project, yearsAndChangesSql()));
        WaterUserList list { WaterUser() };
        QVERIFY_OK(scenarios()->getDemandChgWaterUsers(1, list));
        QVERIFY(list.isEmpty());

        WaterUser first;
        first.WaterUserID = 3;
        WaterUser second;
        second.WaterUserID = 4;
        QVERIFY_OK(scenarios()->setDemandChgWaterUsers(1, { first, second }));
        QVERIFY_OK(scenarios()->setDemandChgWaterUsers(2, { first }));
        QVERIFY_OK(scenarios()->getDemandChgWaterUsers(1, list));
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).WaterUserID, 3);
        QCOMPARE(list.at(0).WaterUserName, QStringLiteral("S-farm"));
        QCOMPARE(list.at(0).aggDiv.AggDivID, 2);
        QCOMPARE(list.at(0).aggDiv.SiteName, QStringLiteral("South"));
        QCOMPARE(list.at(0).aggDiv.salinityMethod.unitKind, int(TARN::UnitKindConcentration));
        QCOMPARE(list.at(1).ScenarioID, 1);

        // Replacing with an empty list leaves the change without explicit water users.
        QVERIFY_OK(scenarios()->setDemandChgWaterUsers(1, {}));
        QVERIFY_OK(scenarios()->getDemandChgWaterUsers(1, list));
        QVERIFY(list.isEmpty());
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM DemandChgWaterUser")), 1);
    }

    void demandChangeWaterUsersFailure()
    {
        QVERIFY_OK(openBasin(_project, yearsAndChangesSql()));
        WaterUser missing;
        missing.WaterUserID = 99;
        const TARN::okstat status = scenarios()->setDemandChgWaterUsers(1, { missing });
        QVERIFY(status.failed());
        QVERIFY2(status.text().contains(QStringLiteral("FOREIGN KEY")), qPrintable(status.text()));
    }

    void demandSelections()
    {
        QVERIFY_OK(openBasin(_project, yearsAndChangesSql()));
        AttrSelection upper;
        upper.AttrID = 1;
        upper.AttrValidValID = 2;
        AttrSelection farm;
        farm.AttrID = 2;
        farm.AttrValidValID = 5;
        QVERIFY_OK(scenarios()->setDemandSelections(1, true, { upper, farm }));
        QVERIFY_OK(scenarios()->setDemandSelections(2, true, { farm }));

        // Entries are appended to what the list holds.
        AttrSelection kept;
        kept.AttrName = QStringLiteral("kept");
        AttrSelectionList list { kept };
        QVERIFY_OK(scenarios()->getDemandSelections(1, list));
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.at(0).AttrName, QStringLiteral("kept"));
        QCOMPARE(list.at(1).AttrID, 1);
        QCOMPARE(list.at(1).AttrName, QStringLiteral("Basin"));
        QCOMPARE(list.at(1).typeId, 1);
        QCOMPARE(list.at(1).typeName, QStringLiteral("AggDiv"));
        QCOMPARE(list.at(1).AttrValidValID, 2);
        QCOMPARE(list.at(1).AttrVal, QStringLiteral("Upper"));
        QCOMPARE(list.at(2).typeName, QStringLiteral("WaterUser"));
        QCOMPARE(list.at(2).AttrVal, QStringLiteral("Farm"));

        // With the flag clear the filter goes and nothing is inserted.
        QVERIFY_OK(scenarios()->setDemandSelections(1, false, { upper, farm }));
        AttrSelectionList after;
        QVERIFY_OK(scenarios()->getDemandSelections(1, after));
        QVERIFY(after.isEmpty());
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM DemandSelection")), 1);
    }
};

QTEST_GUILESS_MAIN(TestBaselineScenario)
#include "tst_baselinescenario.moc"
