#pragma once

// The arithmetic of the demand calculation, free of any storage: gap filling, the derivation of
// the third of diversion, depletion and efficiency ratio, monthly shares and site salinity.
// Missing values are quiet NaNs throughout.
namespace DemandMath {

double missing();
bool isMissing(double value);

// Linear interpolation over `count` consecutive years: every run of missing years that lies
// between two known years gets the straight line between them. Missing years before the first
// and after the last known year stay missing.
void fillGaps(double* series, int count);

// Completes one year of a water user: given diversion d, depletion p and efficiency ratio e,
// fills in whichever is derived. Efficiency 0 means nothing returns to the river, so depletion
// is 0 unless the diversion is 0 too.
void deriveThird(double& d, double& p, double& e);

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
SiteSalinity siteSalinity(
    int salinityMethodID, double totalDiversion, double totalReturnFlow, double totalSalinity);

} // namespace DemandMath
