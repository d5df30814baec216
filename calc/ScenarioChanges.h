#pragma once

#include "calc/AggDivCalcData.h"

#include <QHash>
#include <QVector>

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

// New depletion of year index y. `depletion` is the water user's series as it stands, so years
// already changed earlier in the walk are seen with their new values.
double changedDepletion(const YearChange& change, int method, const double* depletion,
    int firstYear, int yearCount, int y, double b, double B, int N);

// New efficiency ratio of year index y, read against the series as it stands.
double changedEfficiency(const YearChange& change, int method, const double* efficiency,
    int firstYear, int yearCount, int y);

// Applies `change` to one water user's entry, taking for each year of the run the baseline row
// of that year (rows of other years are ignored). Throws TarnException "No baseline data found
// for year %1" for the first year without a row.
void apply(AggDivCalcData::WaterUserEntry& entry, int firstYear, const DemandChange& change,
    const QVector<BaselineRow>& baselineRows);

} // namespace ScenarioChanges
