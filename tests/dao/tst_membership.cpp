#include "DaoFixture.h"

#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"

#include <QtTest>

// Which demand changes and plot curves take in a water user through their attribute filters.
//
// Water user 6 "W" is new at the site of each case. Filters (site attribute Basin: 1 Unassigned,
// 2 Upper, 3 Lower; site attribute Region: 7 Unassigned, 8 West; water user attribute Use:
// 4 Unassigned, 5 Farm, 6 Town):
//   change 1: Basin Upper or Lower, Use Farm      change 4: Basin Lower, Use Farm
//   change 2: Use Farm only                       change 5: no filter
//   change 3: Basin Upper only                    change 6: Basin Lower, Region West, Use Farm
//   curve 1 (depletion), curve 2 (salinity, member at a mass site), curve 3 (salinity, member
//   at a concentration site): Basin Lower, Use Farm.
// Before the update W is an explicit member of changes 2 and 5 and of curve 1; water user 1 is a
// member of change 5.
class TestMembership : public QObject {
    Q_OBJECT

private:
    WaterUserDAO* waterUsers() const { return TarnDbMgr::instance()->waterUserDAO(); }

    std::unique_ptr<TestProject> _project;

    static QString filterSql()
    {
        return QStringLiteral(
            "INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (3, 'Region', 1);"
            "INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES"
            " (7, 3, 'Unassigned'), (8, 3, 'West');"
            "INSERT INTO DemandChg VALUES (1, 1, 'c1', NULL, NULL, 1, 1, 1),"
            " (2, 1, 'c2', NULL, NULL, 1, 1, 1), (3, 1, 'c3', NULL, NULL, 1, 1, 1),"
            " (4, 2, 'c4', NULL, NULL, 1, 1, 1), (5, 2, 'c5', NULL, NULL, 1, 1, 0),"
            " (6, 2, 'c6', NULL, NULL, 1, 1, 1);"
            "INSERT INTO DemandSelection (DemandChgID, AttrID, AttrValidValID) VALUES"
            " (1, 1, 2), (1, 1, 3), (1, 2, 5), (2, 2, 5), (3, 1, 2), (4, 1, 3), (4, 2, 5),"
            " (6, 1, 3), (6, 3, 8), (6, 2, 5);"
            "INSERT INTO Plot (PlotID, Name) VALUES (1, 'p');"
            "INSERT INTO PlotCurve (PlotCurveID, PlotID, Name, CurveDataTypeID) VALUES"
            " (1, 1, 'depletion', 1), (2, 1, 'mass', 3), (3, 1, 'concentration', 3);"
            "INSERT INTO PlotCurveFilter (PlotCurveID, AttrID, AttrValidValID) VALUES"
            " (1, 1, 3), (1, 2, 5), (2, 1, 3), (2, 2, 5), (3, 1, 3), (3, 2, 5);"
            "INSERT INTO PlotCurveWaterUser (PlotCurveID, WaterUserID) VALUES (2, 1), (3, 3);");
    }

    // The basin with W at siteId holding the given values (0: no row).
    TARN::okstat openCase(int siteId, int basinValue, int regionValue, int useValue,
        const QString& extraSql = QString())
    {
        QString sql = filterSql();
        sql += QStringLiteral("INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName)"
                              " VALUES (6, %1, 'W');"
                              "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID)"
                              " VALUES (2, 6), (5, 6), (5, 1);"
                              "INSERT INTO PlotCurveWaterUser (PlotCurveID, WaterUserID)"
                              " VALUES (1, 6);")
                   .arg(siteId);
        if (basinValue != 0)
            sql += QStringLiteral("INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID)"
                                  " VALUES (1, %1, %2);")
                       .arg(siteId)
                       .arg(basinValue);
        if (regionValue != 0)
            sql += QStringLiteral("INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID)"
                                  " VALUES (3, %1, %2);")
                       .arg(siteId)
                       .arg(regionValue);
        if (useValue != 0)
            sql += QStringLiteral("INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID)"
                                  " VALUES (2, 6, %1);")
                       .arg(useValue);
        return openBasin(_project, sql + extraSql);
    }

    WaterUser w() const
    {
        WaterUser user;
        waterUsers()->getWaterUser(6, user);
        return user;
    }

    QList<int> owners(const QString& table, const QString& column) const
    {
        const QString list = _project
                                 ->scalar(QStringLiteral("SELECT group_concat(%2) FROM (SELECT %2"
                                                         " FROM %1 WHERE WaterUserID = 6 ORDER"
                                                         " BY %2)")
                                              .arg(table, column))
                                 .toString();
        QList<int> ids;
        const QStringList parts = list.split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString& part : parts)
            ids.append(part.toInt());
        return ids;
    }

private slots:
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void rule_data()
    {
        QTest::addColumn<int>("siteId");
        QTest::addColumn<int>("basin");
        QTest::addColumn<int>("region");
        QTest::addColumn<int>("use");
        QTest::addColumn<QList<int>>("changes");
        QTest::addColumn<QList<int>>("curves");
        QTest::newRow("one of two listed values")
            << 2 << 3 << 7 << 5 << QList<int> { 1, 4 } << QList<int> { 1, 3 };
        QTest::newRow("the other listed value")
            << 2 << 2 << 7 << 5 << QList<int> { 1 } << QList<int> {};
        QTest::newRow("site holds another value")
            << 2 << 1 << 7 << 5 << QList<int> {} << QList<int> {};
        QTest::newRow("water user holds another value")
            << 2 << 3 << 7 << 6 << QList<int> {} << QList<int> {};
        QTest::newRow("every attribute must match")
            << 2 << 3 << 8 << 5 << QList<int> { 1, 4, 6 } << QList<int> { 1, 3 };
        QTest::newRow("site without values") << 2 << 0 << 0 << 5 << QList<int> {} << QList<int> {};
        QTest::newRow("water user without values")
            << 2 << 3 << 7 << 0 << QList<int> {} << QList<int> {};
        QTest::newRow("mass site: salinity curves of mass only")
            << 3 << 3 << 7 << 5 << QList<int> { 1, 4 } << QList<int> { 1, 2 };
    }

    void rule()
    {
        QFETCH(int, siteId);
        QFETCH(int, basin);
        QFETCH(int, region);
        QFETCH(int, use);
        QFETCH(QList<int>, changes);
        QFETCH(QList<int>, curves);
        QVERIFY_OK(openCase(siteId, basin, region, use));
        const WaterUser user = w();
        QCOMPARE(user.aggDiv.AggDivID, siteId);
        QVERIFY_OK(waterUsers()->updateDemandChgMembership(user));
        QVERIFY_OK(waterUsers()->updatePlotCurveMembership(user));
        QCOMPARE(
            owners(QStringLiteral("DemandChgWaterUser"), QStringLiteral("DemandChgID")), changes);
        QCOMPARE(
            owners(QStringLiteral("PlotCurveWaterUser"), QStringLiteral("PlotCurveID")), curves);
        // Other water users keep their memberships.
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT COUNT(*) FROM DemandChgWaterUser WHERE"
                                    " WaterUserID = 1 AND DemandChgID = 5")),
            1);
        QCOMPARE(count(*_project,
                     QStringLiteral("SELECT COUNT(*) FROM PlotCurveWaterUser WHERE"
                                    " WaterUserID <> 6")),
            2);
    }

    void salinityCurveLeftWithoutMembersStopsTheUpdate()
    {
        // Curve 4 matches W and has no member but W, which the update removes first.
        QVERIFY_OK(openCase(2, 3, 7, 5,
            QStringLiteral("INSERT INTO PlotCurve (PlotCurveID, PlotID, Name,"
                           " CurveDataTypeID) VALUES (4, 1, 'lonely', 3);"
                           "INSERT INTO PlotCurveFilter (PlotCurveID, AttrID,"
                           " AttrValidValID) VALUES (4, 1, 3), (4, 2, 5);"
                           "INSERT INTO PlotCurveWaterUser (PlotCurveID,"
                           " WaterUserID) VALUES (4, 6);")));
        QCOMPARE(waterUsers()->updatePlotCurveMembership(w()).text(),
            QStringLiteral("no salinity method found"));
    }

    void failedInsertsAreReportedTogether_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("plotCurves");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("demand changes")
            << QStringLiteral("DemandChgWaterUser") << false
            << QStringLiteral("Unable to add water user to the following demand changes: ")
            << QList<int> { 1, 4 };
        QTest::newRow("plot curves")
            << QStringLiteral("PlotCurveWaterUser") << true
            << QStringLiteral("Unable to add water user to the following plot curves: ")
            << QList<int> { 1, 3 };
    }

    void failedInsertsAreReportedTogether()
    {
        QFETCH(QString, table);
        QFETCH(bool, plotCurves);
        QFETCH(QString, prefix);
        QFETCH(QList<int>, ids);
        QVERIFY_OK(openCase(2, 3, 7, 5));
        // The error text holds placeholders of its own: they must reach the message as they are.
        QVERIFY_OK(refuse(*_project, QStringLiteral("INSERT"), table,
            QStringLiteral("membership refused %2 %1")));
        const WaterUser user = w();
        const TARN::okstat status = plotCurves ? waterUsers()->updatePlotCurveMembership(user)
                                               : waterUsers()->updateDemandChgMembership(user);
        QVERIFY(status.failed());
        QVERIFY2(status.text().startsWith(prefix), qPrintable(status.text()));
        const QStringList lines = status.text().mid(prefix.size()).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(lines.at(i).startsWith(QStringLiteral("membership refused %2 %1")),
                qPrintable(lines.at(i)));
            QVERIFY2(lines.at(i).endsWith(QStringLiteral(": %1").arg(ids.at(i))),
                qPrintable(lines.at(i)));
        }
        // The removal went through; the caller's transaction decides.
        QCOMPARE(owners(table,
                     plotCurves ? QStringLiteral("PlotCurveID") : QStringLiteral("DemandChgID")),
            QList<int> {});
    }

    void failedRemovalIsReported_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("plotCurves");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("demand changes")
            << QStringLiteral("DemandChgWaterUser") << false
            << QStringLiteral("Unable to remove water user from demand changes: ");
        QTest::newRow("plot curves") << QStringLiteral("PlotCurveWaterUser") << true
                                     << QStringLiteral("Unable to remove water user from plot"
                                                       " curves: ");
    }

    void failedRemovalIsReported()
    {
        QFETCH(QString, table);
        QFETCH(bool, plotCurves);
        QFETCH(QString, prefix);
        QVERIFY_OK(openCase(2, 3, 7, 5));
        QVERIFY_OK(
            refuse(*_project, QStringLiteral("DELETE"), table, QStringLiteral("removal refused")));
        const WaterUser user = w();
        const TARN::okstat status = plotCurves ? waterUsers()->updatePlotCurveMembership(user)
                                               : waterUsers()->updateDemandChgMembership(user);
        QVERIFY2(status.text().startsWith(prefix + QStringLiteral("removal refused")),
            qPrintable(status.text()));
    }
};

QTEST_GUILESS_MAIN(TestMembership)
#include "tst_membership.moc"
