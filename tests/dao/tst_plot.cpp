#include "DaoFixture.h"

#include "db/PlotDAO.h"
#include "db/TarnDbMgr.h"

#include <QtTest>

// Curves with the salinity method of their members, and a curve's filter and members.
//
// Plot 1 has curves 10 (depletion, members 1 and 3), 21 (salinity, member 3 at a site of
// method 3), 5 (salinity, no members) and 30 (salinity, member 5 at a site of method 4).
class TestPlot : public QObject {
    Q_OBJECT

private:
    PlotDAO* plots() const { return TarnDbMgr::instance()->plotDAO(); }

    std::unique_ptr<TestProject> _project;

    static QString curvesSql()
    {
        return QStringLiteral(
            "INSERT INTO Plot (PlotID, Name) VALUES (1, 'p');"
            "INSERT INTO PlotCurve (PlotCurveID, PlotID, Name, CurveDataTypeID) VALUES"
            " (10, 1, 'ten', 1), (21, 1, 'twenty-one', 3), (5, 1, 'empty', 3),"
            " (30, 1, 'thirty', 3);"
            "INSERT INTO PlotCurveWaterUser (PlotCurveID, WaterUserID) VALUES (10, 1), (10, 3),"
            " (21, 3), (30, 5)");
    }

private slots:
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void getPlotCurve_data()
    {
        QTest::addColumn<int>("curveId");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("dataType");
        QTest::addColumn<int>("methodId");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("slotName");
        QTest::addColumn<int>("unitKind");
        QTest::newRow("missing 12") << 12 << QStringLiteral("no plot curve with ID 12 found")
                                    << QString() << 0 << 0 << QString() << QString() << 0;
        QTest::newRow("1 matches neither 10 nor 21")
            << 1 << QStringLiteral("no plot curve with ID 1 found") << QString() << 0 << 0
            << QString() << QString() << 0;
        QTest::newRow("depletion curve")
            << 10 << QString() << QStringLiteral("ten") << 1 << 0 << QString() << QString() << 0;
        QTest::newRow("salinity, concentration")
            << 21 << QString() << QStringLiteral("twenty-one") << 3 << 3
            << QStringLiteral("Diversion Concentration (mg/l)")
            << QStringLiteral("Diversion Salt Concentration") << 2;
        QTest::newRow("salinity, mass")
            << 30 << QString() << QStringLiteral("thirty") << 3 << 4
            << QStringLiteral("Mass Removal (tons/yr)") << QStringLiteral("Salt Mass Removal") << 1;
        QTest::newRow("salinity without members")
            << 5 << QStringLiteral("no salinity method found") << QStringLiteral("empty") << 3 << 0
            << QString() << QString() << 0;
    }

    void getPlotCurve()
    {
        QFETCH(int, curveId);
        QFETCH(QString, error);
        QFETCH(QString, name);
        QFETCH(int, dataType);
        QFETCH(int, methodId);
        QFETCH(QString, label);
        QFETCH(QString, slotName);
        QFETCH(int, unitKind);
        QVERIFY_OK(openBasin(_project, curvesSql()));
        PlotCurve curve;
        const TARN::okstat status = plots()->getPlotCurve(curveId, curve);
        if (!error.isEmpty()) {
            QCOMPARE(status.text(), error);
            return;
        }
        QVERIFY_OK(status);
        QCOMPARE(curve.PlotCurveID, curveId);
        QCOMPARE(curve.PlotID, 1);
        QCOMPARE(curve.Name, name);
        QCOMPARE(curve.CurveDataTypeID, dataType);
        QCOMPARE(curve.salinityMethod.id, methodId);
        QCOMPARE(curve.salinityMethod.label, label);
        QCOMPARE(curve.salinityMethod.slotName, slotName);
        QCOMPARE(curve.salinityMethod.unitKind, unitKind);
    }

    void getPlotCurveUsesTheModelAsSelected()
    {
        QVERIFY_OK(openBasin(_project, curvesSql()));
        QVERIFY_OK(_project->exec(
            QStringLiteral("INSERT INTO PlotCurve (PlotCurveID, PlotID) VALUES (40, 1)")));
        PlotCurve curve;
        QCOMPARE(plots()->getPlotCurve(40, curve).text(),
            QStringLiteral("no plot curve with ID 40 found"));
        QVERIFY(plots()->plotCurveModel()->select());
        QVERIFY_OK(plots()->getPlotCurve(40, curve));
        QCOMPARE(curve.PlotCurveID, 40);
    }

    void curveFilters()
    {
        QVERIFY_OK(openBasin(_project, curvesSql()));
        AttrSelection lower;
        lower.AttrID = 1;
        lower.AttrValidValID = 3;
        AttrSelection town;
        town.AttrID = 2;
        town.AttrValidValID = 6;
        QVERIFY_OK(plots()->setPlotCurveFilters(10, { lower, town }));
        QVERIFY_OK(plots()->setPlotCurveFilters(21, { town }));

        AttrSelection kept;
        kept.AttrVal = QStringLiteral("kept");
        AttrSelectionList list { kept };
        QVERIFY_OK(plots()->getPlotCurveFilters(10, list));
        QCOMPARE(list.size(), 3);
        QCOMPARE(list.at(0).AttrVal, QStringLiteral("kept"));
        QCOMPARE(list.at(1).AttrID, 1);
        QCOMPARE(list.at(1).AttrName, QStringLiteral("Basin"));
        QCOMPARE(list.at(1).typeId, 1);
        QCOMPARE(list.at(1).AttrValidValID, 3);
        QCOMPARE(list.at(1).AttrVal, QStringLiteral("Lower"));
        QCOMPARE(list.at(2).typeName, QStringLiteral("WaterUser"));
        QCOMPARE(list.at(2).AttrVal, QStringLiteral("Town"));

        QVERIFY_OK(plots()->setPlotCurveFilters(10, {}));
        AttrSelectionList after;
        QVERIFY_OK(plots()->getPlotCurveFilters(10, after));
        QVERIFY(after.isEmpty());
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM PlotCurveFilter")), 1);

        AttrSelection missing;
        missing.AttrID = 1;
        missing.AttrValidValID = 99;
        const TARN::okstat status = plots()->setPlotCurveFilters(10, { lower, missing });
        QVERIFY(status.failed());
        QVERIFY2(status.text().contains(QStringLiteral("FOREIGN KEY")), qPrintable(status.text()));
    }

    void curveWaterUsers()
    {
        QVERIFY_OK(openBasin(_project, curvesSql()));
        WaterUserList list { WaterUser() };
        QVERIFY_OK(plots()->getPlotCurveWaterUsers(5, list));
        QVERIFY(list.isEmpty());

        QVERIFY_OK(plots()->getPlotCurveWaterUsers(10, list));
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).WaterUserID, 1);
        QCOMPARE(list.at(0).WaterUserName, QStringLiteral("N-farm"));
        QCOMPARE(list.at(0).aggDiv.SiteName, QStringLiteral("North"));
        QCOMPARE(list.at(1).WaterUserID, 3);
        QCOMPARE(list.at(1).aggDiv.salinityMethod.id, 3);

        WaterUser newcomer;
        newcomer.WaterUserID = 5;
        QVERIFY_OK(plots()->setPlotCurveWaterUsers(10, { newcomer }));
        QVERIFY_OK(plots()->getPlotCurveWaterUsers(10, list));
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first().ScenarioID, 2);
        QCOMPARE(list.first().aggDiv.SiteName, QStringLiteral("East"));

        // An empty list leaves the curve without members.
        QVERIFY_OK(plots()->setPlotCurveWaterUsers(10, {}));
        QVERIFY_OK(plots()->getPlotCurveWaterUsers(10, list));
        QVERIFY(list.isEmpty());
        QCOMPARE(count(*_project, QStringLiteral("SELECT COUNT(*) FROM PlotCurveWaterUser")), 2);
    }
};

QTEST_GUILESS_MAIN(TestPlot)
#include "tst_plot.moc"
