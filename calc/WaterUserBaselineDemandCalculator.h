#pragma once

#include "calc/BaselineDemandCalculator.h"

// The baseline calculation of one water user, as the water-user plot window needs it before
// drawing. The site's own rows are neither deleted nor written.
class WaterUserBaselineDemandCalculator : public BaselineDemandCalculator {
    Q_OBJECT

public:
    WaterUserBaselineDemandCalculator(int waterUserID, int aggDivID, QObject* parent = nullptr);

protected:
    void calculate() override;
    void prepareQueries() override;
    void calculateAggDivs(CalcStatusInfo& info) override;
    void filterWaterUsers() override;

private:
    int _onlyWaterUserID;
    int _onlyAggDivID;
    CalcStatement _selectOneWaterUser;
};
