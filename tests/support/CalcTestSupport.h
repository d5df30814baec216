#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QList>
#include <QStringList>

class BaselineChangeLog;
class DemandCalculator;
class TestProject;

// What one calculator run reported.
struct CalcRun {
    TARN::okstat result;
    QStringList diag;
    QList<CalcStatusInfo> statuses;
    int finishedCount = 0;
};

// Initializes the calculator, starts its thread and waits for it; the signals are recorded on
// the worker thread and read only after it ended.
CalcRun runCalculator(
    DemandCalculator& calculator, const BaselineChangeLog& changeLog, bool ownsTransaction = true);

// Copies the project file and recalculates the copy as "recalc --full" does (Recalculation: the
// baseline, then every scenario in ScenarioID order, each with the full-recalculation flag), then
// lists where
// the eight result tables of the file differ from the copy's: row counts, and values beyond a
// relative 1e-9 (NULL equals NULL; the tables' own row keys are left aside). Closes the
// project the manager holds first, and leaves none open.
QStringList differencesFromFullRecalculation(const QString& path);

// A value of a query on a private connection; NULL reads as NaN.
double number(const TestProject& project, const QString& sql);
int count(const TestProject& project, const QString& sql);

// The small basin of 2000-2003 used by the database tests:
//  site 1 "North Canal" (return-flow mass): water user 1 "Upper Ditch" (depletion 10 in 2000
//    and 40 in 2003, efficiency 0.5, salinity 120 in 2000, coefficients 10,10,5,5,5,5,10,...),
//    water user 2 "Lower Ditch" (diversion 100, efficiency 0.4, salinity 30);
//  site 2 "South Canal" (return-flow concentration): water user 3 (diversion = depletion = 100);
//  site 3 "East Canal" (diversion concentration): water user 4 (diversion 50, efficiency 0.4,
//    salinity 10);
//  site 4 "Dry Wash" (mass removal) without water users.
QString smallBasinSql();

// Every input table of the project the manager holds, row by row in key order, every column by
// position: two states of one file compare line for line.
QStringList dumpInputTables();
