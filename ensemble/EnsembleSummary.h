#pragma once

#include "ensemble/EnsemblePlan.h"

#include "db/okstat.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The members of a plan found in an output folder, summarised per slot and year: the minimum,
// the 10th, 50th and 90th percentile and the maximum over the members that have a value there.
// The basin's total depletion (the sum of every water user's depletion slot) comes first.
class EnsembleSummary {
public:
    enum Statistic { Min, P10, P50, P90, Max };
    static constexpr int StatisticCount = 5;
    static QString statisticName(int statistic); // "min", "p10", ...
    // "Minimum", "10th percentile", "Median", "90th percentile", "Maximum"
    static QString sheetName(int statistic);

    struct Slot {
        QString name;
        std::vector<double> values[StatisticCount]; // per year
    };

    // Reads DIR/member-K.csv for every member of the plan; members without a file (or with one
    // that does not match the others) are listed as missing, with why.
    TARN::okstat read(const QString& dir, const EnsemblePlan& plan);

    void setProgress(std::function<void(int done, int total)> progress)
    {
        _progress = std::move(progress);
    }

    QList<int> found() const { return _found; }
    QList<int> missing() const { return _missing; }
    QStringList problems() const { return _problems; } // one per unreadable member file
    int firstYear() const { return _firstYear; }
    int yearCount() const { return _yearCount; }
    const std::vector<Slot>& slotStatistics() const { return _slots; }
    // The slot of that name; null when none.
    const Slot* slot(const QString& name) const;

    // One sheet per statistic (sheetName), one column per slot named as the members name it,
    // one row per year (dated 1 January); the plan's hash, the members found and the missing
    // ones in the book's properties.
    TARN::okstat writeWorkbook(const QString& fileName, const EnsemblePlan& plan) const;

    // "Basin.Total Depletion"
    static QString basinTotalSlot();

    // R-7 percentile (linear between closest ranks) of ascending values; NaN when empty.
    static double percentile(const std::vector<double>& sorted, double p);

private:
    std::function<void(int, int)> _progress;
    QList<int> _found;
    QList<int> _missing;
    QStringList _problems;
    int _firstYear = 0;
    int _yearCount = 0;
    std::vector<Slot> _slots;
};

// "1, 4 and 9"; runs of three or more as "3-7".
QString memberList(const QList<int>& members);
