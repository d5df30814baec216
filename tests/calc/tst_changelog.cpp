#include "calc/BaselineChangeLog.h"

#include <QtTest>

class TestChangeLog : public QObject {
    Q_OBJECT

private slots:
    void entryText_data();
    void entryText();
    void addedStaysAddedAfterEdit();
    void waterUserEditMarksSiteChanged();
    void siteEntryComesFirst();
    void oneEntryPerWaterUser();
    void touchedSitesHaveNoName();
    void clearAndFlag();
};

void TestChangeLog::entryText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("isAggDiv");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("site edited") << 1 << true << 7 << "North Canal"
                                 << "Agg Diversion 007.North Canal was edited";
    QTest::newRow("water user edited") << 3 << false << 12 << "Upper Ditch"
                                       << "Water User 012.Upper Ditch was edited";
    QTest::newRow("water user added") << 4 << false << 1234 << "X"
                                      << "Water User 1234.X was added";
    QTest::newRow("water user deleted") << 5 << false << 5 << "Y"
                                        << "Water User 005.Y was deleted";
}

void TestChangeLog::entryText()
{
    QFETCH(int, kind);
    QFETCH(bool, isAggDiv);
    QFETCH(int, id);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    BaselineChangeLog::Entry entry;
    entry.kind = kind;
    entry.isAggDiv = isAggDiv;
    if (isAggDiv) {
        entry.aggDivID = id;
        entry.aggDivName = name;
    } else {
        entry.waterUserID = id;
        entry.waterUserName = name;
    }
    QCOMPARE(entry.text(), expected);
}

void TestChangeLog::addedStaysAddedAfterEdit()
{
    BaselineChangeLog log;
    log.waterUserAdded(3, 12, QStringLiteral("New Ditch"));
    log.waterUserEdited(3, 12, QStringLiteral("Renamed Ditch"));
    const QStringList reasons = log.aggDivReasons(3);
    QCOMPARE(reasons, QStringList { QStringLiteral("Water User 012.New Ditch was added") });
    QVERIFY(log.waterUserReason(3, 12).endsWith(QLatin1String("added")));
}

void TestChangeLog::waterUserEditMarksSiteChanged()
{
    BaselineChangeLog log;
    log.waterUserEdited(3, 12, QStringLiteral("Upper Ditch"));
    QVERIFY(log.aggDivChanged(3));
    QVERIFY(!log.aggDivChanged(4));
    QVERIFY(log.waterUserChanged(3, 12));
    QVERIFY(!log.waterUserChanged(3, 13));
    QVERIFY(!log.waterUserChanged(4, 12));
    QCOMPARE(log.waterUserReason(3, 12), QStringLiteral("Water User 012.Upper Ditch was edited"));
    QCOMPARE(log.waterUserReason(3, 13), QString());
    QCOMPARE(log.aggDivReasons(9), QStringList());
}

void TestChangeLog::siteEntryComesFirst()
{
    BaselineChangeLog log;
    log.waterUserEdited(3, 12, QStringLiteral("Upper Ditch"));
    log.aggDivEdited(3, QStringLiteral("North Canal"));
    log.aggDivEdited(3, QStringLiteral("North Canal 2"));
    const QStringList expected { QStringLiteral("Agg Diversion 003.North Canal 2 was edited"),
        QStringLiteral("Water User 012.Upper Ditch was edited") };
    QCOMPARE(log.aggDivReasons(3), expected);
}

void TestChangeLog::oneEntryPerWaterUser()
{
    BaselineChangeLog log;
    log.waterUserEdited(1, 5, QStringLiteral("A"));
    log.waterUserEdited(1, 6, QStringLiteral("B"));
    log.waterUserDeleted(1, 5, QStringLiteral("A"));
    const QStringList expected { QStringLiteral("Water User 005.A was deleted"),
        QStringLiteral("Water User 006.B was edited") };
    QCOMPARE(log.aggDivReasons(1), expected);
}

void TestChangeLog::touchedSitesHaveNoName()
{
    BaselineChangeLog log;
    log.aggDivsTouched(2, 8);
    QCOMPARE(log.aggDivReasons(2), QStringList { QStringLiteral("Agg Diversion 002. was edited") });
    QCOMPARE(log.aggDivReasons(8), QStringList { QStringLiteral("Agg Diversion 008. was edited") });
}

void TestChangeLog::clearAndFlag()
{
    BaselineChangeLog log;
    QVERIFY(!log.hasChanges());
    log.aggDivEdited(1, QStringLiteral("S"));
    QVERIFY(log.hasChanges());
    log.clear();
    QVERIFY(!log.hasChanges());
    QVERIFY(!log.aggDivChanged(1));

    log.setFullRecalculation();
    QVERIFY(log.hasChanges());
    QVERIFY(log.fullRecalculation());
    QVERIFY(!log.aggDivChanged(1));
    log.clear();
    QVERIFY(!log.fullRecalculation());
}

QTEST_APPLESS_MAIN(TestChangeLog)
#include "tst_changelog.moc"
