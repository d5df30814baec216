#include "ui/plot/ScenarioPlotDlg.h"

#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/PlotDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/plot/TarnChart.h"

#include <QLineSeries>
#include <QPen>
#include <QSqlRecord>

#include <cmath>

using namespace QtCharts;

ScenarioPlotDlg::ScenarioPlotDlg(const QString& title, QWidget* parent)
    : PlotDisplayDlg(title, parent)
{
}

QColor ScenarioPlotDlg::scenarioColor(int scenarioIndex)
{
    static const char* const colors[] = { "#000000", "#0000ff", "#008000", "#ff0000", "#ffa500",
        "#a9a9a9", "#800080", "#32cd32", "#8b0000", "#b8860b" };
    const int count = static_cast<int>(sizeof(colors) / sizeof(colors[0]));
    return QColor(QLatin1String(colors[((scenarioIndex % count) + count) % count]));
}

Qt::PenStyle ScenarioPlotDlg::curveStyle(int curveIndex)
{
    static const Qt::PenStyle styles[]
        = { Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine };
    const int count = static_cast<int>(sizeof(styles) / sizeof(styles[0]));
    return styles[((curveIndex % count) + count) % count];
}

QVector<YearlySumReader::Query> ScenarioPlotDlg::plotQueries()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    _scenarios.clear();
    _curves.clear();
    if (PlotDAO* plots = mgr->plotDAO()) {
        QList<PlotRun> runs;
        plots->getPlotRuns(_plotID, runs);
        for (const PlotRun& run : qAsConst(runs))
            _scenarios.append({ run.ScenarioID, run.ShortName });
        QList<QSqlRecord> rows;
        ModelRows::readAllWhere(plots->plotCurveModel(), _plotID, TN::PlotID, rows);
        for (const QSqlRecord& row : qAsConst(rows))
            _curves.append({ row.value(0).toInt(), row.value(2).toString(), row.value(3).toInt() });
    }

    // One query per scenario and curve, scenario by scenario.
    QVector<YearlySumReader::Query> queries;
    for (const ScenarioItem& item : qAsConst(_scenarios)) {
        for (const CurveItem& curve : qAsConst(_curves))
            queries.append(YearlySumQueries::curve(curve.id, item.id));
    }
    return queries;
}

void ScenarioPlotDlg::addPlotSeries(TarnChart* chart, const QVector<YearlySums>& sumsOfQueries)
{
    int next = 0;
    for (int s = 0; s < _scenarios.size(); ++s) {
        const ScenarioItem& item = _scenarios.at(s);
        for (int c = 0; c < _curves.size(); ++c) {
            const CurveItem& curve = _curves.at(c);
            const YearlySums sums
                = next < sumsOfQueries.size() ? sumsOfQueries.at(next) : YearlySums();
            ++next;

            const QVector<double>* values = &sums.diversion;
            QString label = QStringLiteral("Diversion");
            int kind = TarnChart::DiversionKind;
            if (curve.dataType == TARN::CurveDepletion) {
                values = &sums.depletion;
                label = QStringLiteral("Depletion");
                kind = TarnChart::DepletionKind;
            } else if (curve.dataType == TARN::CurveSalinity) {
                values = &sums.salinity;
                const bool mass = isMassMethod(sums.salinityMethodID);
                label = mass ? QStringLiteral("Salinity tons/yr") : QStringLiteral("Salinity mg/l");
                kind = mass ? TarnChart::SalinityMassKind : TarnChart::SalinityConcentrationKind;
            }

            auto* series = new QLineSeries;
            for (int i = 0; i < sums.years.size(); ++i) {
                if (std::isfinite(values->at(i)))
                    series->append(sums.years.at(i), values->at(i));
            }
            if (series->count() == 0) {
                delete series;
                continue;
            }
            // A curve named after what it sums says it once.
            series->setName(curve.name.contains(label, Qt::CaseInsensitive)
                    ? QStringLiteral("%1 - %2").arg(item.name, curve.name)
                    : QStringLiteral("%1 - %2 (%3)").arg(item.name, curve.name, label));
            QPen pen(scenarioColor(s));
            pen.setWidth(2);
            pen.setStyle(curveStyle(c));
            series->setPen(pen);
            chart->addChartSeries(series, kind, true);
        }
    }
}
