#pragma once

#include "ui/plot/PlotDisplayDlg.h"

// One water user's baseline values per year, recalculated before each drawing.
class WaterUserPlotDlg : public PlotDisplayDlg {
    Q_OBJECT

public:
    WaterUserPlotDlg(const QString& title, int waterUserID, QWidget* parent = nullptr);

protected:
    QVector<YearlySumReader::Query> plotQueries() override;
    void addPlotSeries(TarnChart* chart, const QVector<YearlySums>& sums) override;

private:
    int _waterUserID;
};
