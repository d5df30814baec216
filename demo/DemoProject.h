#pragma once

#include "db/okstat.h"

#include <QString>

// The bundled example basins: a small demo for newcomers and a large one for benchmarks.
namespace DemoProject {

// About 8 sites (all four salinity methods), 30 water users, 1990-2020, attributes, three
// scenarios, a scenario-only water user and two plots. Refuses an existing file.
// schema: the script that makes the tables (empty: the one that ships with the program).
TARN::okstat createDemo(const QString& path, const QString& schema = QString());

// 500 sites, 2,500 water users, 120 years, three scenarios whose changes select about a fifth of
// the water users. Refuses an existing file.
TARN::okstat createLarge(const QString& path, const QString& schema = QString());

// The benchmark basin's kind, ten times its results: 1,000 sites, 5,000 water users, 150
// years, 20 scenarios (about 200 million result rows once computed).
TARN::okstat createStress(const QString& path);

} // namespace DemoProject
