// Writes a sheet of doubles (5,500 columns x 1,440 months by default) through LibXlConnect the
// way the exporter does, one column at a time, and prints the time and the peak memory.
//
//   xlsx_bench [file.xlsx] [columns] [rows] [sheets]

#include "export/LibXlConnect.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

long peakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir dir;
    const QString path = args.size() > 1 ? args.at(1) : dir.filePath(QStringLiteral("bench.xlsx"));
    const int columns = args.size() > 2 ? args.at(2).toInt() : 5500;
    const int rows = args.size() > 3 ? args.at(3).toInt() : 1440;
    const int sheets = args.size() > 4 ? args.at(4).toInt() : 1;
    QFile::remove(path);

    std::vector<QDate> dates;
    for (int i = 0; i < rows; ++i)
        dates.push_back(QDate(1900, 1, 1).addMonths(i));
    std::vector<double> values(static_cast<size_t>(rows));
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> dist(0, 5000);

    QElapsedTimer total;
    total.start();
    LibXlConnect book;
    TARN::okstat status = book.open(path);
    for (int s = 0; s < sheets && status.isOk(); ++s) {
        const QString sheet = s == 0 ? QStringLiteral("Baseline Monthly Data")
                                     : QStringLiteral("Scenario %1").arg(s);
        for (int c = 0; c < columns && status.isOk(); ++c) {
            for (auto& v : values) // four decimals and 5% missing, like computed series
                v = rng() % 20 == 0 ? NAN : std::round(dist(rng) * 1e4) / 1e4;
            status = book.writeColumn(sheet,
                QStringLiteral("Site %1:User %2.Diversion Requested").arg(c / 20).arg(c), rows,
                dates.data(), values.data());
        }
    }
    const qint64 collected = total.elapsed();
    if (status.isOk())
        status = book.save();
    const qint64 elapsed = total.elapsed();
    if (status.failed()) {
        std::fprintf(stderr, "failed: %s\n", qPrintable(status.text()));
        return 1;
    }
    std::printf(
        "%d sheet(s) of %d columns x %d rows: collected in %.2f s, saved in %.2f s, total %.2f s\n",
        sheets, columns, rows, collected / 1000.0, (elapsed - collected) / 1000.0,
        elapsed / 1000.0);
    std::printf(
        "file %.1f MB, peak RSS %.1f MB\n", QFileInfo(path).size() / 1e6, peakRssKb() / 1024.0);
    return 0;
}
