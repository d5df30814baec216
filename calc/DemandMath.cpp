#include "calc/DemandMath.h"

#include <cmath>
#include <limits>

namespace DemandMath {

double missing()
{
    return std::numeric_limits<double>::quiet_NaN();
}

bool isMissing(double value)
{
    return std::isnan(value);
}

namespace {

// The watched year was not interpolated: it had a value, or it stays missing for want of a
// known year on one side.
void noteUnfilled(const double* series, int count, GapNote& note)
{
    if (note.index < 0 || note.index >= count)
        return;
    note.value = series[note.index];
    if (!isMissing(note.value)) {
        note.outcome = GapNote::Given;
        return;
    }
    for (int i = note.index + 1; i < count; ++i) {
        if (!isMissing(series[i])) {
            note.outcome = GapNote::BeforeFirst;
            note.fromIndex = i;
            note.fromValue = series[i];
            return;
        }
    }
    for (int i = note.index - 1; i >= 0; --i) {
        if (!isMissing(series[i])) {
            note.outcome = GapNote::AfterLast;
            note.fromIndex = i;
            note.fromValue = series[i];
            return;
        }
    }
    note.outcome = GapNote::NoValue;
}

} // namespace

void fillGaps(double* series, int count, GapNote* note)
{
    bool noted = false;
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        if (isMissing(series[i]))
            continue;
        if (previous >= 0 && i - previous > 1) {
            const double from = series[previous];
            const double step = (series[i] - from) / (i - previous);
            for (int j = previous + 1; j < i; ++j)
                series[j] = from + step * (j - previous);
            if (note && note->index > previous && note->index < i) {
                note->outcome = GapNote::Interpolated;
                note->fromIndex = previous;
                note->toIndex = i;
                note->fromValue = from;
                note->toValue = series[i];
                note->value = series[note->index];
                noted = true;
            }
        }
        previous = i;
    }
    if (note && !noted)
        noteUnfilled(series, count, *note);
}

void deriveThird(double& d, double& p, double& e, Derivation* rule)
{
    Derivation applied;
    if (e == 0.0 && d != 0.0) {
        // NaN != 0 holds, so a missing diversion lands here as well.
        p = 0.0;
        applied = Derivation::NoDepletion;
    } else if (isMissing(p) && !isMissing(d) && !isMissing(e)) {
        p = e * d;
        applied = Derivation::DepletionFromDiversion;
    } else if (isMissing(e) && !isMissing(d) && !isMissing(p)) {
        e = p / d;
        applied = Derivation::EfficiencyFromDepletion;
    } else if (e == 0.0) {
        // Diversion 0 and efficiency 0: nothing to derive.
        applied = Derivation::Nothing;
    } else {
        d = p / e;
        applied = Derivation::DiversionFromDepletion;
    }
    if (rule)
        *rule = applied;
}

double monthlyShare(double yearly, double coefficientPercent)
{
    return yearly * coefficientPercent / 100.0;
}

void Sum::add(double v)
{
    if (isMissing(v))
        return;
    value = isMissing(value) ? v : value + v;
}

SiteSalinity siteSalinity(int salinityMethodID, double totalDiversion, double totalReturnFlow,
    double totalSalinity, SalinityRule* rule)
{
    SiteSalinity result;
    SalinityRule applied = SalinityRule::UnknownMethod;
    switch (salinityMethodID) {
    case 1:
    case 4:
        result.yearly = totalSalinity;
        result.monthly = totalSalinity / 12.0;
        applied = SalinityRule::Mass;
        break;
    case 2:
        applied = SalinityRule::NoReturnFlow;
        if (totalReturnFlow > 0.0) {
            result.yearly = result.monthly = totalSalinity / totalReturnFlow;
            applied = SalinityRule::ReturnFlowConcentration;
        }
        break;
    case 3:
        applied = SalinityRule::NoDiversion;
        if (totalDiversion > 0.0) {
            result.yearly = result.monthly = totalSalinity / totalDiversion;
            applied = SalinityRule::DiversionConcentration;
        }
        break;
    default:
        break;
    }
    if (rule)
        *rule = applied;
    return result;
}

} // namespace DemandMath
