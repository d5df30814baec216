#pragma once

#include <QString>

// Every table and column name the program puts into SQL text or table models. The file format is
// one shared vocabulary; spelling a name twice invites a silent mismatch.
namespace TN {

// Tables
inline const QString OutputTypeTable = QStringLiteral("OutputType");
inline const QString BaselineTable = QStringLiteral("Baseline");
inline const QString SalinityMethodTable = QStringLiteral("SalinityMethod");
inline const QString AttrTypeTable = QStringLiteral("AttrType");
inline const QString CalcMethodTable = QStringLiteral("CalcMethod");
inline const QString ChangeTypeTable = QStringLiteral("ChangeType");
inline const QString CurveDataTypeTable = QStringLiteral("CurveDataType");
inline const QString AggDivTable = QStringLiteral("AggDiv");
inline const QString ScenarioTable = QStringLiteral("Scenario");
inline const QString WaterUserTable = QStringLiteral("WaterUser");
inline const QString WaterUserDataTable = QStringLiteral("WaterUserData");
inline const QString WaterUserDistTable = QStringLiteral("WaterUserDist");
inline const QString AttributeTable = QStringLiteral("Attribute");
inline const QString AttrValidValTable = QStringLiteral("AttrValidVal");
inline const QString AggDivAttrTable = QStringLiteral("AggDivAttr");
inline const QString WaterUserAttrTable = QStringLiteral("WaterUserAttr");
inline const QString DemandChgTable = QStringLiteral("DemandChg");
inline const QString DepletionChgTable = QStringLiteral("DepletionChg");
inline const QString EfficiencyChgTable = QStringLiteral("EfficiencyChg");
inline const QString DemandChgWaterUserTable = QStringLiteral("DemandChgWaterUser");
inline const QString DemandSelectionTable = QStringLiteral("DemandSelection");
inline const QString PlotTable = QStringLiteral("Plot");
inline const QString PlotScenarioTable = QStringLiteral("PlotScenario");
inline const QString PlotCurveTable = QStringLiteral("PlotCurve");
inline const QString PlotCurveFilterTable = QStringLiteral("PlotCurveFilter");
inline const QString PlotCurveWaterUserTable = QStringLiteral("PlotCurveWaterUser");
inline const QString BaseYearlyAggDivTable = QStringLiteral("BaseYearlyAggDiv");
inline const QString BaseMonthlyAggDivTable = QStringLiteral("BaseMonthlyAggDiv");
inline const QString BaseYearlyWaterUserTable = QStringLiteral("BaseYearlyWaterUser");
inline const QString BaseMonthlyWaterUserTable = QStringLiteral("BaseMonthlyWaterUser");
inline const QString ScenarioYearlyAggDivTable = QStringLiteral("ScenarioYearlyAggDiv");
inline const QString ScenarioMonthlyAggDivTable = QStringLiteral("ScenarioMonthlyAggDiv");
inline const QString ScenarioYearlyWaterUserTable = QStringLiteral("ScenarioYearlyWaterUser");
inline const QString ScenarioMonthlyWaterUserTable = QStringLiteral("ScenarioMonthlyWaterUser");

// Columns
inline const QString AggDivAttrID = QStringLiteral("AggDivAttrID");
inline const QString AggDivID = QStringLiteral("AggDivID");
inline const QString AggDivSalinityValue = QStringLiteral("AggDivSalinityValue");
inline const QString Apr = QStringLiteral("Apr");
inline const QString AttrID = QStringLiteral("AttrID");
inline const QString AttrName = QStringLiteral("AttrName");
inline const QString AttrTypeID = QStringLiteral("AttrTypeID");
inline const QString AttrVal = QStringLiteral("AttrVal");
inline const QString AttrValidValID = QStringLiteral("AttrValidValID");
inline const QString Aug = QStringLiteral("Aug");
inline const QString BaseMonthlyAggDivID = QStringLiteral("BaseMonthlyAggDivID");
inline const QString BaseMonthlyWaterUserID = QStringLiteral("BaseMonthlyWaterUserID");
inline const QString BaseYearlyAggDivID = QStringLiteral("BaseYearlyAggDivID");
inline const QString BaseYearlyWaterUserID = QStringLiteral("BaseYearlyWaterUserID");
inline const QString BaselineID = QStringLiteral("BaselineID");
inline const QString CalcMethodID = QStringLiteral("CalcMethodID");
inline const QString ChangeTypeID = QStringLiteral("ChangeTypeID");
inline const QString ChangeValue = QStringLiteral("ChangeValue");
inline const QString CreatedDate = QStringLiteral("CreatedDate");
inline const QString CurveDataTypeID = QStringLiteral("CurveDataTypeID");
inline const QString Dec = QStringLiteral("Dec");
inline const QString DemandChgID = QStringLiteral("DemandChgID");
inline const QString DemandChgName = QStringLiteral("DemandChgName");
inline const QString DemandChgWaterUserID = QStringLiteral("DemandChgWaterUserID");
inline const QString DemandSelectionID = QStringLiteral("DemandSelectionID");
inline const QString DepletionCalcMethodID = QStringLiteral("DepletionCalcMethodID");
inline const QString DepletionChgID = QStringLiteral("DepletionChgID");
inline const QString DepletionReq = QStringLiteral("DepletionReq");
inline const QString DepletionValue = QStringLiteral("DepletionValue");
inline const QString Description = QStringLiteral("Description");
inline const QString DiversionReq = QStringLiteral("DiversionReq");
inline const QString DiversionValue = QStringLiteral("DiversionValue");
inline const QString EfficiencyCalcMethodID = QStringLiteral("EfficiencyCalcMethodID");
inline const QString EfficiencyChgID = QStringLiteral("EfficiencyChgID");
inline const QString EfficiencyRatio = QStringLiteral("EfficiencyRatio");
inline const QString EfficiencyRatioValue = QStringLiteral("EfficiencyRatioValue");
inline const QString EndYear = QStringLiteral("EndYear");
inline const QString Feb = QStringLiteral("Feb");
inline const QString Jan = QStringLiteral("Jan");
inline const QString Jul = QStringLiteral("Jul");
inline const QString Jun = QStringLiteral("Jun");
inline const QString Mar = QStringLiteral("Mar");
inline const QString May = QStringLiteral("May");
inline const QString ModifiedDate = QStringLiteral("ModifiedDate");
inline const QString Month = QStringLiteral("Month");
inline const QString Name = QStringLiteral("Name");
inline const QString Notes = QStringLiteral("Notes");
inline const QString Nov = QStringLiteral("Nov");
inline const QString Oct = QStringLiteral("Oct");
inline const QString Ord = QStringLiteral("Ord");
inline const QString OutputTypeID = QStringLiteral("OutputTypeID");
inline const QString PasswordHash = QStringLiteral("PasswordHash");
inline const QString PlotCurveFilterID = QStringLiteral("PlotCurveFilterID");
inline const QString PlotCurveID = QStringLiteral("PlotCurveID");
inline const QString PlotCurveWaterUserID = QStringLiteral("PlotCurveWaterUserID");
inline const QString PlotID = QStringLiteral("PlotID");
inline const QString PlotScenarioID = QStringLiteral("PlotScenarioID");
inline const QString RiffleName = QStringLiteral("RiffleName");
inline const QString SalinityMethodID = QStringLiteral("SalinityMethodID");
inline const QString SalinityPickup = QStringLiteral("SalinityPickup");
inline const QString SalinityPickupValue = QStringLiteral("SalinityPickupValue");
inline const QString SalinitySlotName = QStringLiteral("SalinitySlotName");
inline const QString ScenarioDescription = QStringLiteral("ScenarioDescription");
inline const QString ScenarioID = QStringLiteral("ScenarioID");
inline const QString ScenarioMonthlyAggDivID = QStringLiteral("ScenarioMonthlyAggDivID");
inline const QString ScenarioMonthlyWaterUserID = QStringLiteral("ScenarioMonthlyWaterUserID");
inline const QString ScenarioName = QStringLiteral("ScenarioName");
inline const QString ScenarioShortName = QStringLiteral("ScenarioShortName");
inline const QString ScenarioYearlyAggDivID = QStringLiteral("ScenarioYearlyAggDivID");
inline const QString ScenarioYearlyWaterUserID = QStringLiteral("ScenarioYearlyWaterUserID");
inline const QString Sep = QStringLiteral("Sep");
inline const QString SiteName = QStringLiteral("SiteName");
inline const QString StartYear = QStringLiteral("StartYear");
inline const QString ToolUserName = QStringLiteral("ToolUserName");
inline const QString UsesFilters = QStringLiteral("UsesFilters");
inline const QString WaterUserAttrID = QStringLiteral("WaterUserAttrID");
inline const QString WaterUserDataID = QStringLiteral("WaterUserDataID");
inline const QString WaterUserDistID = QStringLiteral("WaterUserDistID");
inline const QString WaterUserID = QStringLiteral("WaterUserID");
inline const QString WaterUserName = QStringLiteral("WaterUserName");
inline const QString Year = QStringLiteral("Year");

// Fixed texts
inline const QString DefaultAttrValue = QStringLiteral("Unassigned");
inline const QString BaselineLabel = QStringLiteral("Baseline");

} // namespace TN

// Positions of the columns whose names a project file may choose freely: the program addresses
// them by position (record writes) or through ColumnNames (SQL text), never by the names above.
namespace TP {

constexpr int Key = 0; // every table's integer key
constexpr int LookupName = 1; // SalinityMethod, CalcMethod, AttrType

constexpr int BaselineDescription = 1;
constexpr int BaselineUserName = 2;
constexpr int BaselineCreatedDate = 3;
constexpr int BaselineModifiedDate = 4;
constexpr int BaselinePasswordHash = 8;

constexpr int ScenarioUserName = 5;
constexpr int ScenarioCreatedDate = 6;
constexpr int ScenarioModifiedDate = 7;

constexpr int DemandChgName = 2;
constexpr int DemandChgDescription = 3;
constexpr int DemandChgCreatedDate = 4;
constexpr int DemandChgDepletionMethod = 5;
constexpr int DemandChgEfficiencyMethod = 6;
constexpr int DemandChgUsesFilters = 7;

// DepletionChg and EfficiencyChg
constexpr int ChangeValue = 4;

// WaterUserDist: January to December
constexpr int FirstCoefficient = 2;
constexpr int LastCoefficient = 13;

} // namespace TP
