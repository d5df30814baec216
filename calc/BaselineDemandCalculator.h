#pragma once

#include "calc/DemandCalculator.h"

// Computes every site of the baseline and its baseline water users into the Base* result
// tables.
class BaselineDemandCalculator : public DemandCalculator {
    Q_OBJECT

public:
    explicit BaselineDemandCalculator(QObject* parent = nullptr);

protected:
    void prepareQueries() override;
    void filterWaterUsers() override;
    void saveYearlyAggDiv(int year, double salinity) override;
    void saveMonthlyAggDiv(int year, double salinity) override;
    void saveYearlyWaterUser(int waterUserID, int year) override;
    void saveMonthlyWaterUser(int waterUserID, int year) override;
    void deleteAggDivResults() override;
    void deleteWaterUserResults(int waterUserID) override;

    CalcStatement _selectWaterUsers;
};
