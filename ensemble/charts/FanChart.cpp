#include "ensemble/charts/FanChart.h"

#include <QApplication>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QSaveFile>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

QT_CHARTS_USE_NAMESPACE

namespace FanChart {

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

namespace {

// A series of one statistic; years without a value break nothing, they are left out.
QLineSeries* line(const Fan& fan, int statistic, const QString& name)
{
    auto* series = new QLineSeries;
    series->setName(name);
    const std::vector<double>& values = fan.statistics[statistic];
    for (size_t y = 0; y < values.size(); ++y) {
        if (!std::isnan(values[y]))
            series->append(fan.firstYear + int(y), values[y]);
    }
    return series;
}

} // namespace

TARN::okstat render(const Fan& fan, const QString& path)
{
    // Owned by the view below.
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("%1 (%2 members)").arg(fan.title, QString::number(fan.members)));
    chart->legend()->setAlignment(Qt::AlignBottom);

    QLineSeries* low = line(fan, 1, QStringLiteral("10th percentile"));
    QLineSeries* high = line(fan, 3, QStringLiteral("90th percentile"));
    auto* band = new QAreaSeries(high, low);
    low->setParent(band); // the band draws them but does not own them
    high->setParent(band);
    band->setName(QStringLiteral("10th to 90th percentile"));
    band->setColor(QColor(70, 130, 180, 90));
    band->setBorderColor(QColor(70, 130, 180));
    QLineSeries* median = line(fan, 2, QStringLiteral("median"));
    median->setPen(QPen(QColor(20, 60, 120), 2.5));
    QLineSeries* min = line(fan, 0, QStringLiteral("minimum"));
    QLineSeries* max = line(fan, 4, QStringLiteral("maximum"));
    for (QLineSeries* extreme : { min, max })
        extreme->setPen(QPen(QColor(110, 110, 110), 1.2, Qt::DashLine));
    chart->addSeries(band);
    chart->addSeries(median);
    chart->addSeries(min);
    chart->addSeries(max);

    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (const auto& values : fan.statistics) {
        for (const double v : values) {
            if (!std::isnan(v)) {
                lowest = std::min(lowest, v);
                highest = std::max(highest, v);
            }
        }
    }
    if (!std::isfinite(lowest)) {
        lowest = 0;
        highest = 1;
    }
    auto* years = new QValueAxis;
    years->setTitleText(QStringLiteral("Year"));
    years->setLabelFormat(QStringLiteral("%d"));
    const int lastYear = fan.firstYear + int(fan.statistics[0].size()) - 1;
    years->setRange(fan.firstYear, std::max(lastYear, fan.firstYear + 1));
    // Ticks on round years, as people read a time axis.
    const int span = lastYear - fan.firstYear;
    years->setTickType(QValueAxis::TicksDynamic);
    years->setTickAnchor(0);
    years->setTickInterval(span > 100 ? 20 : span > 40 ? 10 : span > 10 ? 5 : 1);
    auto* values = new QValueAxis;
    const double margin = highest > lowest ? (highest - lowest) * 0.05 : 1.0;
    values->setRange(lowest - margin, highest + margin);
    values->applyNiceNumbers();
    chart->addAxis(years, Qt::AlignBottom);
    chart->addAxis(values, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(years);
        series->attachAxis(values);
    }

    QChartView view(chart);
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(1200, 700);
    const QPixmap picture = view.grab();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit())
        return QStringLiteral("Unable to write the chart %1: %2").arg(path, file.errorString());
    return {};
}

} // namespace FanChart
