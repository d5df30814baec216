#include "support/StatementRefusal.h"
#include "support/TestProject.h"

#include "calc/AggDivBaselineDemandCalculator.h"
#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/CalcStatusInfo.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/TarnDbMgr.h"
#include "demo/DemoProject.h"
#include "ui/baseline/AggDivDlg.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/common/CalcStatusJob.h"
#include "ui/plot/AggDivPlotDlg.h"
#include "ui/plot/ScenarioPlotDlg.h"
#include "ui/plot/TarnChart.h"
#include "ui/plot/WaterUserPlotDlg.h"

#include <QApplication>
#include <QChartView>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QTimer>
#include <QValueAxis>
#include <QtTest>

#include <cmath>

using namespace QtCharts;

namespace {

// 2000-2003. Site 1 uses a mass method with pick-ups, site 2 a concentration method with
// pick-ups, site 3 a mass method whose pick-ups are all 0.
const char* const Basin = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 1, 'North', 'North Canal', 1), (2, 3, 'East', 'East Canal', 2),
    (3, 4, 'Dry', 'Dry Wash', 3);
INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, 'Upper', 'Upper Ditch', 1), (2, 1, 'Lower', 'Lower Ditch', 2),
    (3, 2, 'East User', 'East User', 1), (4, 3, 'Dry User', 'Dry User', 1);
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio,
    SalinityPickup) VALUES
    (1, 2000, 20, 10, 0.5, 120), (1, 2001, 20, 10, 0.5, 120), (1, 2002, 40, 20, 0.5, 120),
    (1, 2003, 80, 40, 0.5, 120),
    (2, 2000, 100, NULL, 0.4, 30), (2, 2001, 100, NULL, 0.4, 30),
    (2, 2002, 100, NULL, 0.4, 30), (2, 2003, 100, NULL, 0.4, 30),
    (3, 2000, 50, NULL, 0.4, 10), (3, 2001, 50, NULL, 0.4, 10),
    (3, 2002, 50, NULL, 0.4, 10), (3, 2003, 50, NULL, 0.4, 10),
    (4, 2000, 30, 30, NULL, 0), (4, 2001, 30, 30, NULL, 0),
    (4, 2002, 30, 30, NULL, 0), (4, 2003, 30, 30, NULL, 0);
INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov,
    Dec) VALUES (1, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10),
    (2, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10),
    (3, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10),
    (4, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10);
)";

// Stored results for the plot windows that draw without recalculating: two scenarios beside
// the baseline, curve 1 (depletion of water users 1 and 2), curve 2 (diversion of water user
// 1) and curve 3 (salinity of the mg/l water user 3).
const char* const StoredResults = R"(
INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES
    (1, 'Wet years', 'Wet'), (2, 'Dry years', 'Dry');
INSERT INTO BaseYearlyWaterUser (BaselineID, WaterUserID, Year, DiversionValue, DepletionValue,
    SalinityPickupValue) VALUES
    (1, 1, 2000, 20, 10, 120), (1, 1, 2001, 22, 11, 120),
    (1, 2, 2000, 100, 40, 30), (1, 2, 2001, 100, 40, 30),
    (1, 3, 2000, 50, 20, 10), (1, 3, 2001, 50, 20, 12);
INSERT INTO ScenarioYearlyWaterUser (BaselineID, ScenarioID, WaterUserID, Year, DiversionValue,
    DepletionValue, SalinityPickupValue) VALUES
    (1, 1, 1, 2000, 30, 15, 0), (1, 1, 2, 2000, 100, 45, 0),
    (1, 2, 1, 2000, 10, 5, 0), (1, 2, 2, 2000, 90, 35, 0);
INSERT INTO Plot (PlotID, Name, Description) VALUES (1, 'Demand', ''), (2, 'Salt', ''),
    (3, 'Nothing', '');
INSERT INTO PlotScenario (PlotID, ScenarioID) VALUES (1, NULL), (1, 1), (1, 2), (2, NULL);
INSERT INTO PlotCurve (PlotCurveID, PlotID, Name, CurveDataTypeID) VALUES
    (1, 1, 'North', 1), (2, 1, 'Upper', 2), (3, 2, 'East salt', 3);
INSERT INTO PlotCurveWaterUser (PlotCurveID, WaterUserID) VALUES (1, 1), (1, 2), (2, 1), (3, 3);
)";

QLineSeries* lineSeries(QAbstractSeries* series)
{
    return qobject_cast<QLineSeries*>(series);
}

QStringList seriesNames(TarnChart* chart)
{
    QStringList names;
    const QList<QAbstractSeries*> all = chart->series();
    for (QAbstractSeries* series : all)
        names << series->name();
    return names;
}

QLineSeries* seriesNamed(TarnChart* chart, const QString& name)
{
    const QList<QAbstractSeries*> all = chart->series();
    for (QAbstractSeries* series : all) {
        if (series->name() == name)
            return lineSeries(series);
    }
    return nullptr;
}

// The value axis a series is attached to (the one that is not the year axis).
QValueAxis* valueAxisOf(TarnChart* chart, QAbstractSeries* series)
{
    const QList<QAbstractAxis*> axes = series->attachedAxes();
    for (QAbstractAxis* axis : axes) {
        if (axis != chart->yearAxis())
            return qobject_cast<QValueAxis*>(axis);
    }
    return nullptr;
}

// Closes every message box that opens while it lives and keeps their texts.
class MessageCatcher : public QObject {
public:
    MessageCatcher()
    {
        connect(&_timer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        _timer.start(20);
    }
    QStringList texts;

private:
    QTimer _timer;
};

} // namespace

class TestPlotCharts : public QObject {
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

void TestPlotCharts::tooltipText_data()
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

void TestPlotCharts::tooltipText()
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

void TestPlotCharts::tooltipHidesWhenLeft()
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

void TestPlotCharts::legendClickTogglesSeriesAndMarker()
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

void TestPlotCharts::yearTicksFallOnRoundYears_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<double>("anchor");
    QTest::addColumn<double>("interval");
    QTest::newRow("eight years") << 1993 << 2001 << 1993.0 << 1.0;
    QTest::newRow("thirty-seven years") << 1983 << 2020 << 1985.0 << 5.0;
    QTest::newRow("seventy-one years") << 1989 << 2060 << 1990.0 << 10.0;
}

void TestPlotCharts::yearTicksFallOnRoundYears()
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

void TestPlotCharts::seriesKindPicksAxis_data()
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

void TestPlotCharts::seriesKindPicksAxis()
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

void TestPlotCharts::finishAxesPadsAndRounds_data()
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

void TestPlotCharts::finishAxesPadsAndRounds()
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

void TestPlotCharts::axisLabelsAreDistinct_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<bool>("wholeNumbers");

    QTest::newRow("flows in hundreds") << QList<double> { 40, 480 } << true;
    QTest::newRow("flows below one") << QList<double> { 0.1, 0.4 } << false;
    QTest::newRow("tiny flows") << QList<double> { 0.0012, 0.0031 } << false;
    QTest::newRow("flows below ten") << QList<double> { 1, 3 } << true;
}

void TestPlotCharts::axisLabelsAreDistinct()
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

void TestPlotCharts::missingValuesLeaveNoPoint()
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

void TestPlotCharts::labelsStayWhole_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("scale");
    // The plot window's own size and a smaller one; flows of a large basin's curve (five
    // digits) and of a whole basin (six).
    QTest::newRow("window size, five digits") << 760 << 1.0;
    QTest::newRow("window size, six digits") << 760 << 40.0;
    QTest::newRow("narrower, five digits") << 640 << 1.0;
}

void TestPlotCharts::labelsStayWhole()
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

void TestPlotCharts::siteWindowSeries_data()
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

void TestPlotCharts::siteWindowSeries()
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

void TestPlotCharts::siteWindowRegenerateReplacesChart()
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

void TestPlotCharts::waterUserWindowDrawsItsOwnValues()
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

void TestPlotCharts::unknownWaterUserIsReported()
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

void TestPlotCharts::scenarioPlotStylesAndSeries()
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
void TestPlotCharts::unreadableSumsAreReported()
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

void TestPlotCharts::salinityCurveOfConcentrationUsers()
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

void TestPlotCharts::plotWithoutScenariosDrawsNothing()
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

void TestPlotCharts::drawingWaitsForRunningWorker()
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

void TestPlotCharts::colourAndStyleTables_data()
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

void TestPlotCharts::colourAndStyleTables()
{
    QFETCH(int, index);
    QFETCH(QString, color);
    QFETCH(int, style);
    QCOMPARE(ScenarioPlotDlg::scenarioColor(index).name(), color);
    QCOMPARE(int(ScenarioPlotDlg::curveStyle(index)), style);
}

void TestPlotCharts::siteQuickPlot()
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

void TestPlotCharts::waterUserQuickPlotSavesEdits()
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

void TestPlotCharts::demoPlotsShowResultTables()
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

QTEST_MAIN(TestPlotCharts)
#include "tst_plotcharts.moc"
