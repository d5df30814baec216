#pragma once

#include <QString>

// One baseline year of a demand change: the specified water users' baseline value, the change
// made to it and the resulting scenario value.
struct ChangeDataRow {
    // The baseline value of a year in which the specified water users differ (efficiency only).
    static constexpr double Varies = -1.0;
    static constexpr int NoChange = -1;

    int year = 0;
    double baseline;
    int changeTypeId = NoChange;
    QString changeTypeName;
    double change;
    double scenarioValue;

    explicit ChangeDataRow(int year = 0);
};
