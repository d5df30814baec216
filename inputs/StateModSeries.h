#pragma once

#include "db/okstat.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// A monthly time-series file of a state decision-support system (StateMod format): lines that
// start with '#' are comments; the first other line gives the period, the units and the year
// type ("10/1908 - 9/2013 ACFT WYR": water years October to September; CYR calendar years, IYR
// November to October); each further line holds the year in columns 1-4, the station ID in
// columns 6-17, twelve monthly values of 8 characters each in the year type's month order, and
// the year's total. A negative value (-999) is a missing month.
namespace StateMod {

struct YearRow {
    int year = 0;
    QString station;
    double months[12] = {}; // in the file's order; NaN for a missing month
    // The twelve months' sum; NaN when a month is missing.
    double sum() const;
};

struct Series {
    QString units;
    QString yearType; // "CYR", "WYR" or "IYR"
    QList<YearRow> rows;
};

// Reads the file's text; a failure names the line and what is wrong with it.
TARN::okstat parse(const QByteArray& data, Series& series);
// Reads the file at path.
TARN::okstat read(const QString& path, Series& series);

// Station -> year -> the sum of the year's months (NaN when a month is missing). A station
// given twice for a year fails.
TARN::okstat yearlySums(const Series& series, QMap<QString, QMap<int, double>>& sums);

} // namespace StateMod
