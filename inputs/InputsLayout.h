#pragma once

#include "workbook/PlainBook.h"

#include <QList>
#include <QString>

// The layout of an input book: the baseline's inputs in sheets a person edits in any
// spreadsheet program, rows keyed by the Riffle names a planner knows, never by database keys,
// so that a book can move between projects (docs/guide/input-books.md).
namespace Inputs {

using Sheet = Workbook::PlainSheet;
using Book = QList<Sheet>;

namespace SheetName {
const QString Baseline = QStringLiteral("Baseline");
const QString Attributes = QStringLiteral("Attributes");
const QString Sites = QStringLiteral("Sites");
const QString WaterUsers = QStringLiteral("Water Users");
const QString YearlyData = QStringLiteral("Yearly Data");
// The scenarios asked for, all in one set of sheets keyed by the scenario's name.
const QString Scenarios = QStringLiteral("Scenario");
const QString Changes = QStringLiteral("Changes");
const QString ChangeValues = QStringLiteral("Change Values");
const QString ChangeMembers = QStringLiteral("Change Members");
const QString ChangeFilters = QStringLiteral("Change Filters");
const QString ScenarioWaterUsers = QStringLiteral("Scenario Water Users");
const QString ScenarioYearlyData = QStringLiteral("Scenario Yearly Data");
} // namespace SheetName

namespace Column {
// Baseline: one field a row.
const QString Field = QStringLiteral("Field");
const QString Value = QStringLiteral("Value");
const QString Description = QStringLiteral("Description");
const QString StartYear = QStringLiteral("Start Year");
const QString EndYear = QStringLiteral("End Year");
const QString OutputNaming = QStringLiteral("Output Naming");
// Attributes.
const QString Attribute = QStringLiteral("Attribute");
const QString Type = QStringLiteral("Type");
// Sites and water users.
const QString RiffleName = QStringLiteral("Riffle Name");
const QString Name = QStringLiteral("Name");
const QString SalinityMethod = QStringLiteral("Salinity Method");
const QString Notes = QStringLiteral("Notes");
const QString Order = QStringLiteral("Order");
const QString Site = QStringLiteral("Site");
const QString WaterUser = QStringLiteral("Water User");
// Yearly data.
const QString Year = QStringLiteral("Year");
const QString Diversion = QStringLiteral("Diversion");
const QString Depletion = QStringLiteral("Depletion");
const QString EfficiencyRatio = QStringLiteral("Efficiency Ratio");
const QString SalinityPickup = QStringLiteral("Salinity Pickup");
// Scenarios and their demand changes.
const QString Scenario = QStringLiteral("Scenario");
const QString ShortName = QStringLiteral("Short Name");
const QString UserName = QStringLiteral("User Name");
const QString CreatedDate = QStringLiteral("Created Date");
const QString ModifiedDate = QStringLiteral("Modified Date");
const QString Change = QStringLiteral("Change");
const QString DepletionMethod = QStringLiteral("Depletion Method");
const QString EfficiencyMethod = QStringLiteral("Efficiency Method");
const QString UsesFilters = QStringLiteral("Uses Filters");
const QString ValueOf = QStringLiteral("Value Of");
const QString ChangeType = QStringLiteral("Change Type");
} // namespace Column

// The attribute types as the Attributes sheet names them.
const QString SiteType = QStringLiteral("Site");
const QString WaterUserType = QStringLiteral("Water User");

// "Jan" to "Dec".
QStringList monthColumns();

// The sheet of that name (without regard to case), or null.
const Sheet* findSheet(const Book& book, const QString& name);

} // namespace Inputs
