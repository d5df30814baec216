#include "SiteWaterUserFixture.h"

class TestSiteWaterUserWaterusers : public SiteWaterUserFixture {
    Q_OBJECT

private slots:
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void getWaterUserReadsTheJoinedSite()
    {
        QVERIFY_OK(openBasin(_project));
        WaterUser user;
        QVERIFY_OK(waterUsers()->getWaterUser(4, user));
        QCOMPARE(user.WaterUserID, 4);
        QCOMPARE(user.ScenarioID, 1);
        QCOMPARE(user.WaterUserName, QStringLiteral("N-new"));
        QCOMPARE(user.RiffleName, QStringLiteral("RNN"));
        QCOMPARE(user.Ord, 3);
        QCOMPARE(user.aggDiv.AggDivID, 1);
        QCOMPARE(user.aggDiv.SiteName, QStringLiteral("North"));
        QCOMPARE(user.aggDiv.RiffleName, QStringLiteral("RN"));
        QCOMPARE(user.aggDiv.Notes, QStringLiteral("n"));
        QCOMPARE(user.aggDiv.Ord, 1);
        QCOMPARE(user.aggDiv.salinityMethod.slotName,
            QStringLiteral("Return Flow Salinity Pickup Mass"));

        WaterUser baseline;
        QVERIFY_OK(waterUsers()->getWaterUser(1, baseline));
        QCOMPARE(baseline.ScenarioID, 0);
        QCOMPARE(baseline.Notes, QStringLiteral("x"));

        WaterUser untouched;
        untouched.WaterUserName = QStringLiteral("kept");
        QVERIFY_OK(waterUsers()->getWaterUser(99, untouched));
        QCOMPARE(untouched.WaterUserName, QStringLiteral("kept"));
    }

    void getWaterUsersScopes_data()
    {
        QTest::addColumn<int>("aggDivId");
        QTest::addColumn<int>("scenarioId");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("baseline, all sites") << 0 << 0 << QList<int> { 1, 2, 3 };
        QTest::newRow("baseline, one site") << 1 << 0 << QList<int> { 1, 2 };
        QTest::newRow("scenario 1") << 0 << 1 << QList<int> { 4 };
        QTest::newRow("scenario 2") << 0 << 2 << QList<int> { 5 };
        QTest::newRow("scenario 2 at another site") << 1 << 2 << QList<int> {};
        QTest::newRow("scenario 1 at its site") << 1 << 1 << QList<int> { 4 };
    }

    void getWaterUsersScopes()
    {
        QFETCH(int, aggDivId);
        QFETCH(int, scenarioId);
        QFETCH(QList<int>, expected);
        QVERIFY_OK(openBasin(_project));
        WaterUserList list { WaterUser() };
        QVERIFY_OK(waterUsers()->getWaterUsers(list, aggDivId, scenarioId));
        QList<int> ids;
        for (const WaterUser& user : qAsConst(list))
            ids.append(user.WaterUserID);
        std::sort(ids.begin(), ids.end());
        QCOMPARE(ids, expected);
    }

    void saveWaterUsersBindsNullScenario()
    {
        QVERIFY_OK(openBasin(_project));
        WaterUser fresh;
        fresh.aggDiv.AggDivID = 2;
        fresh.WaterUserName = QStringLiteral("S-town");
        fresh.Ord = 2;
        WaterUser moved;
        QVERIFY_OK(waterUsers()->getWaterUser(4, moved));
        moved.aggDiv.AggDivID = 3;
        moved.ScenarioID = 2;
        WaterUserList list { fresh, moved };
        QVERIFY_OK(waterUsers()->saveWaterUsers(list));
        QCOMPARE(list.at(0).WaterUserID, 6);
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT COUNT(*) FROM WaterUser"
                                    " WHERE WaterUserID = 6 AND ScenarioID IS NULL"
                                    " AND AggDivID = 2")),
            1);
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT COUNT(*) FROM WaterUser"
                                    " WHERE WaterUserID = 4 AND ScenarioID = 2"
                                    " AND AggDivID = 3")),
            1);
    }

    void deleteWaterUserTakesItsRows()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO WaterUserData (WaterUserID, Year, DepletionReq)"
                           " VALUES (1, 2000, 1), (1, 2001, 2), (2, 2000, 3)")));
        WaterUser user;
        user.WaterUserID = 1;
        QVERIFY_OK(waterUsers()->deleteWaterUser(user));
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM WaterUser")), 4);
        QCOMPARE(yearRows(QStringLiteral("1")), 1);
    }

    void waterUserAttributesRoundTrip()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO WaterUserAttr (WaterUserAttrID, AttrID,"
                           " WaterUserID, AttrValidValID) VALUES (20, 2, 3, 5)")));
        QList<WaterUserAttr> attrs;
        QVERIFY_OK(waterUsers()->getWaterUserAttrs(3, attrs));
        QCOMPARE(attrs.size(), 1);
        QCOMPARE(attrs.first().id, 20);
        QCOMPARE(attrs.first().WaterUserID, 3);
        QCOMPARE(attrs.first().attribute.AttrName, QStringLiteral("Use"));
        QCOMPARE(attrs.first().attribute.typeName, QStringLiteral("WaterUser"));
        QCOMPARE(attrs.first().value.AttrVal, QStringLiteral("Farm"));

        attrs.first().value.AttrValidValID = 6;
        QVERIFY_OK(waterUsers()->saveWaterUserAttrs(attrs));
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT AttrValidValID FROM WaterUserAttr"
                                    " WHERE WaterUserAttrID = 20")),
            6);
        QVERIFY_OK(waterUsers()->getWaterUserAttrs(2, attrs));
        QVERIFY(attrs.isEmpty());
    }

    void yearlyDataFillsMissingYearsInOrder()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq,"
                           " DepletionReq, EfficiencyRatio, SalinityPickup) VALUES"
                           " (1, 2005, 1.5, NULL, 0.5, 3), (1, 2001, NULL, 2.25, NULL,"
                           " NULL)")));
        WaterUserDataList data;
        QVERIFY_OK(waterUsers()->getWaterUserData(data, 2, true));
        QCOMPARE(data.size(), 11);
        for (int i = 0; i < data.size(); ++i) {
            QCOMPARE(data.at(i).Year, 2000 + i);
            QCOMPARE(data.at(i).id, 0);
            QCOMPARE(data.at(i).WaterUserID, 2);
            QVERIFY(data.at(i).isEmpty());
        }

        QVERIFY_OK(waterUsers()->getWaterUserData(data, 1, true));
        QCOMPARE(data.size(), 11);
        QCOMPARE(data.at(1).Year, 2001);
        QVERIFY(data.at(1).id != 0);
        QCOMPARE(data.at(1).DepletionReq, 2.25);
        QVERIFY(std::isnan(data.at(1).DiversionReq));
        QCOMPARE(data.at(5).DiversionReq, 1.5);
        QCOMPARE(data.at(5).EfficiencyRatio, 0.5);

        QVERIFY_OK(waterUsers()->getWaterUserData(data, 1, false));
        QCOMPARE(data.size(), 2);
        QCOMPARE(data.at(0).Year, 2001);
        QCOMPARE(data.at(1).Year, 2005);
    }

    void yearlyDataReadsIntegersAsValues()
    {
        // A file made elsewhere may declare the value columns NUMERIC, so that whole numbers are
        // stored as integers; they are values all the same.
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("DROP TABLE WaterUserData;"
                           "CREATE TABLE WaterUserData (WaterUserDataID INTEGER PRIMARY KEY,"
                           " WaterUserID INTEGER NOT NULL REFERENCES WaterUser (WaterUserID),"
                           " Year INTEGER NOT NULL, DiversionReq NUMERIC, DepletionReq NUMERIC,"
                           " EfficiencyRatio NUMERIC, SalinityPickup NUMERIC);"
                           "INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq,"
                           " DepletionReq, EfficiencyRatio, SalinityPickup) VALUES"
                           " (1, 2000, 12, 0, 1.25, 'n/a')")));
        QCOMPARE(_project->scalar(QStringLiteral("SELECT typeof(DiversionReq) || typeof("
                                                 "DepletionReq) FROM WaterUserData")),
            QVariant(QStringLiteral("integerinteger")));
        WaterUserDataList data;
        QVERIFY_OK(waterUsers()->getWaterUserData(data, 1, false));
        QCOMPARE(data.size(), 1);
        QCOMPARE(data.first().DiversionReq, 12.0);
        QCOMPARE(data.first().DepletionReq, 0.0);
        QCOMPARE(data.first().EfficiencyRatio, 1.25);
        QVERIFY(std::isnan(data.first().SalinityPickup));
        QVERIFY(!data.first().isEmpty());
    }

    void yearlyDataLoadFailureKeepsTheList()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO WaterUserData (WaterUserID, Year) VALUES (1, 2000);"
                           "PRAGMA foreign_keys = OFF; UPDATE Baseline SET BaselineID = 5")));
        WaterUserData sentinel;
        sentinel.Year = 1900;
        WaterUserDataList data { sentinel };
        const TARN::okstat status = waterUsers()->getWaterUserData(data, 1, true);
        QVERIFY(status.failed());
        QVERIFY2(status.text().startsWith(QStringLiteral("Unable to retrieve baseline data: ")),
            qPrintable(status.text()));
        QCOMPARE(data.size(), 1);
        QCOMPARE(data.first().Year, 1900);
    }

    void yearlyDataSave()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO WaterUserData VALUES (100, 1, 2000, NULL, 1, NULL, NULL),"
                           " (101, 1, 2001, NULL, 2, NULL, NULL), (102, 2, 2000, NULL, 9, NULL,"
                           " NULL)")));

        // An empty list keeps the stored rows.
        WaterUserDataList empty;
        QVERIFY_OK(waterUsers()->saveWaterUserData(empty, 1));
        QCOMPARE(yearRows(QStringLiteral("WaterUserID = 1")), 2);

        WaterUserDataList data;
        QVERIFY_OK(waterUsers()->getWaterUserData(data, 1, true));
        QCOMPARE(data.size(), 11);
        data[0].DepletionReq = TARN::nan(); // 2000 loses its only value
        data[0].DiversionReq = TARN::nan();
        data[5].DiversionReq = 4.5; // 2005 gains one
        data[5].WaterUserID = 0;
        QVERIFY_OK(waterUsers()->saveWaterUserData(data, 1));
        QCOMPARE(yearRows(QStringLiteral("WaterUserID = 1")), 2);
        QCOMPARE(yearRows(QStringLiteral("WaterUserID = 1 AND Year = 2000")), 0);
        QCOMPARE(yearRows(QStringLiteral("WaterUserID = 1 AND Year = 2005 AND DiversionReq = 4.5"
                                         " AND DepletionReq IS NULL AND EfficiencyRatio IS NULL"
                                         " AND SalinityPickup IS NULL")),
            1);
        QCOMPARE(data.at(0).id, 100); // skipped: keeps its old id
        QVERIFY(data.at(5).id != 0);
        QCOMPARE(data.at(5).WaterUserID, 1);
        QCOMPARE(data.at(5).id,
            count(*_project,
                QStringLiteral("SELECT %1 FROM WaterUserData WHERE WaterUserID = 1 AND Year = 2005")
                    .arg(testColumn(TN::WaterUserDataTable, TP::Key))));

        // A list whose every record is empty deletes all the water user's rows.
        WaterUserDataList allEmpty;
        for (int year = 2000; year <= 2010; ++year) {
            WaterUserData row;
            row.Year = year;
            allEmpty.append(row);
        }
        QVERIFY_OK(waterUsers()->saveWaterUserData(allEmpty, 1));
        QCOMPARE(yearRows(QStringLiteral("WaterUserID = 1")), 0);
        QCOMPARE(yearRows(QStringLiteral("WaterUserID = 2")), 1);
    }

    void timeRange_data()
    {
        QTest::addColumn<int>("newStart");
        QTest::addColumn<int>("newEnd");
        QTest::addColumn<QList<int>>("years");
        const auto span = [](int first, int last) {
            QList<int> years;
            for (int year = first; year <= last; ++year)
                years.append(year);
            return years;
        };
        QTest::newRow("grown") << 1998 << 2012 << span(1998, 2012);
        QTest::newRow("shrunk") << 2002 << 2008 << span(2002, 2008);
        QTest::newRow("shifted") << 2005 << 2014 << span(2005, 2014);
        QTest::newRow("unchanged") << 2000 << 2010 << span(2000, 2010);
        QTest::newRow("later, no overlap") << 2015 << 2020 << span(2015, 2020);
        QTest::newRow("earlier, no overlap") << 1990 << 1995 << span(1990, 1995);
    }

    void timeRange()
    {
        QFETCH(int, newStart);
        QFETCH(int, newEnd);
        QFETCH(QList<int>, years);
        // Every water user has a row for every year of 2000 to 2010.
        QVERIFY_OK(openBasin(_project,
            QStringLiteral(
                "WITH RECURSIVE y(Year) AS (SELECT 2000 UNION ALL SELECT Year + 1 FROM y"
                " WHERE Year < 2010) INSERT INTO WaterUserData (WaterUserID, Year, DepletionReq)"
                " SELECT wu.WaterUserID, y.Year, 1.0 FROM WaterUser wu, y")));
        QVERIFY_OK(waterUsers()->adjustTimeRange(2000, 2010, newStart, newEnd));
        for (int waterUserId = 1; waterUserId <= 5; ++waterUserId) {
            QList<int> stored;
            const QString sql = QStringLiteral("SELECT group_concat(Year) FROM (SELECT Year FROM"
                                               " WaterUserData WHERE WaterUserID = %1 ORDER BY"
                                               " Year)")
                                    .arg(waterUserId);
            const QStringList parts
                = _project->scalar(sql).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString& part : parts)
                stored.append(part.toInt());
            QCOMPARE(stored, years);
        }
        // Added years are empty; kept years keep their values.
        QCOMPARE(yearRows(QStringLiteral("(Year < 2000 OR Year > 2010) AND DepletionReq IS NOT"
                                         " NULL")),
            0);
        QCOMPARE(
            yearRows(QStringLiteral("Year BETWEEN 2000 AND 2010 AND DepletionReq IS NULL")), 0);
    }

    void timeRangeFailureIsReported()
    {
        QVERIFY_OK(openBasin(_project));
        QVERIFY_OK(refuse(*_project, QStringLiteral("INSERT"), QStringLiteral("WaterUserData"),
            QStringLiteral("yearly rows refused")));
        const TARN::okstat status = waterUsers()->adjustTimeRange(2000, 2010, 2000, 2011);
        QVERIFY(status.failed());
        QVERIFY2(status.text().contains(QStringLiteral("yearly rows refused")),
            qPrintable(status.text()));
    }

    void assignDefaultValueGivesEveryOwnerARow()
    {
        QVERIFY_OK(openBasin(_project));
        Attribute basin;
        basin.AttrID = 1;
        basin.setType(TARN::AttrTypeAggDiv);
        QVERIFY_OK(sites()->assignDefaultValue(basin, 1));
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT COUNT(*) FROM AggDivAttr WHERE AttrID = 1"
                                    " AND AttrValidValID = 1")),
            3);
        QCOMPARE(
            count(*_project, QStringLiteral("SELECT COUNT(DISTINCT AggDivID) FROM AggDivAttr")), 3);

        Attribute use;
        use.AttrID = 2;
        use.setType(TARN::AttrTypeWaterUser);
        QVERIFY_OK(waterUsers()->assignDefaultValue(use, 4));
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT COUNT(*) FROM WaterUserAttr WHERE AttrID"
                                    " = 2 AND AttrValidValID = 4")),
            5);
    }

    // The driver hands out a select's rows 256 at a time; a model re-selected by a submit holds
    // only the first of them until the rest are fetched.
    void assignDefaultValueReachesOwnersBeyondTheFirstFetch_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("owners");
        QTest::newRow("sites") << int(TARN::AttrTypeAggDiv) << 303;
        QTest::newRow("water users") << int(TARN::AttrTypeWaterUser) << 305;
    }

    void assignDefaultValueReachesOwnersBeyondTheFirstFetch()
    {
        QFETCH(int, type);
        QFETCH(int, owners);
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, "
                           "Ord) WITH RECURSIVE n(i) AS (SELECT 101 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < 400) SELECT i, 1, 'S' || i, 'R' || i, i FROM n;"
                           "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, "
                           "RiffleName, Ord) WITH RECURSIVE n(i) AS (SELECT 101 UNION ALL SELECT "
                           "i + 1 FROM n WHERE i < 400) SELECT i, 1, 'W' || i, 'R' || i, i FROM "
                           "n")));
        QSqlTableModel* model = type == TARN::AttrTypeAggDiv
            ? static_cast<QSqlTableModel*>(sites()->aggDivModel())
            : static_cast<QSqlTableModel*>(waterUsers()->waterUserModel());
        QVERIFY(model->select());
        QVERIFY(model->canFetchMore());
        QVERIFY(ModelOps::findRowById(model, 400).isValid());

        QVERIFY(model->select());
        Attribute attribute;
        attribute.AttrID = type;
        attribute.setType(type);
        const int value = type == TARN::AttrTypeAggDiv ? 1 : 4;
        QVERIFY_OK(type == TARN::AttrTypeAggDiv
                ? sites()->assignDefaultValue(attribute, value)
                : waterUsers()->assignDefaultValue(attribute, value));
        const QString table = type == TARN::AttrTypeAggDiv ? QStringLiteral("AggDivAttr")
                                                           : QStringLiteral("WaterUserAttr");
        QCOMPARE(
            count(*_project,
                QStringLiteral("SELECT COUNT(*) FROM %1 WHERE AttrID = %2").arg(table).arg(type)),
            owners);
    }

    void assignDefaultValueRefusesTheOtherType()
    {
        QVERIFY_OK(openBasin(_project));
        Attribute use;
        use.AttrID = 2;
        use.setType(TARN::AttrTypeWaterUser);
        QCOMPARE(sites()->assignDefaultValue(use, 4).text(),
            QStringLiteral("Incorrect attribute type."));
        Attribute basin;
        basin.AttrID = 1;
        basin.setType(TARN::AttrTypeAggDiv);
        QCOMPARE(waterUsers()->assignDefaultValue(basin, 1).text(),
            QStringLiteral("Incorrect attribute type."));
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM AggDivAttr")), 0);
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM WaterUserAttr")), 0);
    }

    void assignDefaultValueNamesTheFailingOwner()
    {
        // South already holds a value of the attribute, so its new row collides.
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID)"
                           " VALUES (1, 2, 2);"
                           "INSERT INTO WaterUserAttr (AttrID, WaterUserID,"
                           " AttrValidValID) VALUES (2, 1, 5)")));
        Attribute basin;
        basin.AttrID = 1;
        basin.setType(TARN::AttrTypeAggDiv);
        const TARN::okstat siteStatus = sites()->assignDefaultValue(basin, 1);
        QVERIFY(siteStatus.failed());
        QVERIFY2(siteStatus.text().startsWith(QStringLiteral("(Agg div South) ")),
            qPrintable(siteStatus.text()));
        QVERIFY2(
            siteStatus.text().contains(QStringLiteral("UNIQUE")), qPrintable(siteStatus.text()));

        Attribute use;
        use.AttrID = 2;
        use.setType(TARN::AttrTypeWaterUser);
        const TARN::okstat userStatus = waterUsers()->assignDefaultValue(use, 4);
        QVERIFY(userStatus.failed());
        QVERIFY2(userStatus.text().startsWith(QStringLiteral("(Water user N-farm) ")),
            qPrintable(userStatus.text()));
    }
};

QTEST_GUILESS_MAIN(TestSiteWaterUserWaterusers)
#include "tst_sitewateruser_waterusers.moc"
