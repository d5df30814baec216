#include "ui/plot/AggDivPlotDlg.h"

#include "calc/AggDivBaselineDemandCalculator.h"

AggDivPlotDlg::AggDivPlotDlg(
    const QString& title, int aggDivID, const BaselineChangeLog* changeLog, QWidget* parent)
    : PlotDisplayDlg(title, parent)
    , _aggDivID(aggDivID)
    , _changeLog(changeLog)
{
}

QVector<YearlySumReader::Query> AggDivPlotDlg::plotQueries()
{
    recalculate(new AggDivBaselineDemandCalculator(_aggDivID, this), _changeLog);
    return { YearlySumQueries::siteBaseline(_aggDivID) };
}

void AggDivPlotDlg::addPlotSeries(TarnChart* chart, const QVector<YearlySums>& sums)
{
    if (!sums.isEmpty())
        addBaselineSeries(chart, sums.first());
}
