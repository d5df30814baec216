#pragma once

#include "ui/plot/PlotDisplayDlg.h"

class BaselineChangeLog;

// One site's baseline totals per year: depletion, diversion and, when the site has any,
// salinity pick-up. The site is recalculated before each drawing so that the chart shows the
// site dialog's unsaved edits.
class AggDivPlotDlg : public PlotDisplayDlg {
    Q_OBJECT

public:
    // changeLog is the baseline dialog's and must outlive the window; null means no edits.
    AggDivPlotDlg(const QString& title, int aggDivID, const BaselineChangeLog* changeLog,
        QWidget* parent = nullptr);

protected:
    QVector<YearlySumReader::Query> plotQueries() override;
    void addPlotSeries(TarnChart* chart, const QVector<YearlySums>& sums) override;

private:
    int _aggDivID;
    const BaselineChangeLog* _changeLog;
};
