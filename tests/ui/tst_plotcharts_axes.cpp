#include "PlotChartsFixture.h"

class TestPlotChartsAxes : public PlotChartsFixture {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<TARN::okstat>("okstat");
        qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
    }
    void cleanup() { resetDbManager(); }

    void tooltipText_data();
    void tooltipText();
    void tooltipHidesWhenLeft();
    void legendClickTogglesSeriesAndMarker();
    void seriesKindPicksAxis_data();
    void seriesKindPicksAxis();
    void yearTicksFallOnRoundYears_data();
    void yearTicksFallOnRoundYears();
    void finishAxesPadsAndRounds_data();
    void finishAxesPadsAndRounds();
    void axisLabelsAreDistinct_data();
    void axisLabelsAreDistinct();
    void missingValuesLeaveNoPoint();
    void labelsStayWhole_data();
    void labelsStayWhole();
};

void TestPlotChartsAxes::tooltipText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("hoverX");
    QTest::addColumn<QString>("expected");

    QTest::newRow("named depletion")
        << int(TarnChart::DepletionKind) << QStringLiteral("Baseline - North (Depletion)") << 1995.0
        << QStringLiteral("Baseline - North (Depletion)<br />"
                          "Depletion<br />1995: 12.5 KAF/yr");
    QTest::newRow("unnamed diversion") << int(TarnChart::DiversionKind) << QString() << 1995.0
                                       << QStringLiteral("Diversion<br />1995: 12.5 KAF/yr");
    QTest::newRow("between years truncates") << int(TarnChart::DepletionKind) << QString() << 1995.7
                                             << QStringLiteral("Depletion<br />1995: 12.5 KAF/yr");
    QTest::newRow("mass salinity")
        << int(TarnChart::SalinityMassKind) << QString() << 1996.0
        << QStringLiteral("Salinity<br />1996: %1 tons/yr").arg(QLocale().toString(1e6, 'f', 0));
    QTest::newRow("concentration") << int(TarnChart::SalinityConcentrationKind) << QString()
                                   << 1997.0 << QStringLiteral("Salinity<br />1997: 0.1 mg/l");
    QTest::newRow("year without point") << int(TarnChart::DepletionKind) << QString() << 2010.0
                                        << QStringLiteral("Depletion<br />2010: nan KAF/yr");
}

void TestPlotChartsAxes::tooltipText()
{
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(double, hoverX);
    QFETCH(QString, expected);

    TarnChart chart;
    auto* series = new QLineSeries;
    series->setName(name);
    series->append(1995, 12.5);
    series->append(1996, 1e6);
    series->append(1997, 0.1);
    chart.addChartSeries(series, kind, !name.isEmpty());
    QVERIFY(!chart.tooltip()->isVisible());
    QCOMPARE(chart.tooltip()->text(), QString());

    emit series->hovered(QPointF(hoverX, 3.0), true);
    QCOMPARE(chart.tooltip()->text(), expected);
    QVERIFY(chart.tooltip()->isVisible());
    QCOMPARE(chart.tooltip()->zValue(), 11.0);
    QVERIFY(!chart.tooltip()->boundingRect().isEmpty());
    QCOMPARE(chart.tooltip()->pos(),
        chart.mapToPosition(QPointF(hoverX, 3.0), series) + QPointF(10, -50));
}

void TestPlotChartsAxes::tooltipHidesWhenLeft()
{
    TarnChart chart;
    auto* series = new QLineSeries;
    series->append(2000, 1);
    chart.addChartSeries(series, TarnChart::DiversionKind, false);
    emit series->hovered(QPointF(2000, 1), true);
    QVERIFY(chart.tooltip()->isVisible());
    emit series->hovered(QPointF(2000, 1), false);
    QVERIFY(!chart.tooltip()->isVisible());
}

void TestPlotChartsAxes::legendClickTogglesSeriesAndMarker()
{
    auto* chartPtr = new TarnChart;
    TarnChart& chart = *chartPtr;
    QChartView view(chartPtr);
    view.show();
    auto* kept = new QLineSeries;
    kept->append(2000, 1);
    auto* toggled = new QLineSeries;
    toggled->append(2000, 2);
    chart.addChartSeries(kept, TarnChart::DepletionKind, false);
    chart.addChartSeries(toggled, TarnChart::DiversionKind, false);
    const QList<QLegendMarker*> markers = chart.legend()->markers(toggled);
    QCOMPARE(markers.size(), 1);
    QLegendMarker* marker = markers.first();

    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTRY_VERIFY(marker->isVisible());
    emit marker->clicked();
    QVERIFY(!toggled->isVisible());
    QVERIFY(kept->isVisible());
    QVERIFY(marker->isVisible());
    QVERIFY(qAbs(marker->labelBrush().color().alphaF() - 0.5) < 0.01);
    QVERIFY(qAbs(marker->brush().color().alphaF() - 0.5) < 0.01);
    QVERIFY(qAbs(marker->pen().color().alphaF() - 0.5) < 0.01);

    emit marker->clicked();
    QVERIFY(toggled->isVisible());
    QVERIFY(marker->isVisible());
    QVERIFY(qAbs(marker->labelBrush().color().alphaF() - 1.0) < 0.01);
    QVERIFY(qAbs(marker->brush().color().alphaF() - 1.0) < 0.01);
    QVERIFY(qAbs(marker->pen().color().alphaF() - 1.0) < 0.01);
}

void TestPlotChartsAxes::yearTicksFallOnRoundYears_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<double>("anchor");
    QTest::addColumn<double>("interval");
    QTest::newRow("eight years") << 1993 << 2001 << 1993.0 << 1.0;
    QTest::newRow("thirty-seven years") << 1983 << 2020 << 1985.0 << 5.0;
    QTest::newRow("seventy-one years") << 1989 << 2060 << 1990.0 << 10.0;
}

void TestPlotChartsAxes::yearTicksFallOnRoundYears()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(double, anchor);
    QFETCH(double, interval);
    TarnChart chart;
    auto* series = new QLineSeries;
    series->append(first, 4);
    series->append(last, 9);
    chart.addChartSeries(series, TarnChart::DepletionKind, false);
    chart.finishAxes();
    QValueAxis* years = chart.yearAxis();
    QCOMPARE(years->tickType(), QValueAxis::TicksDynamic);
    QCOMPARE(years->tickAnchor(), anchor);
    QCOMPARE(years->tickInterval(), interval);
    QCOMPARE(years->labelFormat(), QStringLiteral("%d"));
}

void TestPlotChartsAxes::seriesKindPicksAxis_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("axisTitle");
    QTest::addColumn<int>("alignment");

    QTest::newRow("diversion") << int(TarnChart::DiversionKind) << QStringLiteral("Flow (KAF/yr)")
                               << int(Qt::AlignLeft);
    QTest::newRow("depletion") << int(TarnChart::DepletionKind) << QStringLiteral("Flow (KAF/yr)")
                               << int(Qt::AlignLeft);
    QTest::newRow("mass") << int(TarnChart::SalinityMassKind)
                          << QStringLiteral("Salinity (tons/yr)") << int(Qt::AlignRight);
    QTest::newRow("concentration") << int(TarnChart::SalinityConcentrationKind)
                                   << QStringLiteral("Salinity (mg/l)") << int(Qt::AlignRight);
}

void TestPlotChartsAxes::seriesKindPicksAxis()
{
    QFETCH(int, kind);
    QFETCH(QString, axisTitle);
    QFETCH(int, alignment);

    TarnChart chart;
    auto* series = new QLineSeries;
    series->append(1990, 4);
    series->append(2020, 9);
    chart.addChartSeries(series, kind, false);

    QValueAxis* axis = valueAxisOf(&chart, series);
    QVERIFY(axis);
    QCOMPARE(axis->titleText(), axisTitle);
    QCOMPARE(int(axis->alignment()), alignment);
    QCOMPARE(axis->labelFormat(), QStringLiteral("%d"));
    QCOMPARE(axis, chart.valueAxisOfKind(kind));
    QCOMPARE(chart.yearAxis()->titleText(), QStringLiteral("Year"));
    QCOMPARE(chart.yearAxis()->alignment(), Qt::AlignBottom);
    // A new axis takes its range from the points, not from the default 0 to 1.
    QCOMPARE(chart.yearAxis()->min(), 1990.0);
    QCOMPARE(chart.yearAxis()->max(), 2020.0);
    QCOMPARE(axis->min(), 4.0);
    QCOMPARE(axis->max(), 9.0);
    // Only the axes that were needed exist before finishAxes().
    QCOMPARE(chart.axes().size(), 2);
    chart.finishAxes();
    QCOMPARE(chart.axes().size(), 4);
}

void TestPlotChartsAxes::finishAxesPadsAndRounds_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("paddedMin");
    QTest::addColumn<double>("paddedMax");

    QTest::newRow("positive starts at 0") << QList<double> { 40, 200 } << 0.0 << 210.0;
    // The padding is 5 % of the maximum's size, also when the maximum is negative: the lowest
    // point must stay inside the axis.
    QTest::newRow("negative minimum padded") << QList<double> { -100, 200 } << -110.0 << 210.0;
    QTest::newRow("all negative ends at 0") << QList<double> { -100, -20 } << -101.0 << 0.0;
}

void TestPlotChartsAxes::finishAxesPadsAndRounds()
{
    QFETCH(QList<double>, values);
    QFETCH(double, paddedMin);
    QFETCH(double, paddedMax);

    TarnChart chart;
    auto* series = new QLineSeries;
    int year = 2000;
    for (double value : values)
        series->append(year++, value);
    chart.addChartSeries(series, TarnChart::DepletionKind, false);
    chart.finishAxes();

    QValueAxis* flow = chart.flowAxis();
    // Nice numbers only ever widen the padded range.
    QVERIFY2(flow->min() <= paddedMin, qPrintable(QString::number(flow->min())));
    QVERIFY2(flow->max() >= paddedMax, qPrintable(QString::number(flow->max())));
    if (paddedMin == 0.0)
        QCOMPARE(flow->min(), 0.0);
    if (paddedMax == 0.0)
        QCOMPARE(flow->max(), 0.0);
    // ... and not by more than one step of the rounded scale.
    QVERIFY(flow->max() - flow->min() < 2.0 * (paddedMax - paddedMin));

    // The unused salinity axes exist with a usable range from 0.
    for (QValueAxis* axis : { chart.massAxis(), chart.concentrationAxis() }) {
        QVERIFY(axis);
        QCOMPARE(axis->min(), 0.0);
        QVERIFY(std::isfinite(axis->max()));
        QVERIFY(axis->max() > 0.0);
    }
}

void TestPlotChartsAxes::axisLabelsAreDistinct_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<bool>("wholeNumbers");

    QTest::newRow("flows in hundreds") << QList<double> { 40, 480 } << true;
    QTest::newRow("flows below one") << QList<double> { 0.1, 0.4 } << false;
    QTest::newRow("tiny flows") << QList<double> { 0.0012, 0.0031 } << false;
    QTest::newRow("flows below ten") << QList<double> { 1, 3 } << true;
}

void TestPlotChartsAxes::axisLabelsAreDistinct()
{
    QFETCH(QList<double>, values);
    QFETCH(bool, wholeNumbers);

    TarnChart chart;
    auto* series = new QLineSeries;
    int year = 2000;
    for (double value : values)
        series->append(year++, value);
    chart.addChartSeries(series, TarnChart::DiversionKind, false);
    chart.finishAxes();

    // The tick labels as the axis prints them: "%d" truncates, "%.Nf" rounds.
    auto labels = [](const QValueAxis* axis) {
        QStringList texts;
        const int ticks = axis->tickCount();
        const double step = (axis->max() - axis->min()) / (ticks - 1);
        for (int i = 0; i < ticks; ++i) {
            const double value = axis->min() + i * step;
            texts << (axis->labelFormat() == QLatin1String("%d")
                    ? QString::number(static_cast<qint64>(value))
                    : QString::asprintf(qPrintable(axis->labelFormat()), value));
        }
        return texts;
    };
    const QStringList flow = labels(chart.flowAxis());
    QCOMPARE(QSet<QString>(flow.begin(), flow.end()).size(), flow.size());
    QCOMPARE(chart.flowAxis()->labelFormat() == QLatin1String("%d"), wholeNumbers);
    // The salinity axes nobody used show 0 and 1 and nothing in between.
    for (const QValueAxis* axis : { chart.massAxis(), chart.concentrationAxis() })
        QCOMPARE(labels(axis), (QStringList { QStringLiteral("0"), QStringLiteral("1") }));
}

void TestPlotChartsAxes::missingValuesLeaveNoPoint()
{
    // NULL sums read as NaN; they must not reach a series or an axis range.
    TestProject project(2000, 2003);
    QVERIFY(project.exec(QString::fromLatin1(Basin)).isOk());
    QVERIFY(
        project
            .exec(QStringLiteral("INSERT INTO BaseYearlyWaterUser (BaselineID, WaterUserID, Year, "
                                 "DiversionValue, DepletionValue, SalinityPickupValue) VALUES "
                                 "(1, 1, 2000, 5, NULL, NULL), (1, 1, 2001, 6, 3, NULL)"))
            .isOk());
    QVERIFY(project.openInManager().isOk());
    QSqlQuery query(TarnDbMgr::instance()->database());
    QVERIFY(query.exec(QStringLiteral(
        "SELECT Year, SUM(DiversionValue), SUM(DepletionValue), SUM(SalinityPickupValue), 1 "
        "FROM BaseYearlyWaterUser GROUP BY Year")));
    const PlotDisplayDlg::YearlySums sums = YearlySumQueries::readSums(query);
    QCOMPARE(sums.years.size(), 2);
    QVERIFY(std::isnan(sums.depletion.at(0)));
    QVERIFY(std::isnan(sums.salinity.at(1)));
}

void TestPlotChartsAxes::labelsStayWhole_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("scale");
    // The plot window's own size and a smaller one; flows of a large basin's curve (five
    // digits) and of a whole basin (six).
    QTest::newRow("window size, five digits") << 760 << 1.0;
    QTest::newRow("window size, six digits") << 760 << 40.0;
    QTest::newRow("narrower, five digits") << 640 << 1.0;
}

void TestPlotChartsAxes::labelsStayWhole()
{
    // Four scenarios of one curve, named as a scenario plot names them: neither an axis label
    // nor a legend entry may be cut short (the chart ends a cut text in "...").
    QFETCH(int, width);
    QFETCH(double, scale);
    auto* chart = new TarnChart;
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    const QStringList scenarios = { QStringLiteral("Baseline"), QStringLiteral("Warm"),
        QStringLiteral("Conserve"), QStringLiteral("Growth") };
    for (int s = 0; s < scenarios.size(); ++s) {
        auto* series = new QLineSeries;
        series->setName(
            QStringLiteral("%1 - North Fork Depletion (Depletion)").arg(scenarios.at(s)));
        for (int year = 1981; year <= 2100; ++year)
            series->append(year, scale * (12000.0 + 130.0 * (year - 1981) + 500.0 * s));
        chart->addChartSeries(series, TarnChart::DepletionKind, true);
    }
    chart->finishAxes();
    QChartView view(chart);
    view.resize(width, 540);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QStringList cut;
    QStringList texts;
    const QList<QGraphicsItem*> items = view.scene()->items();
    for (QGraphicsItem* item : items) {
        auto* textItem = dynamic_cast<QGraphicsTextItem*>(item);
        if (!textItem || !textItem->isVisible())
            continue;
        const QString text = textItem->toPlainText();
        texts << text;
        if (text.endsWith(QLatin1String("...")))
            cut << text;
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('|'))));
    // The labels were there to be cut: the flow axis's top label and every legend entry.
    QVERIFY2(texts.contains(QString::number(static_cast<qint64>(chart->flowAxis()->max()))),
        qPrintable(texts.join(QLatin1Char('|'))));
    for (const QString& scenario : scenarios)
        QVERIFY(
            texts.contains(QStringLiteral("%1 - North Fork Depletion (Depletion)").arg(scenario)));
}

QTEST_MAIN(TestPlotChartsAxes)
#include "tst_plotcharts_axes.moc"
