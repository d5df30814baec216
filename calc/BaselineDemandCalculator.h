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

    CalcStatement _selectWaterUsers;
};
