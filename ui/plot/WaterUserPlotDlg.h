#pragma once

#include "ui/plot/PlotDisplayDlg.h"

// One water user's baseline values per year, recalculated before each drawing.
class WaterUserPlotDlg : public PlotDisplayDlg {
    Q_OBJECT

public:
    WaterUserPlotDlg(const QString& title, int waterUserID, QWidget* parent = nullptr);

protected:
    void addPlotSeries(TarnChart* chart) override;

private:
    int _waterUserID;
};
