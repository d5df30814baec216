#pragma once

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

inline QLineSeries* lineSeries(QAbstractSeries* series)
{
    return qobject_cast<QLineSeries*>(series);
}

inline QStringList seriesNames(TarnChart* chart)
{
    QStringList names;
    const QList<QAbstractSeries*> all = chart->series();
    for (QAbstractSeries* series : all)
        names << series->name();
    return names;
}

inline QLineSeries* seriesNamed(TarnChart* chart, const QString& name)
{
    const QList<QAbstractSeries*> all = chart->series();
    for (QAbstractSeries* series : all) {
        if (series->name() == name)
            return lineSeries(series);
    }
    return nullptr;
}

// The value axis a series is attached to (the one that is not the year axis).
inline QValueAxis* valueAxisOf(TarnChart* chart, QAbstractSeries* series)
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

// What the tst_plotcharts_* tests share: the project they work on and their helpers.
class PlotChartsFixture : public QObject {
protected:
};
