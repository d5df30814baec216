#pragma once

#include "ui/common/TarnDlg.h"
#include "ui/plot/YearlySumReader.h"

#include <QString>
#include <QVector>

class CalcStatusDlg;
class DemandCalculator;
class BaselineChangeLog;
class TarnChart;

namespace QtCharts {
class QChartView;
}

namespace Ui {
class PlotDisplayWidgets;
}

// A chart window: draws when first shown and again on "Regenerate", each time into a new chart
// that replaces the previous one. The subclasses decide what is drawn: the queries of the
// yearly sums, which a worker runs while the window waits under a status dialog (the event
// loop turns meanwhile), and the series made of their rows.
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

    // One row per year of a yearly-sum query (YearlySumQueries::Sums).
    using YearlySums = YearlySumReader::Sums;
    // Salinity methods 1 and 4 give mass (tons/yr); the others concentration (mg/l).
    static bool isMassMethod(int salinityMethodID);

signals:
    void preGenerate();

public slots:
    void generate();

protected:
    // On the GUI thread, before the data is read: the queries to run (a recalculation may come
    // first). A window without anything to draw returns none.
    virtual QVector<YearlySumReader::Query> plotQueries() = 0;
    // The series of the chart, from the rows of each query in their order.
    virtual void addPlotSeries(TarnChart* chart, const QVector<YearlySums>& sums) = 0;
    void showEvent(QShowEvent* event) override;

    // Runs a one-site or one-water-user calculation inside the caller's transaction under a
    // status dialog, and shows its failure. Takes ownership of calculator.
    void recalculate(DemandCalculator* calculator, const BaselineChangeLog* changeLog);
    // Adds the depletion, diversion and (when there is any) salinity pick-up series of a site
    // or water user.
    static void addBaselineSeries(TarnChart* chart, const YearlySums& sums);

private:
    // Runs the queries on a worker under a status dialog.
    QVector<YearlySums> readSums(const QVector<YearlySumReader::Query>& queries);

    Ui::PlotDisplayWidgets* _ui;
    QString _title;
    QtCharts::QChartView* _chartView = nullptr;
    bool _shownOnce = false;
    bool _waitingForWorker = false;
};
