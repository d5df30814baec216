#pragma once

#include "calc/BaselineDemandCalculator.h"

// The baseline calculation of one site, as the site plot window needs it before drawing.
class AggDivBaselineDemandCalculator : public BaselineDemandCalculator {
    Q_OBJECT

public:
    AggDivBaselineDemandCalculator(int aggDivID, QObject* parent = nullptr);

protected:
    void calculate() override;

private:
    int _onlyAggDivID;
};
