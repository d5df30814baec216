#include "ui/common/NumberText.h"

#include <QLocale>

#include <cmath>

namespace NumberText {

QString readable(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    const QLocale locale;
    const double size = std::abs(value);
    if (size != 0.0 && size < 1.0)
        return locale.toString(value, 'g', 4);
    QString text = locale.toString(value, 'f', 3);
    const QString point = locale.decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text;
}

QString percent(double fraction)
{
    if (std::isnan(fraction))
        return QString();
    return readable(100.0 * fraction) + QStringLiteral(" %");
}

} // namespace NumberText
