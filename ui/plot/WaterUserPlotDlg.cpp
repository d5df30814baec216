#include "ui/plot/WaterUserPlotDlg.h"

#include "calc/BaselineChangeLog.h"
#include "calc/WaterUserBaselineDemandCalculator.h"
#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"

#include <QSqlRecord>

WaterUserPlotDlg::WaterUserPlotDlg(const QString& title, int waterUserID, QWidget* parent)
    : PlotDisplayDlg(title, parent)
    , _waterUserID(waterUserID)
{
}

QVector<YearlySumReader::Query> WaterUserPlotDlg::plotQueries()
{
    int aggDivID = -1;
    if (_waterUserModel) {
        QSqlRecord row;
        if (ModelRows::readWhere(_waterUserModel, _waterUserID, TN::WaterUserID, row))
            aggDivID = row.value(TN::AggDivID).toInt();
    }
    if (aggDivID < 0) {
        showWarning(QStringLiteral("Unable to locate water user"));
        return {};
    }

    BaselineChangeLog changeLog;
    changeLog.waterUserEdited(aggDivID, _waterUserID, titleText());
    recalculate(new WaterUserBaselineDemandCalculator(_waterUserID, aggDivID, this), &changeLog);
    return { YearlySumQueries::waterUserBaseline(_waterUserID) };
}

void WaterUserPlotDlg::addPlotSeries(TarnChart* chart, const QVector<YearlySums>& sums)
{
    if (!sums.isEmpty())
        addBaselineSeries(chart, sums.first());
}
