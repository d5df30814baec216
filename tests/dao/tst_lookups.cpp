#include "DaoFixture.h"

#include "db/AttributeDAO.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"

#include <QtTest>

// The reads and the creation the dialogs ask the data-access objects for by key.
class TestLookups : public QObject {
    Q_OBJECT

private:
    WaterUserDAO* waterUsers() const { return TarnDbMgr::instance()->waterUserDAO(); }
    AttributeDAO* attributes() const { return TarnDbMgr::instance()->attributeDAO(); }

    std::unique_ptr<TestProject> _project;

private slots:
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    // The order follows the site's baseline water users only; a scenario's own do not count.
    void createGivesTheKeyOfTheRowMade_data()
    {
        QTest::addColumn<int>("aggDivId");
        QTest::addColumn<int>("scenarioId");
        QTest::addColumn<int>("ord");
        QTest::newRow("baseline, after N-town") << 1 << -1 << 3;
        QTest::newRow("baseline, first of its site") << 3 << -1 << 1;
        QTest::newRow("scenario's own") << 1 << 2 << 3;
    }

    void createGivesTheKeyOfTheRowMade()
    {
        QFETCH(int, aggDivId);
        QFETCH(int, scenarioId);
        QFETCH(int, ord);
        QVERIFY_OK(openBasin(_project));
        int newId = 0;
        QVERIFY_OK(waterUsers()->create(
            aggDivId, scenarioId, QStringLiteral("W"), QStringLiteral("RW"), newId));
        QCOMPARE(newId, 6);
        QCOMPARE(count(*_project, QStringLiteral("SELECT MAX(WaterUserID) FROM WaterUser")), 6);
        WaterUser made;
        QVERIFY_OK(waterUsers()->getWaterUser(newId, made));
        QCOMPARE(made.WaterUserName, QStringLiteral("W"));
        QCOMPARE(made.RiffleName, QStringLiteral("RW"));
        QCOMPARE(made.aggDiv.AggDivID, aggDivId);
        QCOMPARE(made.ScenarioID, scenarioId == -1 ? 0 : scenarioId);
        QCOMPARE(made.Ord, ord);
        QVERIFY(!waterUsers()->waterUserModel()->isDirty());
    }

    void matchingOwnersNeedsAValueOfEveryGroup_data()
    {
        QTest::addColumn<bool>("forSites");
        QTest::addColumn<QList<QList<int>>>("groups");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("sites, one value")
            << true << QList<QList<int>> { { 2 } } << QList<int> { 1 };
        QTest::newRow("sites, either value")
            << true << QList<QList<int>> { { 2, 3 } } << QList<int> { 1, 2 };
        QTest::newRow("water users, two attributes")
            << false << QList<QList<int>> { { 5 }, { 5, 6 } } << QList<int> { 1, 3 };
        QTest::newRow("water users, no owner")
            << false << QList<QList<int>> { { 5 }, { 6 } } << QList<int> {};
    }

    void matchingOwnersNeedsAValueOfEveryGroup()
    {
        QFETCH(bool, forSites);
        QFETCH(QList<QList<int>>, groups);
        QFETCH(QList<int>, expected);
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES"
                           " (1, 1, 2), (1, 2, 3), (1, 3, 1);"
                           "INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES"
                           " (2, 1, 5), (2, 2, 6), (2, 3, 5)")));
        QList<int> ids;
        QVERIFY_OK(attributes()->matchingOwners(forSites, groups, ids));
        QCOMPARE(ids, expected);
    }
};

QTEST_GUILESS_MAIN(TestLookups)
#include "tst_lookups.moc"
