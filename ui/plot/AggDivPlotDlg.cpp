#include "ui/plot/AggDivPlotDlg.h"

#include "calc/AggDivBaselineDemandCalculator.h"
#include "db/TarnDbMgr.h"

#include <QSqlQuery>

AggDivPlotDlg::AggDivPlotDlg(
    const QString& title, int aggDivID, const BaselineChangeLog* changeLog, QWidget* parent)
    : PlotDisplayDlg(title, parent)
    , _aggDivID(aggDivID)
    , _changeLog(changeLog)
{
}

void AggDivPlotDlg::addPlotSeries(TarnChart* chart)
{
    recalculate(new AggDivBaselineDemandCalculator(_aggDivID, this), _changeLog);

    QSqlQuery query(TarnDbMgr::instance()->database());
    query.prepare(QStringLiteral(
        "SELECT bywu.Year, SUM(bywu.DiversionValue), SUM(bywu.DepletionValue),  "
        "SUM(bywu.SalinityPickupValue), ad.SalinityMethodID FROM BaseYearlyWaterUser bywu "
        "INNER JOIN WaterUser wu ON wu.WaterUserID = bywu.WaterUserID INNER JOIN AggDiv ad ON "
        "ad.AggDivID = wu.AggDivID WHERE ad.AggDivID = :aggDivID GROUP BY bywu.Year"));
    query.bindValue(QStringLiteral(":aggDivID"), _aggDivID);
    query.exec();
    addBaselineSeries(chart, query);
}
