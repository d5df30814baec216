#include "inputs/StateModSeries.h"

#include <QFile>
#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace StateMod {

double YearRow::sum() const
{
    double total = 0;
    for (const double month : months) {
        if (std::isnan(month))
            return std::numeric_limits<double>::quiet_NaN();
        total += month;
    }
    return total;
}

namespace {

constexpr double MaxMonthlyValue = 1e15;

TARN::okstat lineFault(int line, const QString& what)
{
    return QStringLiteral("Line %1 of the time series: %2").arg(line).arg(what);
}

} // namespace

TARN::okstat parse(const QByteArray& data, Series& series)
{
    series = Series();
    const QList<QByteArray> lines = data.split('\n');
    bool haveHeader = false;
    static const QRegularExpression header(
        QStringLiteral("^\\s*(\\d{1,2})\\s*/\\s*(\\d{4})\\s*-\\s*(\\d{1,2})\\s*/"
                       "\\s*(\\d{4})\\s+(\\S+)\\s+(\\S+)"));
    for (int i = 0; i < lines.size(); ++i) {
        QString text = QString::fromLatin1(lines.at(i));
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        if (text.startsWith(QLatin1Char('#')) || text.trimmed().isEmpty())
            continue;
        const int line = i + 1;
        if (!haveHeader) {
            const QRegularExpressionMatch match = header.match(text);
            if (!match.hasMatch())
                return lineFault(line,
                    QStringLiteral("expected the period, units and year type "
                                   "(\"10/1908 - 9/2013 ACFT WYR\"), found \"%1\".")
                        .arg(text.trimmed()));
            series.units = match.captured(5);
            series.yearType = match.captured(6).toUpper();
            if (series.yearType != QLatin1String("CYR") && series.yearType != QLatin1String("WYR")
                && series.yearType != QLatin1String("IYR"))
                return lineFault(line,
                    QStringLiteral("unknown year type \"%1\": use CYR, WYR or IYR.")
                        .arg(match.captured(6)));
            haveHeader = true;
            continue;
        }
        YearRow row;
        bool ok = false;
        row.year = text.left(4).trimmed().toInt(&ok);
        if (!ok)
            return lineFault(line,
                QStringLiteral("the year \"%1\" is not a number.").arg(text.left(4).trimmed()));
        row.station = text.mid(5, 12).trimmed();
        if (row.station.isEmpty())
            return lineFault(line, QStringLiteral("the station ID (columns 6 to 17) is empty."));
        for (int m = 0; m < 12; ++m) {
            const QString field = text.mid(17 + 8 * m, 8).trimmed();
            if (field.isEmpty())
                return lineFault(line, QStringLiteral("month %1 of 12 has no value.").arg(m + 1));
            const double value = field.toDouble(&ok);
            if (!ok || !std::isfinite(value))
                return lineFault(line,
                    QStringLiteral("the value \"%1\" of month %2 is not a number.")
                        .arg(field)
                        .arg(m + 1));
            // Far beyond any monthly volume, and twelve of them would sum to infinity.
            if (value > MaxMonthlyValue)
                return lineFault(line,
                    QStringLiteral("the value \"%1\" of month %2 is too large.")
                        .arg(field)
                        .arg(m + 1));
            row.months[m] = value < 0 ? std::numeric_limits<double>::quiet_NaN() : value;
        }
        series.rows.append(row);
    }
    if (!haveHeader)
        return QStringLiteral("The time series has no header line (period, units, year type).");
    return {};
}

TARN::okstat read(const QString& path, Series& series)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Unable to read %1: %2").arg(path, file.errorString());
    const TARN::okstat status = parse(file.readAll(), series);
    if (status.failed())
        return QStringLiteral("%1: %2").arg(path, status.text());
    return {};
}

TARN::okstat yearlySums(const Series& series, QMap<QString, QMap<int, double>>& sums)
{
    sums.clear();
    for (const YearRow& row : series.rows) {
        QMap<int, double>& years = sums[row.station];
        if (years.contains(row.year))
            return QStringLiteral("The station %1 has the year %2 twice.")
                .arg(row.station)
                .arg(row.year);
        years.insert(row.year, row.sum());
    }
    return {};
}

} // namespace StateMod
