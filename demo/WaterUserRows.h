#pragma once

#include "demo/DemoWriter.h"

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// The pieces both example basins are made of: water users of a few kinds of use, their yearly
// rows with the gaps real records have, monthly coefficients and attributes.
namespace DemoProject {

enum class Use { Irrigation, Municipal, Industrial, Power, Other };

struct UseProfile {
    std::array<double, 12> dist; // percent, multiples of 0.25 so the sum is exactly 100
    double divLo, divHi; // diversion of the first year, KAF/yr
    double effLo, effHi; // depletion / diversion
    double growth; // trend of the diversion per year
    double variability; // year-to-year spread of the diversion
};

const UseProfile& profile(Use use);

// Varies a profile by moving whole quarter percents between months, which keeps every value a
// multiple of 0.25 and therefore the sum exactly 100 in binary floating point.
std::array<double, 12> jitteredDist(const std::array<double, 12>& base, Rng& rng);

// Which of diversion, depletion and efficiency a water user reports; the calculation derives the
// third when one is left out.
enum class Reported { All, DiversionEfficiency, DepletionEfficiency, DiversionDepletion };

// Holes in a water user's record, as real data sets have them.
enum class Gaps {
    None,
    MissingRows, // two years without a row
    EmptyRow, // one year whose row holds no value
    Salinity, // a few years without a salinity pick-up
    LateStart, // all-NULL rows until the user started diverting
};

bool isMassMethod(int salinityMethod);

// Writes the water user's yearly rows and returns the depletion of each year (missing where the
// file has none), which the demand changes are sized from.
std::vector<double> writeYears(Writer& w, Rng& rng, qint64 waterUserId, Use use, int salinityMethod,
    Reported reported, Gaps gaps, int firstYear, int lastYear);

void writeDist(Writer& w, qint64 waterUserId, const std::array<double, 12>& c);

// "Highline Ditch Company" -> "HighlineDitchCompany": model object names carry no spaces.
QString riffleName(const QString& name);

// An attribute with its "Unassigned" default first, then the given values.
struct Attr {
    qint64 id = 0;
    std::vector<qint64> values; // values[0] is "Unassigned"
};

Attr writeAttribute(Writer& w, const QString& name, int type, const QStringList& values);

constexpr int SiteAttrType = 1;
constexpr int WaterUserAttrType = 2;

enum ChangeType { PercentChange = 1, AmountChange = 2, NewAmount = 3, BaselineYear = 4 };
enum CalcMethod { BaselinePlusChanges = 1, InterpolateChanges = 2 };
enum CurveType { DepletionCurve = 1, DiversionCurve = 2, SalinityCurve = 3 };

} // namespace DemoProject
