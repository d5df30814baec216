#include "calc/ScenarioChanges.h"

#include "db/TarnException.h"

namespace ScenarioChanges {

namespace {

// The value of another year of the same series, for "Set to a Baseline Year"; false when that
// year lies outside the run.
bool yearValue(const double* series, int firstYear, int yearCount, double year, double& value)
{
    // Written as a positive test so that a NaN year is out of range too.
    if (!(year >= firstYear && year <= firstYear + yearCount - 1))
        return false;
    value = series[static_cast<int>(year) - firstYear];
    return true;
}

double unchangedValue(int method, double current)
{
    return method == InterpolateChanges ? DemandMath::missing() : current;
}

} // namespace

double changedDepletion(const YearChange& change, int method, const double* depletion,
    int firstYear, int yearCount, int y, double b, double B, int N)
{
    const double current = depletion[y];
    const double v = change.value;
    switch (change.type) {
    case Percent:
        return current * (v / 100.0 + 1.0);
    case Amount:
        // Shared in proportion to the baseline depletions, equally when there is nothing to
        // weigh by.
        return B > 0.0 ? (v + B) / B * b : v / N + b;
    case NewAmount:
        return B > 0.0 ? v / B * b : v / N;
    case BaselineYear: {
        double value = 0.0;
        if (yearValue(depletion, firstYear, yearCount, v, value))
            return value;
        return unchangedValue(method, current);
    }
    default:
        return unchangedValue(method, current);
    }
}

double changedEfficiency(const YearChange& change, int method, const double* efficiency,
    int firstYear, int yearCount, int y)
{
    const double current = efficiency[y];
    const double v = change.value;
    switch (change.type) {
    case Percent:
        return current * (v / 100.0 + 1.0);
    case Amount:
        return current + v;
    case NewAmount:
        return v;
    case BaselineYear: {
        double value = 0.0;
        if (yearValue(efficiency, firstYear, yearCount, v, value))
            return value;
        return unchangedValue(method, current);
    }
    default:
        return unchangedValue(method, current);
    }
}

void apply(AggDivCalcData::WaterUserEntry& entry, int firstYear, const DemandChange& change,
    const QVector<BaselineRow>& baselineRows)
{
    using Data = AggDivCalcData;
    const int yearCount = entry.yearCount;
    if (change.depletionMethod == BaselinePlusChanges) {
        for (int kind = 0; kind < Data::KindCount; ++kind)
            DemandMath::fillGaps(entry.series(kind), yearCount);
    }

    // Rows are matched by their year: a stored row outside the run's years (left by an older
    // time range) must not shift the rows of every year after it.
    QHash<int, int> rowOfYear;
    rowOfYear.reserve(baselineRows.size());
    for (int i = baselineRows.size() - 1; i >= 0; --i)
        rowOfYear.insert(baselineRows.at(i).year, i);

    double* depletion = entry.series(Data::Depletion);
    double* efficiency = entry.series(Data::EfficiencyRatio);
    for (int y = 0; y < yearCount; ++y) {
        const int year = firstYear + y;
        const auto found = rowOfYear.constFind(year);
        if (found == rowOfYear.constEnd())
            throw TarnException(QStringLiteral("No baseline data found for year %1").arg(year));
        const BaselineRow& row = baselineRows.at(*found);
        depletion[y] = changedDepletion(change.depletionChange(year), change.depletionMethod,
            depletion, firstYear, yearCount, y, row.depletion, row.total, change.waterUserCount);
        efficiency[y] = changedEfficiency(change.efficiencyChange(year), change.efficiencyMethod,
            efficiency, firstYear, yearCount, y);
    }

    if (change.depletionMethod == InterpolateChanges) {
        DemandMath::fillGaps(entry.series(Data::Depletion), yearCount);
        DemandMath::fillGaps(entry.series(Data::EfficiencyRatio), yearCount);
        DemandMath::fillGaps(entry.series(Data::SalinityPickup), yearCount);
    }
}

} // namespace ScenarioChanges
