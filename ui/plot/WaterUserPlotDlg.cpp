#include "ui/plot/WaterUserPlotDlg.h"

#include "calc/BaselineChangeLog.h"
#include "calc/WaterUserBaselineDemandCalculator.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"

#include <QSqlQuery>
#include <QSqlRecord>

WaterUserPlotDlg::WaterUserPlotDlg(const QString& title, int waterUserID, QWidget* parent)
    : PlotDisplayDlg(title, parent)
    , _waterUserID(waterUserID)
{
}

void WaterUserPlotDlg::addPlotSeries(TarnChart* chart)
{
    int aggDivID = -1;
    if (_waterUserModel) {
        QSqlQuery row = ModelOps::selectWhere(_waterUserModel, _waterUserID, TN::WaterUserID);
        if (row.isActive() && row.next())
            aggDivID = row.record().value(TN::AggDivID).toInt();
    }
    if (aggDivID < 0) {
        showWarning(QStringLiteral("Unable to locate water user"));
        return;
    }

    BaselineChangeLog changeLog;
    changeLog.waterUserEdited(aggDivID, _waterUserID, titleText());
    recalculate(new WaterUserBaselineDemandCalculator(_waterUserID, aggDivID, this), &changeLog);

    QSqlQuery query(TarnDbMgr::instance()->database());
    query.prepare(QStringLiteral(
        "SELECT bywu.Year, SUM(bywu.DiversionValue), SUM(bywu.DepletionValue),  "
        "SUM(bywu.SalinityPickupValue), ad.SalinityMethodID FROM BaseYearlyWaterUser bywu "
        "INNER JOIN WaterUser wu ON wu.WaterUserID = bywu.WaterUserID INNER JOIN AggDiv ad ON "
        "ad.AggDivID = wu.AggDivID WHERE bywu.WaterUserID = :waterUserID GROUP BY bywu.Year"));
    query.bindValue(QStringLiteral(":waterUserID"), _waterUserID);
    query.exec();
    addBaselineSeries(chart, query);
}
