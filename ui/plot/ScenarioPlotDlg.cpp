#include "ui/plot/ScenarioPlotDlg.h"

#include "db/ModelOps.h"
#include "db/PlotDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/plot/TarnChart.h"

#include <QLineSeries>
#include <QPen>
#include <QSqlQuery>

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
    QSqlQuery scenarioQuery(mgr->database());
    scenarioQuery.prepare(QStringLiteral(
        "SELECT ps.ScenarioID, COALESCE(s.ScenarioShortName, 'Baseline') FROM PlotScenario ps "
        "LEFT JOIN Scenario s ON s.ScenarioID = ps.ScenarioID WHERE ps.PlotID = :plotID"));
    scenarioQuery.bindValue(QStringLiteral(":plotID"), _plotID);
    if (scenarioQuery.exec()) {
        while (scenarioQuery.next())
            _scenarios.append({ scenarioQuery.value(0), scenarioQuery.value(1).toString() });
    }
    if (PlotDAO* plots = mgr->plotDAO()) {
        QSqlQuery curveQuery = ModelOps::selectWhere(plots->plotCurveModel(), _plotID, TN::PlotID);
        while (curveQuery.isActive() && curveQuery.next())
            _curves.append({ curveQuery.value(0).toInt(), curveQuery.value(2).toString(),
                curveQuery.value(3).toInt() });
    }

    const QString baseline = QStringLiteral(
        "SELECT bywu.Year, SUM(bywu.DiversionValue), SUM(bywu.DepletionValue),  "
        "SUM(bywu.SalinityPickupValue), ad.SalinityMethodID FROM BaseYearlyWaterUser bywu "
        "INNER JOIN WaterUser wu ON wu.WaterUserID = bywu.WaterUserID INNER JOIN AggDiv ad ON "
        "ad.AggDivID = wu.AggDivID INNER JOIN PlotCurveWaterUser pcwu ON pcwu.WaterUserID = "
        "bywu.WaterUserID WHERE pcwu.PlotCurveID = :plotCurveID GROUP BY bywu.Year");
    const QString scenario = QStringLiteral(
        "SELECT sywu.Year, SUM(sywu.DiversionValue), SUM(sywu.DepletionValue),  "
        "SUM(sywu.SalinityPickupValue), ad.SalinityMethodID FROM ScenarioYearlyWaterUser sywu "
        "INNER JOIN WaterUser wu ON wu.WaterUserID = sywu.WaterUserID INNER JOIN AggDiv ad ON "
        "ad.AggDivID = wu.AggDivID INNER JOIN PlotCurveWaterUser pcwu ON pcwu.WaterUserID = "
        "sywu.WaterUserID WHERE pcwu.PlotCurveID = :plotCurveID AND sywu.ScenarioID = "
        ":scenarioID GROUP BY sywu.Year");
    // One query per scenario and curve, scenario by scenario.
    QVector<YearlySumReader::Query> queries;
    for (const ScenarioItem& item : qAsConst(_scenarios)) {
        const bool isBaseline = item.id.isNull() || item.id.toInt() == 0;
        for (const CurveItem& curve : qAsConst(_curves)) {
            YearlySumReader::Query query { isBaseline ? baseline : scenario,
                { { QStringLiteral(":plotCurveID"), curve.id } } };
            if (!isBaseline)
                query.bindings.insert(QStringLiteral(":scenarioID"), item.id);
            queries.append(query);
        }
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
