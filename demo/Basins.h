#pragma once

#include "demo/DemoWriter.h"

namespace DemoProject {

// The demo: the Silverbend River, a made-up snowmelt basin with farms above and towns below.
// Eight sites, thirty water users, three scenarios and two plots, over the given years.
void buildSilverbend(Writer& w, int firstYear, int lastYear);

// The benchmark basin: regular, big, with only a sprinkling of gaps.
struct LargeShape {
    int sites;
    int firstYear;
    int lastYear;
    int scenarios;
};
constexpr LargeShape Benchmark { 500, 1981, 2100, 3 };
constexpr LargeShape Stress { 1000, 1951, 2100, 20 };

void buildLarge(Writer& w, const LargeShape& shape);

} // namespace DemoProject
