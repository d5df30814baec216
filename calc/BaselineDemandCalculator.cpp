#include "calc/BaselineDemandCalculator.h"

#include "db/ModelOps.h"
#include "db/TarnNames.h"

BaselineDemandCalculator::BaselineDemandCalculator(QObject* parent)
    : DemandCalculator(parent)
{
    _target = QStringLiteral("Baseline");
}

void BaselineDemandCalculator::prepareQueries()
{
    _countYearlyAggDiv.prepare(
        _db, QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv WHERE AggDivID = :aggDivID"));
    _countMonthlyAggDiv.prepare(
        _db, QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyAggDiv WHERE AggDivID = :aggDivID"));
    _countYearlyWaterUser.prepare(
        _db, QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE WaterUserID = :wuID"));
    _countMonthlyWaterUser.prepare(
        _db, QStringLiteral("SELECT COUNT(*) FROM BaseMonthlyWaterUser WHERE WaterUserID = :wuID"));
    _insertYearlyAggDiv.prepare(_db,
        QStringLiteral("INSERT INTO BaseYearlyAggDiv (BaselineID, AggDivID, Year, "
                       "AggDivSalinityValue) VALUES (:baselineID, :aggDivID, :year, "
                       ":aggDivSalinityValue)"));
    _insertMonthlyAggDiv.prepare(_db,
        QStringLiteral("INSERT INTO BaseMonthlyAggDiv (BaselineID, AggDivID, Month, "
                       "AggDivSalinityValue) VALUES (:baselineID, :aggDivID, :month, "
                       ":aggDivSalinityValue)"));
    _insertYearlyWaterUser.prepare(_db,
        QStringLiteral("INSERT INTO BaseYearlyWaterUser (BaselineID, WaterUserID, Year, "
                       "DiversionValue, DepletionValue, EfficiencyRatioValue, "
                       "SalinityPickupValue) VALUES (:baselineID, :wuID, :year, :div, :dep, "
                       ":eff, :sal)"));
    _insertMonthlyWaterUser.prepare(_db,
        QStringLiteral("INSERT INTO BaseMonthlyWaterUser (BaselineID, WaterUserID, Month, "
                       "DiversionValue, DepletionValue) VALUES (:baselineID, :wuID, :month, "
                       ":div, :dep)"));
    _deleteYearlyAggDiv.prepare(
        _db, QStringLiteral("DELETE FROM BaseYearlyAggDiv WHERE AggDivID = :aggDivID"));
    _deleteMonthlyAggDiv.prepare(
        _db, QStringLiteral("DELETE FROM BaseMonthlyAggDiv WHERE AggDivID = :aggDivID"));
    _deleteYearlyWaterUser.prepare(
        _db, QStringLiteral("DELETE FROM BaseYearlyWaterUser WHERE WaterUserID = :wuID"));
    _deleteMonthlyWaterUser.prepare(
        _db, QStringLiteral("DELETE FROM BaseMonthlyWaterUser WHERE WaterUserID = :wuID"));

    _selectWaterUsers.prepare(_db,
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %3.%4 = ? AND %3.%5 IS NULL ORDER BY %1")
            .arg(
                TN::WaterUserID, TN::RiffleName, TN::WaterUserTable, TN::AggDivID, TN::ScenarioID));
}

void BaselineDemandCalculator::filterWaterUsers()
{
    _selectWaterUsers.bind(0, _aggDivID);
    readWaterUsers(_selectWaterUsers);
}

// The insert statements are bound by position, in the order of their placeholders.

void BaselineDemandCalculator::saveYearlyAggDiv(int year, double salinity)
{
    _insertYearlyAggDiv.bindInt(0, BaselineID);
    _insertYearlyAggDiv.bindInt(1, _aggDivID);
    _insertYearlyAggDiv.bindInt(2, year);
    _insertYearlyAggDiv.bindDouble(3, salinity);
    _insertYearlyAggDiv.exec(QStringLiteral("Unable to save BaseYearlyAggDiv: %1"));
}

void BaselineDemandCalculator::saveMonthlyAggDiv(int year, double salinity)
{
    _insertMonthlyAggDiv.bindInt(0, BaselineID);
    _insertMonthlyAggDiv.bindInt(1, _aggDivID);
    _insertMonthlyAggDiv.bindDouble(3, salinity);
    for (int month = 1; month <= 12; ++month) {
        _insertMonthlyAggDiv.bindText(2, monthKey(year, month));
        _insertMonthlyAggDiv.exec(QStringLiteral("Unable to save BaseMonthlyAggDiv: %1"));
    }
}

void BaselineDemandCalculator::saveYearlyWaterUser(int waterUserID, int year)
{
    const AggDivCalcData::WaterUserEntry& entry = entryOf(waterUserID);
    const int y = year - _firstYear;
    _insertYearlyWaterUser.bindInt(0, BaselineID);
    _insertYearlyWaterUser.bindInt(1, waterUserID);
    _insertYearlyWaterUser.bindInt(2, year);
    for (int kind = 0; kind < AggDivCalcData::KindCount; ++kind)
        _insertYearlyWaterUser.bindDouble(3 + kind, entry.value(kind, y));
    _insertYearlyWaterUser.exec(QStringLiteral("Unable to save BaseYearlyWaterUser: %1"));
}

void BaselineDemandCalculator::saveMonthlyWaterUser(int waterUserID, int year)
{
    const AggDivCalcData::WaterUserEntry& entry = entryOf(waterUserID);
    const int y = year - _firstYear;
    _insertMonthlyWaterUser.bindInt(0, BaselineID);
    _insertMonthlyWaterUser.bindInt(1, waterUserID);
    for (int month = 1; month <= 12; ++month) {
        _insertMonthlyWaterUser.bindText(2, monthKey(year, month));
        _insertMonthlyWaterUser.bindDouble(
            3, AggDivCalcData::monthlyValue(entry, AggDivCalcData::Diversion, y, month));
        _insertMonthlyWaterUser.bindDouble(
            4, AggDivCalcData::monthlyValue(entry, AggDivCalcData::Depletion, y, month));
        _insertMonthlyWaterUser.exec(QStringLiteral("Unable to save MonthlyWaterUser: %1"));
    }
}

void BaselineDemandCalculator::deleteAggDivResults()
{
    _deleteYearlyAggDiv.bind(0, _aggDivID);
    _deleteYearlyAggDiv.exec(QStringLiteral("Unable to delete from BaseYearlyAggDiv: %1"));
    _deleteMonthlyAggDiv.bind(0, _aggDivID);
    _deleteMonthlyAggDiv.exec(QStringLiteral("Unable to delete from BaseMonthlyAggDiv: %1"));
}

void BaselineDemandCalculator::deleteWaterUserResults(int waterUserID)
{
    _deleteYearlyWaterUser.bind(0, waterUserID);
    _deleteYearlyWaterUser.exec(QStringLiteral("Unable to delete from BaseYearlyWaterUser: %1"));
    _deleteMonthlyWaterUser.bind(0, waterUserID);
    _deleteMonthlyWaterUser.exec(QStringLiteral("Unable to delete from BaseMonthlyWaterUser: %1"));
}
