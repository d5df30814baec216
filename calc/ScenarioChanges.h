#pragma once

#include "calc/AggDivCalcData.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <vector>

class CalcTrace;

// How a scenario's demand change turns a water user's baseline input into the scenario's input.
// Only depletion and efficiency ratio are changed; the diversion follows from them afterwards.
namespace ScenarioChanges {

enum ChangeType { NoChange = 0, Percent = 1, Amount = 2, NewAmount = 3, BaselineYear = 4 };
enum CalcMethod { BaselinePlusChanges = 1, InterpolateChanges = 2 };

// The change of one year; a year without a stored change is type 0, value 0.
struct YearChange {
    int type = NoChange;
    double value = 0.0;
};
using ChangeMap = QHash<int, YearChange>;

struct DemandChange {
    int id = 0;
    int depletionMethod = BaselinePlusChanges;
    int efficiencyMethod = BaselinePlusChanges;
    int waterUserCount = 0; // N: how many water users the change selects
    ChangeMap depletion;
    ChangeMap efficiency;

    YearChange depletionChange(int year) const { return depletion.value(year); }
    YearChange efficiencyChange(int year) const { return efficiency.value(year); }
};

// One year of stored baseline results: the water user's depletion b and the summed depletion B
// of every water user the change selects.
struct BaselineRow {
    int year = 0;
    double depletion = DemandMath::missing();
    double total = DemandMath::missing();
};

// One water user's baseline depletion per year index of the run, and which years it has a row
// for (the computed baseline has every year; stored results may lack some).
struct BaselineSeries {
    std::vector<double> depletion;
    std::vector<char> hasRow;
};
using BaselineSeriesMap = QHash<int, BaselineSeries>;

// B per year index: the summed baseline depletion of the water users a change selects.
struct BaselineTotals {
    std::vector<double> total;
    std::vector<char> hasRow; // some member has a row for the year
};

// Sums the members' depletions year by year, in the order of `members` (the change's member
// rows, by WaterUserID), a member listed twice counting twice. A year has a total once any
// member has a row for it; the total is missing when every such member's value is. The
// calculation and the project check both take B from here, so the two agree to the last bit
// whatever order a database would have summed the rows in.
BaselineTotals sumBaseline(
    const QVector<int>& members, const BaselineSeriesMap& series, int yearCount);

// The rows a change is applied with: for every year water user w has a row for and B has a
// total for, w's depletion b and the total B.
QVector<BaselineRow> baselineRows(
    int waterUserID, const BaselineSeriesMap& series, const BaselineTotals& totals, int firstYear);

// The names the project file's lookup tables give the change types and methods.
QString changeTypeName(int type);
QString calcMethodName(int method);

// Which rule gave a year its changed value, for an explanation.
struct ChangeNote {
    enum Rule {
        PercentOfCurrent, // current x (v / 100 + 1)
        AmountShared, // depletion: (v + B) / B x b
        AmountEqually, // depletion: v / N + b
        NewAmountShared, // depletion: v / B x b
        NewAmountEqually, // depletion: v / N
        AmountAdded, // efficiency: current + v
        NewValue, // efficiency: v
        FromYear, // the series' value of year v as it stands
        Unchanged, // no change, or a year outside the run, under method 1
        Missing // no change, or a year outside the run, under method 2
    };
    Rule rule = Unchanged;
    double current = 0.0; // the year's value before the change
    double sourceValue = 0.0; // FromYear: the value taken
    bool outsideRun = false; // a baseline year outside the run
};

// New depletion of year index y. `depletion` is the water user's series as it stands, so years
// already changed earlier in the walk are seen with their new values.
double changedDepletion(const YearChange& change, int method, const double* depletion,
    int firstYear, int yearCount, int y, double b, double B, int N, ChangeNote* note = nullptr);

// New efficiency ratio of year index y, read against the series as it stands.
double changedEfficiency(const YearChange& change, int method, const double* efficiency,
    int firstYear, int yearCount, int y, ChangeNote* note = nullptr);

// Applies `change` to one water user's entry, taking for each year of the run the baseline row
// of that year (rows of other years are ignored). Throws TarnException "No baseline data found
// for year %1" for the first year without a row. With a trace that follows this water user, its
// year's gap filling and changes are recorded as they happen.
void apply(AggDivCalcData::WaterUserEntry& entry, int firstYear, const DemandChange& change,
    const QVector<BaselineRow>& baselineRows, CalcTrace* trace = nullptr);

} // namespace ScenarioChanges
