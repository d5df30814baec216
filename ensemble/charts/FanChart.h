#pragma once

#include "db/okstat.h"

#include <QCoreApplication>
#include <QString>

#include <memory>
#include <vector>

// Fan charts of an ensemble summary as PNG files, drawn by Qt Charts. Qt Charts draws on
// widgets, so this library (and only this one) brings QtWidgets into the command-line tool, for
// `ensemble summarize --png`; the ensemble library itself stays widget-free.
namespace FanChart {

// The application object charts need (a QApplication), on the offscreen platform unless
// QT_QPA_PLATFORM chooses another: a batch job has no display.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv);

// One slot's fan: the band between the 10th and 90th percentile, the median, and the minimum and
// maximum as dashed lines, per year from firstYear. statistics: min, p10, p50, p90, max.
struct Fan {
    QString title;
    int firstYear = 0;
    std::vector<double> statistics[5];
    int members = 0;
};

// Draws the fan into path (replaced atomically), 1200 x 700 pixels.
TARN::okstat render(const Fan& fan, const QString& path);

} // namespace FanChart
