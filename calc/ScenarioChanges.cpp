#include "calc/ScenarioChanges.h"

#include "calc/CalcTrace.h"
#include "db/TarnException.h"

#include <algorithm>

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

double unchangedValue(int method, double current, ChangeNote* note)
{
    if (note)
        note->rule = method == InterpolateChanges ? ChangeNote::Missing : ChangeNote::Unchanged;
    return method == InterpolateChanges ? DemandMath::missing() : current;
}

void noteRule(ChangeNote* note, ChangeNote::Rule rule)
{
    if (note)
        note->rule = rule;
}

// "Set to a Baseline Year" on either series.
double fromYear(const double* series, int firstYear, int yearCount, double year, int method,
    double current, ChangeNote* note)
{
    double value = 0.0;
    if (yearValue(series, firstYear, yearCount, year, value)) {
        if (note) {
            note->rule = ChangeNote::FromYear;
            note->sourceValue = value;
        }
        return value;
    }
    if (note)
        note->outsideRun = true;
    return unchangedValue(method, current, note);
}

} // namespace

BaselineTotals sumBaseline(
    const QVector<int>& members, const BaselineSeriesMap& series, int yearCount)
{
    BaselineTotals totals;
    totals.total.assign(static_cast<size_t>(yearCount), DemandMath::missing());
    totals.hasRow.assign(static_cast<size_t>(yearCount), 0);
    for (const int member : members) {
        const auto found = series.constFind(member);
        if (found == series.cend())
            continue;
        const int years = std::min(yearCount, int(found->depletion.size()));
        for (int y = 0; y < years; ++y) {
            if (!found->hasRow[y])
                continue;
            const double value = found->depletion[y];
            double& total = totals.total[y];
            if (!totals.hasRow[y]) {
                totals.hasRow[y] = 1;
                total = value;
            } else if (DemandMath::isMissing(total)) {
                total = value;
            } else if (!DemandMath::isMissing(value)) {
                total += value;
            }
        }
    }
    return totals;
}

QVector<BaselineRow> baselineRows(
    int waterUserID, const BaselineSeriesMap& series, const BaselineTotals& totals, int firstYear)
{
    QVector<BaselineRow> rows;
    const auto found = series.constFind(waterUserID);
    if (found == series.cend())
        return rows;
    const int years = std::min(int(totals.total.size()), int(found->depletion.size()));
    rows.reserve(years);
    for (int y = 0; y < years; ++y) {
        if (found->hasRow[y] && totals.hasRow[y])
            rows.append({ firstYear + y, found->depletion[y], totals.total[y] });
    }
    return rows;
}

QString changeTypeName(int type)
{
    switch (type) {
    case Percent:
        return QStringLiteral("Percent Change");
    case Amount:
        return QStringLiteral("Amount Change");
    case NewAmount:
        return QStringLiteral("New Amount");
    case BaselineYear:
        return QStringLiteral("Set to a Baseline Year");
    default:
        return QString();
    }
}

QString calcMethodName(int method)
{
    switch (method) {
    case BaselinePlusChanges:
        return QStringLiteral("Use Baseline Data Plus Changed Values");
    case InterpolateChanges:
        return QStringLiteral("Interpolate Using Changed Values Only");
    default:
        return QStringLiteral("method %1").arg(method);
    }
}

double changedDepletion(const YearChange& change, int method, const double* depletion,
    int firstYear, int yearCount, int y, double b, double B, int N, ChangeNote* note)
{
    const double current = depletion[y];
    const double v = change.value;
    if (note)
        note->current = current;
    switch (change.type) {
    case Percent:
        noteRule(note, ChangeNote::PercentOfCurrent);
        return current * (v / 100.0 + 1.0);
    case Amount:
        // Shared in proportion to the baseline depletions, equally when there is nothing to
        // weigh by.
        noteRule(note, B > 0.0 ? ChangeNote::AmountShared : ChangeNote::AmountEqually);
        return B > 0.0 ? (v + B) / B * b : v / N + b;
    case NewAmount:
        noteRule(note, B > 0.0 ? ChangeNote::NewAmountShared : ChangeNote::NewAmountEqually);
        return B > 0.0 ? v / B * b : v / N;
    case BaselineYear:
        return fromYear(depletion, firstYear, yearCount, v, method, current, note);
    default:
        return unchangedValue(method, current, note);
    }
}

double changedEfficiency(const YearChange& change, int method, const double* efficiency,
    int firstYear, int yearCount, int y, ChangeNote* note)
{
    const double current = efficiency[y];
    const double v = change.value;
    if (note)
        note->current = current;
    switch (change.type) {
    case Percent:
        noteRule(note, ChangeNote::PercentOfCurrent);
        return current * (v / 100.0 + 1.0);
    case Amount:
        noteRule(note, ChangeNote::AmountAdded);
        return current + v;
    case NewAmount:
        noteRule(note, ChangeNote::NewValue);
        return v;
    case BaselineYear:
        return fromYear(efficiency, firstYear, yearCount, v, method, current, note);
    default:
        return unchangedValue(method, current, note);
    }
}

void apply(AggDivCalcData::WaterUserEntry& entry, int firstYear, const DemandChange& change,
    const QVector<BaselineRow>& baselineRows, CalcTrace* trace)
{
    using Data = AggDivCalcData;
    const int yearCount = entry.yearCount;
    // The year an explanation follows; -1 keeps the walk below free of any recording.
    const int traced = trace && trace->followsWaterUser(entry.id) ? trace->year() - firstYear : -1;
    auto fill = [&](int kind, bool afterChange) {
        if (traced < 0) {
            DemandMath::fillGaps(entry.series(kind), yearCount);
            return;
        }
        DemandMath::GapNote note;
        note.index = traced;
        DemandMath::fillGaps(entry.series(kind), yearCount, &note);
        trace->gapFilled(kind, note, firstYear, afterChange);
    };
    if (change.depletionMethod == BaselinePlusChanges) {
        for (int kind = 0; kind < Data::KindCount; ++kind)
            fill(kind, false);
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
        if (y != traced) {
            depletion[y]
                = changedDepletion(change.depletionChange(year), change.depletionMethod, depletion,
                    firstYear, yearCount, y, row.depletion, row.total, change.waterUserCount);
            efficiency[y] = changedEfficiency(change.efficiencyChange(year),
                change.efficiencyMethod, efficiency, firstYear, yearCount, y);
            continue;
        }
        ChangeNote note;
        depletion[y]
            = changedDepletion(change.depletionChange(year), change.depletionMethod, depletion,
                firstYear, yearCount, y, row.depletion, row.total, change.waterUserCount, &note);
        const bool filledAfter = change.depletionMethod == InterpolateChanges;
        trace->changed(Data::Depletion, change.depletionChange(year), change.depletionMethod, note,
            depletion[y], row.depletion, row.total, change.waterUserCount, filledAfter);
        note = ChangeNote();
        efficiency[y] = changedEfficiency(change.efficiencyChange(year), change.efficiencyMethod,
            efficiency, firstYear, yearCount, y, &note);
        trace->changed(Data::EfficiencyRatio, change.efficiencyChange(year),
            change.efficiencyMethod, note, efficiency[y], row.depletion, row.total,
            change.waterUserCount, filledAfter);
    }

    if (change.depletionMethod == InterpolateChanges) {
        fill(Data::Depletion, true);
        fill(Data::EfficiencyRatio, true);
        fill(Data::SalinityPickup, true);
    }
}

} // namespace ScenarioChanges
