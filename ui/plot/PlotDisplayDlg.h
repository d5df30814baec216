#pragma once

#include "ui/common/TarnDlg.h"

#include <QString>
#include <QVector>

class CalcStatusDlg;
class DemandCalculator;
class BaselineChangeLog;
class TarnChart;
class QSqlQuery;

namespace QtCharts {
class QChartView;
}

namespace Ui {
class PlotDisplayWidgets;
}

// A chart window: draws when first shown and again on "Regenerate", each time into a new chart
// that replaces the previous one. The subclasses decide what is drawn.
class PlotDisplayDlg : public TarnDlg {
    Q_OBJECT

public:
    PlotDisplayDlg(const QString& title, QWidget* parent = nullptr);
    ~PlotDisplayDlg() override;

    QString titleText() const { return _title; }
    // Null before the first drawing.
    QtCharts::QChartView* chartView() const { return _chartView; }
    TarnChart* chart() const;

    // The status dialog of a worker that holds the connection at the moment, if any. Every
    // calculation and export runs under one, so its presence means the connection is taken.
    static CalcStatusDlg* runningWorkerDialog();

    // One row per year of a yearly-sum query: year, diversion, depletion, salinity pick-up and
    // the site's salinity method, in this column order. Missing sums are NaN.
    struct YearlySums {
        QVector<double> years;
        QVector<double> diversion;
        QVector<double> depletion;
        QVector<double> salinity;
        int salinityMethodID = 0;
    };
    static YearlySums readYearlySums(QSqlQuery& query);
    // Salinity methods 1 and 4 give mass (tons/yr); the others concentration (mg/l).
    static bool isMassMethod(int salinityMethodID);

signals:
    void preGenerate();

public slots:
    void generate();

protected:
    virtual void addPlotSeries(TarnChart* chart) = 0;
    void showEvent(QShowEvent* event) override;

    // Runs a one-site or one-water-user calculation inside the caller's transaction under a
    // status dialog, and shows its failure. Takes ownership of calculator.
    void recalculate(DemandCalculator* calculator, const BaselineChangeLog* changeLog);
    // Adds the depletion, diversion and (when there is any) salinity pick-up series of a site
    // or water user query.
    static void addBaselineSeries(TarnChart* chart, QSqlQuery& query);

private:
    Ui::PlotDisplayWidgets* _ui;
    QString _title;
    QtCharts::QChartView* _chartView = nullptr;
    bool _shownOnce = false;
    bool _waitingForWorker = false;
};
