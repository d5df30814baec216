#include "SiteWaterUserFixture.h"

class TestSiteWaterUserSites : public SiteWaterUserFixture {
    Q_OBJECT

private slots:
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void getAggDivReadsOneSiteAndResetsTheModel()
    {
        QVERIFY_OK(openBasin(_project));
        AggDiv site;
        QVERIFY_OK(sites()->getAggDiv(2, site));
        QCOMPARE(site.AggDivID, 2);
        QCOMPARE(site.BaselineID, 1);
        QCOMPARE(site.SiteName, QStringLiteral("South"));
        QCOMPARE(site.RiffleName, QStringLiteral("RS"));
        QCOMPARE(site.Notes, QStringLiteral("s"));
        QCOMPARE(site.Ord, 2);
        QCOMPARE(site.salinityMethod.id, 3);
        QCOMPARE(site.salinityMethod.unitKind, int(TARN::UnitKindConcentration));
        QCOMPARE(sites()->aggDivModel()->filter(), QString());
        QCOMPARE(sites()->aggDivModel()->rowCount(), 3);
    }

    void getAggDivOfMissingIdGivesEmptyRecord()
    {
        QVERIFY_OK(openBasin(_project));
        AggDiv site;
        site.AggDivID = 7;
        site.SiteName = QStringLiteral("old");
        QVERIFY_OK(sites()->getAggDiv(99, site));
        QCOMPARE(site.AggDivID, 0);
        QVERIFY(site.SiteName.isEmpty());
        QCOMPARE(sites()->aggDivModel()->rowCount(), 3);
    }

    void getAggDivsFollowsTheModel()
    {
        QVERIFY_OK(openBasin(_project));
        AggDivList list { AggDiv() };
        QVERIFY_OK(sites()->getAggDivs(list));
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.at(0).SiteName, QStringLiteral("North"));
        QCOMPARE(list.at(2).salinityMethod.label, QStringLiteral("Mass Removal (tons/yr)"));
    }

    void saveAggDivsInsertsAndUpdates()
    {
        QVERIFY_OK(openBasin(_project));
        AggDiv fresh;
        fresh.salinityMethod = SalinityMethodInfo::fromId(2);
        fresh.SiteName = QStringLiteral("West");
        fresh.RiffleName = QStringLiteral("RW");
        fresh.Ord = 4;
        AggDiv north;
        QVERIFY_OK(sites()->getAggDiv(1, north));
        north.SiteName = QStringLiteral("North renamed");
        north.salinityMethod = SalinityMethodInfo::fromId(4);
        AggDivList list { fresh, north };
        QVERIFY_OK(sites()->saveAggDivs(list));
        QCOMPARE(list.at(0).AggDivID, 4);
        QCOMPARE(list.at(1).AggDivID, 1);
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM AggDiv")), 4);
        QCOMPARE(_project->scalar(QStringLiteral("SELECT SiteName FROM AggDiv WHERE AggDivID = 1")),
            QVariant(QStringLiteral("North renamed")));
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT SalinityMethodID FROM AggDiv WHERE AggDivID = 1")),
            4);
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT SalinityMethodID FROM AggDiv WHERE AggDivID = 4")),
            2);
    }

    void saveAggDivsStopsAtTheFirstFailure()
    {
        QVERIFY_OK(openBasin(_project));
        AggDiv good;
        good.SiteName = QStringLiteral("Good");
        good.salinityMethod = SalinityMethodInfo::fromId(1);
        AggDiv bad = good;
        bad.SiteName = QStringLiteral("Bad");
        bad.salinityMethod.id = 9; // no such method
        AggDiv never = good;
        never.SiteName = QStringLiteral("Never");
        AggDivList list { good, bad, never };
        const TARN::okstat status = sites()->saveAggDivs(list);
        QVERIFY(status.failed());
        QVERIFY2(status.text().contains(QStringLiteral("FOREIGN KEY")), qPrintable(status.text()));
        QVERIFY(list.at(0).AggDivID != 0);
        QCOMPARE(list.at(2).AggDivID, 0);
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM AggDiv")), 4);
    }

    void deleteAggDivTakesItsWaterUsers()
    {
        QVERIFY_OK(openBasin(_project));
        AggDiv north;
        north.AggDivID = 1;
        QVERIFY_OK(sites()->deleteAggDiv(north));
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM AggDiv")), 2);
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM WaterUser")), 2);
    }

    void siteAttributesRoundTrip()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO AggDivAttr (AggDivAttrID, AttrID, AggDivID,"
                           " AttrValidValID) VALUES (10, 1, 1, 2)")));
        QList<AggDivAttr> attrs { AggDivAttr() };
        QVERIFY_OK(sites()->getAggDivAttrs(1, attrs));
        QCOMPARE(attrs.size(), 1);
        const AggDivAttr attr = attrs.first();
        QCOMPARE(attr.id, 10);
        QCOMPARE(attr.AggDivID, 1);
        QCOMPARE(attr.attribute.AttrID, 1);
        QCOMPARE(attr.attribute.BaselineID, 1);
        QCOMPARE(attr.attribute.AttrName, QStringLiteral("Basin"));
        QCOMPARE(attr.attribute.typeId, 1);
        QCOMPARE(attr.attribute.typeName, QStringLiteral("AggDiv"));
        QCOMPARE(attr.value.AttrValidValID, 2);
        QCOMPARE(attr.value.AttrID, 1);
        QCOMPARE(attr.value.AttrVal, QStringLiteral("Upper"));

        // A second assignment of the same owner and attribute replaces the value.
        attrs.first().value.AttrValidValID = 3;
        AggDivAttr south = attr;
        south.id = 0;
        south.AggDivID = 2;
        attrs.append(south);
        QVERIFY_OK(sites()->saveAggDivAttrs(attrs));
        QCOMPARE(attrs.at(0).id, 10);
        QVERIFY(attrs.at(1).id != 0);
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT AttrValidValID FROM AggDivAttr"
                                    " WHERE AggDivAttrID = 10")),
            3);
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM AggDivAttr")), 2);

        AggDivAttr duplicate = attr;
        duplicate.id = 0;
        duplicate.value.AttrValidValID = 2;
        QList<AggDivAttr> again { duplicate };
        QVERIFY_OK(sites()->saveAggDivAttrs(again));
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM AggDivAttr")), 2);
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT AttrValidValID FROM AggDivAttr"
                                    " WHERE AggDivAttrID = 10")),
            2);
    }

    // A record without a key for an owner and attribute that already have a row updates that
    // row; the record must come back with that row's key, not with whatever was inserted last,
    // or its next save would write over another owner's row.
    void assignmentKeyIsReadBackByOwner_data()
    {
        QTest::addColumn<bool>("waterUser");
        QTest::newRow("site") << false;
        QTest::newRow("water user") << true;
    }
    void assignmentKeyIsReadBackByOwner()
    {
        QFETCH(bool, waterUser);
        const QString table
            = waterUser ? QStringLiteral("WaterUserAttr") : QStringLiteral("AggDivAttr");
        const QString key = table + QStringLiteral("ID");
        const QString owner
            = waterUser ? QStringLiteral("WaterUserID") : QStringLiteral("AggDivID");
        // Owner 1 has row 10; owner 3 gets a new row below, the connection's last insert.
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO %1 (%2, AttrID, %3, AttrValidValID) VALUES (10, %4, 1, %5)")
                .arg(table, key, owner, waterUser ? QStringLiteral("2") : QStringLiteral("1"),
                    waterUser ? QStringLiteral("5") : QStringLiteral("2"))));
        const int attrId = waterUser ? 2 : 1;
        const QList<int> values = waterUser ? QList<int> { 5, 6 } : QList<int> { 2, 3 };
        auto save = [&](int id, int ownerId, int value, int& newId) {
            Attribute attribute;
            attribute.AttrID = attrId;
            if (waterUser) {
                WaterUserAttr attr;
                attr.id = id;
                attr.WaterUserID = ownerId;
                attr.attribute = attribute;
                attr.value.AttrValidValID = value;
                QList<WaterUserAttr> list { attr };
                const TARN::okstat status = waterUsers()->saveWaterUserAttrs(list);
                newId = list.first().id;
                return status;
            }
            AggDivAttr attr;
            attr.id = id;
            attr.AggDivID = ownerId;
            attr.attribute = attribute;
            attr.value.AttrValidValID = value;
            QList<AggDivAttr> list { attr };
            const TARN::okstat status = sites()->saveAggDivAttrs(list);
            newId = list.first().id;
            return status;
        };
        int otherId = 0;
        QVERIFY_OK(save(0, 3, values.at(1), otherId));
        QVERIFY(otherId != 0 && otherId != 10);

        int id = 0;
        QVERIFY_OK(save(0, 1, values.at(1), id));
        QCOMPARE(id, 10);
        QVERIFY_OK(save(id, 1, values.at(0), id));
        QCOMPARE(id, 10);
        auto valueOf = [&](int row) {
            return count(*_project,
                QStringLiteral("SELECT AttrValidValID FROM %1 WHERE %2 = %3")
                    .arg(table, key, QString::number(row)));
        };
        QCOMPARE(valueOf(10), values.at(0));
        QCOMPARE(valueOf(otherId), values.at(1)); // owner 3's row is left alone
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)), 2);
    }
};

QTEST_GUILESS_MAIN(TestSiteWaterUserSites)
#include "tst_sitewateruser_sites.moc"
