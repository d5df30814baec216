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

void fillGaps(double* series, int count)
{
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        if (isMissing(series[i]))
            continue;
        if (previous >= 0 && i - previous > 1) {
            const double from = series[previous];
            const double step = (series[i] - from) / (i - previous);
            for (int j = previous + 1; j < i; ++j)
                series[j] = from + step * (j - previous);
        }
        previous = i;
    }
}

void deriveThird(double& d, double& p, double& e)
{
    if (e == 0.0 && d != 0.0) {
        // NaN != 0 holds, so a missing diversion lands here as well.
        p = 0.0;
    } else if (isMissing(p) && !isMissing(d) && !isMissing(e)) {
        p = e * d;
    } else if (isMissing(e) && !isMissing(d) && !isMissing(p)) {
        e = p / d;
    } else if (e == 0.0) {
        // Diversion 0 and efficiency 0: nothing to derive.
    } else {
        d = p / e;
    }
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

SiteSalinity siteSalinity(
    int salinityMethodID, double totalDiversion, double totalReturnFlow, double totalSalinity)
{
    SiteSalinity result;
    switch (salinityMethodID) {
    case 1:
    case 4:
        result.yearly = totalSalinity;
        result.monthly = totalSalinity / 12.0;
        break;
    case 2:
        if (totalReturnFlow > 0.0)
            result.yearly = result.monthly = totalSalinity / totalReturnFlow;
        break;
    case 3:
        if (totalDiversion > 0.0)
            result.yearly = result.monthly = totalSalinity / totalDiversion;
        break;
    default:
        break;
    }
    return result;
}

} // namespace DemandMath
