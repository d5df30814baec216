#include "PlotChartsFixture.h"

class TestPlotChartsWindows : public PlotChartsFixture {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<TARN::okstat>("okstat");
        qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
    }
    void cleanup() { resetDbManager(); }

    void siteWindowSeries_data();
    void siteWindowSeries();
    void siteWindowRegenerateReplacesChart();
    void waterUserWindowDrawsItsOwnValues();
    void unknownWaterUserIsReported();
    void scenarioPlotStylesAndSeries();
    void unreadableSumsAreReported();
    void salinityCurveOfConcentrationUsers();
    void plotWithoutScenariosDrawsNothing();
    void drawingWaitsForRunningWorker();
    void colourAndStyleTables_data();
    void colourAndStyleTables();
    void siteQuickPlot();
    void waterUserQuickPlotSavesEdits();
    void demoPlotsShowResultTables();
};

void TestPlotChartsWindows::siteWindowSeries_data()
{
    QTest::addColumn<int>("aggDivID");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("salinityAxis");

    QTest::newRow("mass pick-ups")
        << 1
        << QStringList { QStringLiteral("Depletion"), QStringLiteral("Diversion"),
               QStringLiteral("Salinity Pickup") }
        << QStringLiteral("Salinity (tons/yr)");
    QTest::newRow("concentration pick-ups")
        << 2
        << QStringList { QStringLiteral("Depletion"), QStringLiteral("Diversion"),
               QStringLiteral("Salinity Pickup") }
        << QStringLiteral("Salinity (mg/l)");
    QTest::newRow("no pick-ups: flow only")
        << 3 << QStringList { QStringLiteral("Depletion"), QStringLiteral("Diversion") }
        << QString();
}

void TestPlotChartsWindows::siteWindowSeries()
{
    QFETCH(int, aggDivID);
    QFETCH(QStringList, names);
    QFETCH(QString, salinityAxis);

    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.openInManager().isOk());

    MessageCatcher messages;
    AggDivPlotDlg window(QStringLiteral("North <Canal>"), aggDivID, nullptr);
    window.show();
    QVERIFY(window.chart());
    QVERIFY(messages.texts.isEmpty());
    TarnChart* chart = window.chart();
    QCOMPARE(chart->title(), QStringLiteral("North &lt;Canal&gt;"));
    QCOMPARE(seriesNames(chart), names);

    // The window recalculated the site, and each point is that year's sum of the result table.
    for (const QString& column :
        { QStringLiteral("DepletionValue"), QStringLiteral("DiversionValue") }) {
        QLineSeries* series = seriesNamed(chart,
            column.startsWith(QLatin1String("Dep")) ? QStringLiteral("Depletion")
                                                    : QStringLiteral("Diversion"));
        QCOMPARE(series->count(), 4);
        for (const QPointF& point : series->pointsVector()) {
            const double stored
                = project
                      .scalar(QStringLiteral("SELECT SUM(b.%1) FROM "
                                             "BaseYearlyWaterUser b JOIN WaterUser "
                                             "w ON w.WaterUserID = b.WaterUserID "
                                             "WHERE w.AggDivID = %2 AND b.Year = %3")
                                  .arg(column)
                                  .arg(aggDivID)
                                  .arg(int(point.x())))
                      .toDouble();
            QCOMPARE(point.y(), stored);
        }
        QCOMPARE(valueAxisOf(chart, series), chart->flowAxis());
    }
    if (!salinityAxis.isEmpty()) {
        QLineSeries* salinity = seriesNamed(chart, QStringLiteral("Salinity Pickup"));
        QCOMPARE(valueAxisOf(chart, salinity)->titleText(), salinityAxis);
    }
    // The flow axis carries the flow series from 0; both salinity axes exist either way.
    QCOMPARE(chart->flowAxis()->min(), 0.0);
    QVERIFY(chart->flowAxis()->max() > 0.0);
    QVERIFY(chart->massAxis());
    QVERIFY(chart->concentrationAxis());
    QVERIFY(window.windowFlags().testFlag(Qt::WindowContextHelpButtonHint) == false);
}

void TestPlotChartsWindows::siteWindowRegenerateReplacesChart()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.openInManager().isOk());

    BaselineChangeLog changeLog;
    AggDivPlotDlg window(QStringLiteral("North"), 1, &changeLog);
    QSignalSpy pre(&window, &PlotDisplayDlg::preGenerate);
    window.show();
    QCOMPARE(pre.count(), 1);
    QPointer<QChartView> first = window.chartView();
    QVERIFY(first);
    // Showing again (a restored window) does not draw again.
    window.hide();
    window.show();
    QCOMPARE(pre.count(), 1);

    // An edit recorded in the change log shows after Regenerate: the site is recalculated
    // before drawing.
    QVERIFY(project
                .exec(QStringLiteral(
                    "UPDATE WaterUserData SET DiversionReq = 500 WHERE WaterUserID = 2"))
                .isOk());
    changeLog.waterUserEdited(1, 2, QStringLiteral("Lower"));
    window.findChild<QPushButton*>(QStringLiteral("_regenerateButton"))->click();
    QCOMPARE(pre.count(), 2);
    QVERIFY(window.chartView());
    QVERIFY(first.isNull());
    QLineSeries* diversion = seriesNamed(window.chart(), QStringLiteral("Diversion"));
    QVERIFY(diversion);
    QVERIFY(diversion->at(0).y() >= 500.0);
}

void TestPlotChartsWindows::waterUserWindowDrawsItsOwnValues()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.openInManager().isOk());

    MessageCatcher messages;
    WaterUserPlotDlg window(QStringLiteral("North Canal:Upper Ditch"), 1);
    window.show();
    QVERIFY(messages.texts.isEmpty());
    TarnChart* chart = window.chart();
    QVERIFY(chart);
    QCOMPARE(seriesNames(chart),
        (QStringList { QStringLiteral("Depletion"), QStringLiteral("Diversion"),
            QStringLiteral("Salinity Pickup") }));
    QLineSeries* depletion = seriesNamed(chart, QStringLiteral("Depletion"));
    QCOMPARE(depletion->count(), 4);
    for (const QPointF& point : depletion->pointsVector()) {
        QCOMPARE(point.y(),
            project
                .scalar(QStringLiteral("SELECT DepletionValue FROM BaseYearlyWaterUser WHERE "
                                       "WaterUserID = 1 AND Year = %1")
                            .arg(int(point.x())))
                .toDouble());
    }
    // Only this water user was calculated.
    QCOMPARE(project
                 .scalar(QStringLiteral(
                     "SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE WaterUserID <> 1"))
                 .toInt(),
        0);
}

void TestPlotChartsWindows::unknownWaterUserIsReported()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.openInManager().isOk());

    MessageCatcher messages;
    WaterUserPlotDlg window(QStringLiteral("x:y"), 99);
    window.show();
    QTRY_COMPARE(messages.texts, QStringList { QStringLiteral("Unable to locate water user") });
    QVERIFY(window.chart());
    QVERIFY(window.chart()->series().isEmpty());
}

void TestPlotChartsWindows::scenarioPlotStylesAndSeries()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.exec(QString::fromLatin1(StoredResults)).isOk());
    QVERIFY(project.openInManager().isOk());

    ScenarioPlotDlg window(QStringLiteral("Demand"));
    window.setPlotID(1);
    window.show();
    TarnChart* chart = window.chart();
    QVERIFY(chart);

    const QStringList expected { QStringLiteral("Baseline - North (Depletion)"),
        QStringLiteral("Baseline - Upper (Diversion)"), QStringLiteral("Wet - North (Depletion)"),
        QStringLiteral("Wet - Upper (Diversion)"), QStringLiteral("Dry - North (Depletion)"),
        QStringLiteral("Dry - Upper (Diversion)") };
    QCOMPARE(seriesNames(chart), expected);
    const QList<QAbstractSeries*> all = chart->series();
    for (int i = 0; i < all.size(); ++i) {
        const QPen pen = lineSeries(all.at(i))->pen();
        QCOMPARE(pen.color(), ScenarioPlotDlg::scenarioColor(i / 2));
        QCOMPARE(pen.style(), ScenarioPlotDlg::curveStyle(i % 2));
        QCOMPARE(pen.width(), 2);
        QCOMPARE(valueAxisOf(chart, all.at(i)), chart->flowAxis());
    }
    // Sums over the curve's water users, per scenario.
    QCOMPARE(seriesNamed(chart, expected.at(0))->pointsVector(),
        (QVector<QPointF> { { 2000, 50 }, { 2001, 51 } }));
    QCOMPARE(
        seriesNamed(chart, expected.at(2))->pointsVector(), (QVector<QPointF> { { 2000, 60 } }));
    QCOMPARE(
        seriesNamed(chart, expected.at(5))->pointsVector(), (QVector<QPointF> { { 2000, 10 } }));

    // The tooltip of a scenario series names it.
    emit seriesNamed(chart, expected.at(0))->hovered(QPointF(2001, 51), true);
    QCOMPARE(chart->tooltip()->text(),
        QStringLiteral("Baseline - North (Depletion)<br />Depletion<br />2001: 51 KAF/yr"));
}

// Sums that cannot be read are said to be missing; what could be read is still drawn.
void TestPlotChartsWindows::unreadableSumsAreReported()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.exec(QString::fromLatin1(StoredResults)).isOk());
    QVERIFY(project.openInManager().isOk());
    StatementRefusal refusal(TarnDbMgr::instance()->database(),
        StatementRefusal::reading(QStringLiteral("ScenarioYearlyWaterUser")));
    QVERIFY(refusal.isActive());

    MessageCatcher messages;
    ScenarioPlotDlg window(QStringLiteral("Demand"));
    window.setPlotID(1);
    window.show();
    QTRY_COMPARE(messages.texts.size(), 1);
    QVERIFY2(
        messages.texts.first().startsWith(QStringLiteral("Unable to read the yearly sums of ")),
        qPrintable(messages.texts.first()));
    QVERIFY(window.chart());
    QLineSeries* baseline
        = seriesNamed(window.chart(), QStringLiteral("Baseline - North (Depletion)"));
    QVERIFY(baseline);
    QCOMPARE(baseline->pointsVector(), (QVector<QPointF> { { 2000, 50 }, { 2001, 51 } }));
}

void TestPlotChartsWindows::salinityCurveOfConcentrationUsers()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.exec(QString::fromLatin1(StoredResults)).isOk());
    QVERIFY(project.openInManager().isOk());

    ScenarioPlotDlg window(QStringLiteral("Salt"));
    window.setPlotID(2);
    window.show();
    TarnChart* chart = window.chart();
    QCOMPARE(
        seriesNames(chart), QStringList { QStringLiteral("Baseline - East salt (Salinity mg/l)") });
    QAbstractSeries* series = chart->series().first();
    QCOMPARE(valueAxisOf(chart, series)->titleText(), QStringLiteral("Salinity (mg/l)"));
    QCOMPARE(valueAxisOf(chart, series), chart->concentrationAxis());
    emit lineSeries(series)->hovered(QPointF(2001, 12), true);
    QCOMPARE(chart->tooltip()->text(),
        QStringLiteral("Baseline - East salt (Salinity mg/l)<br />Salinity<br />2001: 12 mg/l"));
}

void TestPlotChartsWindows::plotWithoutScenariosDrawsNothing()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.exec(QString::fromLatin1(StoredResults)).isOk());
    // Plot 3 has no scenarios; plot 2 gets a scenario without results for its curve.
    QVERIFY(
        project
            .exec(QStringLiteral("INSERT INTO PlotCurve (PlotID, Name, CurveDataTypeID) VALUES "
                                 "(3, 'Orphan', 1); INSERT INTO PlotScenario (PlotID, ScenarioID) "
                                 "VALUES (2, 2)"))
            .isOk());
    QVERIFY(project.openInManager().isOk());

    ScenarioPlotDlg empty(QStringLiteral("Nothing"));
    empty.setPlotID(3);
    empty.show();
    QVERIFY(empty.chart());
    QVERIFY(empty.chart()->series().isEmpty());

    ScenarioPlotDlg salt(QStringLiteral("Salt"));
    salt.setPlotID(2);
    salt.show();
    // The Dry scenario has no salinity rows for the curve: its series is left out.
    QCOMPARE(salt.chart()->series().size(), 1);
}

void TestPlotChartsWindows::drawingWaitsForRunningWorker()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.exec(QString::fromLatin1(StoredResults)).isOk());
    QVERIFY(project.openInManager().isOk());

    // A status dialog attached to a worker marks the connection as taken until the end arrives.
    AggDivBaselineDemandCalculator calculator(1);
    CalcStatusDlg status;
    status.attach(CalcStatusJob::calculation(&calculator));
    status.setModal(false);
    status.show();
    QCOMPARE(PlotDisplayDlg::runningWorkerDialog(), &status);

    ScenarioPlotDlg window(QStringLiteral("Demand"));
    window.setPlotID(1);
    QSignalSpy pre(&window, &PlotDisplayDlg::preGenerate);
    window.show();
    window.generate();
    QCOMPARE(pre.count(), 0);
    QVERIFY(!window.chartView());

    status.calcFinishedHandler(TARN::okstat());
    QVERIFY(!PlotDisplayDlg::runningWorkerDialog());
    // The deferred drawing runs once, after the worker's end.
    QTRY_VERIFY(window.chartView());
    QCOMPARE(pre.count(), 1);
    QCOMPARE(window.chart()->series().size(), 6);
    QTest::qWait(50);
    QCOMPARE(pre.count(), 1);
}

void TestPlotChartsWindows::colourAndStyleTables_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("color");
    QTest::addColumn<int>("style");

    QTest::newRow("0") << 0 << QStringLiteral("#000000") << int(Qt::SolidLine);
    QTest::newRow("1") << 1 << QStringLiteral("#0000ff") << int(Qt::DashLine);
    QTest::newRow("2") << 2 << QStringLiteral("#008000") << int(Qt::DotLine);
    QTest::newRow("3") << 3 << QStringLiteral("#ff0000") << int(Qt::DashDotLine);
    QTest::newRow("4") << 4 << QStringLiteral("#ffa500") << int(Qt::DashDotDotLine);
    QTest::newRow("5") << 5 << QStringLiteral("#a9a9a9") << int(Qt::SolidLine);
    QTest::newRow("6") << 6 << QStringLiteral("#800080") << int(Qt::DashLine);
    QTest::newRow("7") << 7 << QStringLiteral("#32cd32") << int(Qt::DotLine);
    QTest::newRow("8") << 8 << QStringLiteral("#8b0000") << int(Qt::DashDotLine);
    QTest::newRow("9") << 9 << QStringLiteral("#b8860b") << int(Qt::DashDotDotLine);
    QTest::newRow("10 wraps") << 10 << QStringLiteral("#000000") << int(Qt::SolidLine);
    QTest::newRow("13 wraps") << 13 << QStringLiteral("#ff0000") << int(Qt::DashDotLine);
}

void TestPlotChartsWindows::colourAndStyleTables()
{
    QFETCH(int, index);
    QFETCH(QString, color);
    QFETCH(int, style);
    QCOMPARE(ScenarioPlotDlg::scenarioColor(index).name(), color);
    QCOMPARE(int(ScenarioPlotDlg::curveStyle(index)), style);
}

void TestPlotChartsWindows::siteQuickPlot()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    BaselineChangeLog changeLog;
    AggDivDlg site(1, &changeLog);
    site.show();
    site.findChild<QLineEdit*>(QStringLiteral("_aggDivSiteNameLineEdit"))
        ->setText(QStringLiteral("North Renamed"));
    site.findChild<QPushButton*>(QStringLiteral("_generatePlotButton"))->click();
    const QList<AggDivPlotDlg*> windows = site.findChildren<AggDivPlotDlg*>();
    QCOMPARE(windows.size(), 1);
    AggDivPlotDlg* window = windows.first();
    QCOMPARE(window->windowTitle(), QStringLiteral("North Renamed"));
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QVERIFY(window->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(window->chart());
    QCOMPARE(seriesNames(window->chart()).size(), 3);
    // The site dialog saved before the window opened, inside the open transaction.
    QSqlQuery name(TarnDbMgr::instance()->database());
    QVERIFY(name.exec(QStringLiteral("SELECT SiteName FROM AggDiv WHERE AggDivID = 1")));
    QVERIFY(name.next());
    QCOMPARE(name.value(0).toString(), QStringLiteral("North Renamed"));
    window->close();
    QTRY_VERIFY(site.findChildren<AggDivPlotDlg*>().isEmpty());
}

void TestPlotChartsWindows::waterUserQuickPlotSavesEdits()
{
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(project.openInManager().isOk());
    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());

    WaterUserDlg dialog(nullptr, 1, 1);
    dialog.show();
    dialog.findChild<QLineEdit*>(QStringLiteral("_riffleNameLineEdit"))
        ->setText(QStringLiteral("Upper Renamed"));
    auto* button = dialog.findChild<QPushButton*>(QStringLiteral("_generatePlotButton"));
    QVERIFY(button->isEnabled());
    button->click();
    const QList<WaterUserPlotDlg*> windows = dialog.findChildren<WaterUserPlotDlg*>();
    QCOMPARE(windows.size(), 1);
    WaterUserPlotDlg* window = windows.first();
    QCOMPARE(window->windowTitle(), QStringLiteral("North Canal:Upper Renamed"));
    QVERIFY(window->chart());
    QCOMPARE(window->chart()->series().size(), 3);
    // The edit survived the window's construction and was saved for the drawing.
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("_riffleNameLineEdit"))->text(),
        QStringLiteral("Upper Renamed"));
    QSqlQuery name(TarnDbMgr::instance()->database());
    QVERIFY(name.exec(QStringLiteral("SELECT RiffleName FROM WaterUser WHERE WaterUserID = 1")));
    QVERIFY(name.next());
    QCOMPARE(name.value(0).toString(), QStringLiteral("Upper Renamed"));
    window->close();
}

void TestPlotChartsWindows::demoPlotsShowResultTables()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(path).isOk());
    QVERIFY(TarnDbMgr::instance()->openDatabase(path).isOk());
    QSqlDatabase& db = TarnDbMgr::instance()->database();

    BaselineChangeLog everything;
    everything.setFullRecalculation();
    {
        BaselineDemandCalculator baseline;
        QVERIFY(baseline.initialize(&everything, true).isOk());
        baseline.start();
        QVERIFY(baseline.wait(120000));
    }
    QSqlQuery scenarios(db);
    QVERIFY(scenarios.exec(QStringLiteral("SELECT ScenarioID, ScenarioName FROM Scenario")));
    QList<QPair<int, QString>> runs;
    while (scenarios.next())
        runs.append({ scenarios.value(0).toInt(), scenarios.value(1).toString() });
    for (const auto& run : runs) {
        ScenarioDemandCalculator calculator(run.first, run.second);
        QVERIFY(calculator.initialize(&everything, true).isOk());
        calculator.start();
        QVERIFY(calculator.wait(120000));
    }

    // Every series of every stored plot, point by point, against a sum read here.
    QSqlQuery plots(db);
    QVERIFY(plots.exec(QStringLiteral("SELECT PlotID, Name FROM Plot")));
    QList<QPair<int, QString>> plotList;
    while (plots.next())
        plotList.append({ plots.value(0).toInt(), plots.value(1).toString() });
    QCOMPARE(plotList.size(), 2);
    int checkedPoints = 0;
    for (const auto& plot : plotList) {
        ScenarioPlotDlg window(plot.second);
        window.setPlotID(plot.first);
        window.show();
        TarnChart* chart = window.chart();
        QVERIFY(chart);
        QVERIFY(!chart->series().isEmpty());
        QSqlQuery pairs(db);
        QVERIFY(pairs.exec(QStringLiteral(
            "SELECT ps.ScenarioID, COALESCE(s.ScenarioShortName, 'Baseline'), pc.PlotCurveID, "
            "pc.Name, pc.CurveDataTypeID FROM PlotScenario ps LEFT JOIN Scenario s ON "
            "s.ScenarioID = ps.ScenarioID JOIN PlotCurve pc ON pc.PlotID = ps.PlotID WHERE "
            "ps.PlotID = %1")
                               .arg(plot.first)));
        while (pairs.next()) {
            const QVariant scenarioID = pairs.value(0);
            const int type = pairs.value(4).toInt();
            const QString column = type == 1 ? QStringLiteral("DepletionValue")
                : type == 3                  ? QStringLiteral("SalinityPickupValue")
                                             : QStringLiteral("DiversionValue");
            // A curve named after its data type is not followed by it again.
            const QString prefix = QStringLiteral("%1 - %2").arg(
                pairs.value(1).toString(), pairs.value(3).toString());
            QLineSeries* series = nullptr;
            for (QAbstractSeries* candidate : chart->series()) {
                if (candidate->name() == prefix
                    || candidate->name().startsWith(prefix + QStringLiteral(" (")))
                    series = lineSeries(candidate);
            }
            QSqlQuery expected(db);
            const QString table = scenarioID.isNull() ? QStringLiteral("BaseYearlyWaterUser")
                                                      : QStringLiteral("ScenarioYearlyWaterUser");
            const QString where = scenarioID.isNull()
                ? QString()
                : QStringLiteral(" AND r.ScenarioID = %1").arg(scenarioID.toInt());
            QVERIFY(expected.exec(QStringLiteral("SELECT r.Year, SUM(r.%1) FROM %2 r JOIN "
                                                 "PlotCurveWaterUser m ON m.WaterUserID = "
                                                 "r.WaterUserID WHERE m.PlotCurveID = %3%4 "
                                                 "GROUP BY r.Year ORDER BY r.Year")
                                      .arg(column, table)
                                      .arg(pairs.value(2).toInt())
                                      .arg(where)));
            QVector<QPointF> points;
            while (expected.next()) {
                if (!expected.value(1).isNull())
                    points.append(QPointF(expected.value(0).toInt(), expected.value(1).toDouble()));
            }
            if (points.isEmpty()) {
                QVERIFY2(!series, qPrintable(prefix));
                continue;
            }
            QVERIFY2(series, qPrintable(prefix));
            const QVector<QPointF> drawn = series->pointsVector();
            QCOMPARE(drawn.size(), points.size());
            for (int i = 0; i < drawn.size(); ++i) {
                QCOMPARE(drawn.at(i).x(), points.at(i).x());
                QVERIFY(qAbs(drawn.at(i).y() - points.at(i).y())
                    <= 1e-9 * qMax(1.0, qAbs(points.at(i).y())));
                ++checkedPoints;
            }
        }
    }
    QVERIFY(checkedPoints > 100);
}

QTEST_MAIN(TestPlotChartsWindows)
#include "tst_plotcharts_windows.moc"
