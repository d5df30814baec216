#include "calc/ProjectCheckData.h"
#include "calc/ResultsCheck.h"

#include <array>
#include <cmath>
#include <vector>

// The rules on the values the recomputation gives, and on the years a water user has no input
// for: part of the results check, as they read its computed entries.

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 12);
}

// A computed value that breaks a rule, counted over the years of one water user.
struct Hit {
    int first = 0;
    int count = 0;
    double value = 0;
    void add(int year, double v)
    {
        if (count++ == 0) {
            first = year;
            value = v;
        }
    }
};

QString moreYears(int count)
{
    if (count <= 1)
        return QString();
    return count == 2 ? QStringLiteral(" and one more year")
                      : QStringLiteral(" and %1 more years").arg(count - 1);
}

} // namespace

// Rules on computed values, for the years where the planner did not enter the offending value
// (those are reported as entered).
void ResultsCheck::computedRules(QList<ValidationFinding>& out, int scenarioID,
    const AggDivCalcData::WaterUserEntry& entry, int aggDivID) const
{
    const ProjectCheckData::WaterUser* user = _data.waterUser(entry.id);
    const QString label = user ? user->label() : QStringLiteral("water user %1").arg(entry.id);
    std::vector<std::array<double, 4>> entered(
        entry.yearCount, { std::nan(""), std::nan(""), std::nan(""), std::nan("") });
    for (const ProjectCheckData::YearValues& row : _data.yearly.value(entry.id)) {
        const int y = row.year - _firstYear;
        if (y >= 0 && y < entry.yearCount)
            entered[y] = row.values;
    }

    // An efficiency ratio of 0 is valid (nothing of the diversion is consumed); one from a
    // depletion over a diversion of 0 is infinite, which is said as such.
    auto inRange = [](double e) { return e >= 0.0 && e <= 1.0; };
    Hit efficiency;
    Hit infinite;
    Hit negative[3];
    Hit exceeds;
    const int kinds[3]
        = { AggDivCalcData::Diversion, AggDivCalcData::Depletion, AggDivCalcData::SalinityPickup };
    for (int y = 0; y < entry.yearCount; ++y) {
        const int year = _firstYear + y;
        const double e = entry.value(AggDivCalcData::EfficiencyRatio, y);
        const double d = entry.value(AggDivCalcData::Diversion, y);
        const double p = entry.value(AggDivCalcData::Depletion, y);
        const double enteredE = entered[y][AggDivCalcData::EfficiencyRatio];
        const bool enteredBad = !std::isnan(enteredE) && !inRange(enteredE);
        if (!std::isnan(e) && !inRange(e) && !enteredBad) {
            if (std::isinf(e) && d == 0.0)
                infinite.add(year, p);
            else
                efficiency.add(year, e);
        }
        for (int k = 0; k < 3; ++k) {
            const double v = entry.value(kinds[k], y);
            const double enteredV = entered[y][kinds[k]];
            if (!std::isnan(v) && v < 0 && !(!std::isnan(enteredV) && enteredV < 0))
                negative[k].add(year, v);
        }
        if (!std::isnan(d) && !std::isnan(p) && p > d)
            exceeds.add(year, p - d);
    }
    const QString where = Run;
    if (efficiency.count) {
        add(out, scenarioID, QStringLiteral("efficiency-range"), aggDivID, entry.name,
            QStringLiteral("%1 gets a computed efficiency ratio of %2 in %3%4 %5; it must be "
                           "at least 0 and at most 1.")
                .arg(label, number(efficiency.value), QString::number(efficiency.first),
                    moreYears(efficiency.count), where),
            efficiency.first, true);
    }
    if (infinite.count) {
        add(out, scenarioID, QStringLiteral("efficiency-range"), aggDivID, entry.name,
            QStringLiteral("%1 has a diversion of 0 and a depletion of %2 in %3%4 %5, so its "
                           "computed efficiency ratio (depletion / diversion) is infinite; it "
                           "must be at least 0 and at most 1.")
                .arg(label, number(infinite.value), QString::number(infinite.first),
                    moreYears(infinite.count), where),
            infinite.first, true);
    }
    const char* const names[3] = { "diversion", "depletion", "salinity pick-up" };
    for (int k = 0; k < 3; ++k) {
        if (!negative[k].count)
            continue;
        add(out, scenarioID, QStringLiteral("negative-value"), aggDivID, entry.name,
            QStringLiteral("%1 gets a computed %2 of %3 in %4%5 %6.")
                .arg(label, QLatin1String(names[k]), number(negative[k].value),
                    QString::number(negative[k].first), moreYears(negative[k].count), where),
            negative[k].first, true);
    }
    if (exceeds.count) {
        add(out, scenarioID, QStringLiteral("depletion-exceeds-diversion"), aggDivID, entry.name,
            QStringLiteral("The computed depletion of %1 is above its diversion in %2%3 %4 (by "
                           "%5 in %2).")
                .arg(label, QString::number(exceeds.first), moreYears(exceeds.count), where,
                    number(exceeds.value)),
            exceeds.first, true);
    }
}

void ResultsCheck::missingYears(QList<ValidationFinding>& out, int scenarioID,
    const AggDivCalcData::WaterUserEntry& entry, int aggDivID) const
{
    const ProjectCheckData::WaterUser* user = _data.waterUser(entry.id);
    const QString label = user ? user->label() : QStringLiteral("water user %1").arg(entry.id);
    std::vector<char> hasValue(entry.yearCount, 0);
    for (const ProjectCheckData::YearValues& row : _data.yearly.value(entry.id)) {
        const int y = row.year - _firstYear;
        if (y < 0 || y >= entry.yearCount)
            continue;
        for (const double value : row.values) {
            if (!std::isnan(value))
                hasValue[y] = 1;
        }
    }
    QList<int> missing;
    QList<int> leftEmpty;
    for (int y = 0; y < entry.yearCount; ++y) {
        if (hasValue[y])
            continue;
        missing.append(_firstYear + y);
        if (std::isnan(entry.value(AggDivCalcData::Diversion, y))
            && std::isnan(entry.value(AggDivCalcData::Depletion, y)))
            leftEmpty.append(_firstYear + y);
    }
    if (missing.isEmpty())
        return;
    if (missing.size() == entry.yearCount) {
        add(out, scenarioID, QStringLiteral("no-data"), aggDivID, entry.name,
            QStringLiteral("%1 has no value in any year; its results are empty.").arg(label), 0);
        return;
    }
    QString fate;
    const bool one = missing.size() == 1;
    if (leftEmpty.isEmpty())
        fate = one ? QStringLiteral("the gap filling fills it")
                   : QStringLiteral("the gap filling fills them all");
    else if (leftEmpty.size() == missing.size())
        fate = one ? QStringLiteral("the gap filling leaves it empty")
                   : QStringLiteral("the gap filling leaves them all empty");
    else
        fate = QStringLiteral("the gap filling leaves %1 empty")
                   .arg(ProjectCheckData::yearRanges(leftEmpty));
    add(out, scenarioID, QStringLiteral("missing-years"), aggDivID, entry.name,
        QStringLiteral("%1 has no values for %2; %3.")
            .arg(label, ProjectCheckData::yearRanges(missing), fate),
        missing.first());
}
