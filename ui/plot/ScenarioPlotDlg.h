#pragma once

#include "ui/plot/PlotDisplayDlg.h"

#include <QColor>

// The curves of a stored plot, one series per scenario and curve: a scenario keeps one colour
// and a curve one line style across the chart.
class ScenarioPlotDlg : public PlotDisplayDlg {
    Q_OBJECT

public:
    explicit ScenarioPlotDlg(const QString& title, QWidget* parent = nullptr);

    void setPlotID(int plotID) { _plotID = plotID; }
    int plotID() const { return _plotID; }

    static QColor scenarioColor(int scenarioIndex);
    static Qt::PenStyle curveStyle(int curveIndex);

protected:
    void addPlotSeries(TarnChart* chart) override;

private:
    int _plotID = 0;
};
