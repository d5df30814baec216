#pragma once

#include "ui/plot/PlotDisplayDlg.h"

#include <QColor>
#include <QList>
#include <QVariant>

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
    QVector<YearlySumReader::Query> plotQueries() override;
    void addPlotSeries(TarnChart* chart, const QVector<YearlySums>& sums) override;

private:
    struct CurveItem {
        int id = 0;
        QString name;
        int dataType = 0;
    };
    struct ScenarioItem {
        QVariant id;
        QString name;
    };

    int _plotID = 0;
    // The plot's scenarios and curves as the last drawing read them.
    QList<ScenarioItem> _scenarios;
    QList<CurveItem> _curves;
};
