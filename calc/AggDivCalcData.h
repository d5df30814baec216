#pragma once

#include "calc/DemandMath.h"

#include <QHash>
#include <QString>

#include <array>
#include <vector>

// The working set of the site being calculated: every water user's yearly values and monthly
// coefficients, and the site's yearly totals. Sized once per run for the year range and reused
// from site to site, so a run over many sites does not allocate per site.
class AggDivCalcData {
public:
    enum ValueKind { Diversion = 0, Depletion = 1, EfficiencyRatio = 2, SalinityPickup = 3 };
    static constexpr int KindCount = 4;
    static constexpr int GrowthStep = 16;

    struct WaterUserEntry {
        int id = 0;
        QString name;
        std::array<double, 12> coefficients {}; // percent, January first
        // Kind-major: the years of one kind are contiguous, so gap filling walks one array.
        std::vector<double> values;
        int yearCount = 0;

        double* series(int kind) { return values.data() + kind * yearCount; }
        const double* series(int kind) const { return values.data() + kind * yearCount; }
        double& value(int kind, int yearIndex) { return values[kind * yearCount + yearIndex]; }
        double value(int kind, int yearIndex) const { return values[kind * yearCount + yearIndex]; }
    };

    void setYearRange(int firstYear, int lastYear);
    int firstYear() const { return _firstYear; }
    int lastYear() const { return _lastYear; }
    int yearCount() const { return _yearCount; }
    bool containsYear(int year) const { return year >= _firstYear && year <= _lastYear; }

    // Starts a new site: no entries, every total missing.
    void reset(int aggDivID, const QString& aggDivName);
    int aggDivID() const { return _aggDivID; }
    QString aggDivName() const { return _aggDivName; }

    // Appends an entry whose values are all missing and whose coefficients are 0.
    WaterUserEntry& addEntry(int waterUserID, const QString& name);
    int entryCount() const { return _count; }
    WaterUserEntry& entry(int index) { return _entries[index]; }
    const WaterUserEntry& entry(int index) const { return _entries[index]; }
    // The entry of a water user; when an ID was added twice, the later entry. Null when absent.
    WaterUserEntry* find(int waterUserID);
    const WaterUserEntry* find(int waterUserID) const;

    // Fills in the derived one of diversion, depletion and efficiency ratio for every year;
    // with rule, says which rule completed year index notedYear.
    void deriveAll(
        WaterUserEntry& entry, int notedYear = -1, DemandMath::Derivation* rule = nullptr) const;

    // Totals over all entries; call after every entry is complete.
    void computeTotals();
    double totalDiversion(int yearIndex) const { return _totals[0][yearIndex]; }
    double totalDepletion(int yearIndex) const { return _totals[1][yearIndex]; }
    double totalReturnFlow(int yearIndex) const { return _totals[2][yearIndex]; }
    double totalSalinity(int yearIndex) const { return _totals[3][yearIndex]; }
    DemandMath::SiteSalinity siteSalinity(
        int salinityMethodID, int yearIndex, DemandMath::SalinityRule* rule = nullptr) const;

    // Monthly diversion and depletion of an entry; month 1..12.
    static double monthlyValue(const WaterUserEntry& entry, int kind, int yearIndex, int month);

private:
    int _firstYear = 0;
    int _lastYear = -1;
    int _yearCount = 0;
    int _aggDivID = -1;
    QString _aggDivName;
    std::vector<WaterUserEntry> _entries;
    int _count = 0;
    QHash<int, int> _indexById;
    std::array<std::vector<double>, 4> _totals; // TD, TP, TR, TS
};
