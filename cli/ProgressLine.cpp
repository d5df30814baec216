#include "cli/ProgressLine.h"

#include <cstdio>
#include <unistd.h>

namespace Cli {

ProgressLine::ProgressLine()
    : _enabled(isatty(fileno(stderr)) != 0)
{
    _timer.start();
}

void ProgressLine::show(const CalcStatusInfo& info)
{
    if (!_enabled || (_visible && _timer.elapsed() < 100))
        return;
    _timer.restart();
    constexpr int width = 30;
    const int count = qMax(1, info.aggDivCount);
    const int filled = qBound(0, info.aggDivDone * width / count, width);
    const QString text
        = QStringLiteral("\r%1 [%2%3] %4/%5 %6")
              .arg(info.target, QString(filled, QLatin1Char('#')),
                  QString(width - filled, QLatin1Char('.')), QString::number(info.aggDivDone),
                  QString::number(info.aggDivCount), info.aggDivName.left(30));
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fputs("\033[K", stderr);
    std::fflush(stderr);
    _visible = true;
}

void ProgressLine::clear()
{
    if (!_enabled || !_visible)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    _visible = false;
}

} // namespace Cli
