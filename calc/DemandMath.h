#pragma once

// The arithmetic of the demand calculation, free of any storage: gap filling, the derivation of
// the third of diversion, depletion and efficiency ratio, monthly shares and site salinity.
// Missing values are quiet NaNs throughout.
namespace DemandMath {

double missing();

// The twelve monthly coefficients of a water user sum to 100 (percent) within this much: the
// water user dialog refuses others, and the project check holds stored ones to the same.
constexpr double CoefficientSumTolerance = 0.00005;
bool isMissing(double value);

// What the gap filling did to one watched year of a series, for an explanation of a value.
struct GapNote {
    enum Outcome {
        Given, // the year had a value
        Interpolated, // on the line between the years before and after
        BeforeFirst, // missing: no known year before it
        AfterLast, // missing: no known year after it
        NoValue // missing: no year of the series is known
    };
    int index = -1; // the watched year index (set by the caller)
    Outcome outcome = Given;
    int fromIndex = -1; // Interpolated: the known years around it; BeforeFirst: the first
    int toIndex = -1; // known year (fromIndex); AfterLast: the last one (fromIndex)
    double fromValue = 0.0;
    double toValue = 0.0;
    double value = 0.0; // the year's value afterwards
};

// Linear interpolation over `count` consecutive years: every run of missing years that lies
// between two known years gets the straight line between them. Missing years before the first
// and after the last known year stay missing. With a note, says what became of note->index.
void fillGaps(double* series, int count, GapNote* note = nullptr);

// Which rule completed a year (the rows of the derivation table, in their order).
enum class Derivation {
    NoDepletion, // efficiency 0 with a diversion that is not 0: depletion := 0
    DepletionFromDiversion, // depletion := efficiency x diversion
    EfficiencyFromDepletion, // efficiency := depletion / diversion
    Nothing, // diversion 0 and efficiency 0
    DiversionFromDepletion // diversion := depletion / efficiency
};

// Completes one year of a water user: given diversion d, depletion p and efficiency ratio e,
// fills in whichever is derived. Efficiency 0 means nothing returns to the river, so depletion
// is 0 unless the diversion is 0 too. With rule, says which rule applied.
void deriveThird(double& d, double& p, double& e, Derivation* rule = nullptr);

// A yearly value spread over a month by a coefficient in percent.
double monthlyShare(double yearly, double coefficientPercent);

// Sum of the present values; missing only when none is present.
struct Sum {
    double value = missing();
    void add(double v);
};

// Yearly and monthly site salinity from the year's totals, by salinity method: mass methods
// (1, 4) store the total pick-up per year and a twelfth per month; the concentration methods
// divide it by the return flow (2) or the diversion (3) when that is positive.
struct SiteSalinity {
    double yearly = missing();
    double monthly = missing();
};
enum class SalinityRule {
    Mass, // methods 1 and 4
    ReturnFlowConcentration, // method 2 with a positive return flow
    NoReturnFlow, // method 2, return flow missing or not positive
    DiversionConcentration, // method 3 with a positive diversion
    NoDiversion, // method 3, diversion missing or not positive
    UnknownMethod
};
SiteSalinity siteSalinity(int salinityMethodID, double totalDiversion, double totalReturnFlow,
    double totalSalinity, SalinityRule* rule = nullptr);

} // namespace DemandMath
