#pragma once

#include "calc/CalcStatusInfo.h"

#include <QElapsedTimer>

namespace Cli {

// A one-line progress bar on standard error, redrawn at most every 100 ms.
class ProgressLine {
public:
    ProgressLine();

    void show(const CalcStatusInfo& info);

    void clear();

private:
    bool _enabled;
    bool _visible = false;
    QElapsedTimer _timer;
};

} // namespace Cli
