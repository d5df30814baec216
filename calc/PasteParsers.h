// PasteParsers: the clipboard texts a planner pastes, read into values without any widget.

#pragma once

#include "db/Records.h"
#include "db/okstat.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Paste {

// A water user's yearly table: the columns of the WaterUserData table the values go to.
enum YearlyColumn { DiversionColumn = 3, DepletionColumn, EfficiencyColumn, SalinityColumn };

// How the yearly table's paste reads its lines: as laid out from the cell pasted at, or as two
// columns giving two of diversion, depletion and efficiency.
enum YearlyAction { PlainPaste = 0, DiversionDepletion, DiversionEfficiency, DepletionEfficiency };

// Efficiency stored when diversion and efficiency are both zero, which would divide by zero.
constexpr double ZeroEfficiency = 0.00005;

// The row values a paste writes back. Diversion, depletion and efficiency are the row's
// complete new values (NaN clears the cell); salinity is written only when pasted.
struct YearlyRow {
    int row = 0;
    double diversion = TARN::nan();
    double depletion = TARN::nan();
    double efficiency = TARN::nan();
    double salinity = TARN::nan();
};

struct YearlyResult {
    TARN::okstat status; // the refusal; nothing is written then
    QVector<YearlyRow> rows;
    QStringList invalidEfficiencyYears;
    QStringList zeroEfficiencyYears;

    bool hasAdjustments() const
    {
        return !invalidEfficiencyYears.isEmpty() || !zeroEfficiencyYears.isEmpty();
    }
    // The "Data Errors" report: the years whose values were adjusted.
    QString adjustmentReport() const;
};

// Parses clipboard text pasted at (row, column) of records and works out every row's new
// values, deriving the missing member of diversion, depletion and efficiency. Refuses the whole
// paste on the first bad line.
YearlyResult yearlyTable(const QList<WaterUserData>& records, int row, int column,
    YearlyAction action, const QString& text);

// A water user's monthly distribution: the WaterUserDist columns of January and December.
constexpr int FirstMonthColumn = 2;
constexpr int LastMonthColumn = 13;
using ColumnValue = QPair<int, double>;

// The (column, value) pairs of clipboard text pasted at column; empty lines give no value.
// Refuses the whole text on too many lines or a line that is not a number.
TARN::okstat monthlyCoefficients(const QString& text, int column, QList<ColumnValue>& values);

// A demand change's values: the clipboard text read into exactly expectedCount numbers; an
// empty result and the message on failure.
QString changeValues(const QString& text, int expectedCount, QVector<double>& values);

} // namespace Paste
