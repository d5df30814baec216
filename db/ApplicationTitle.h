#pragma once

#include <QString>

// "Tarnhelm 3.4": the window title and the header of exported attribute files.
inline QString applicationTitle()
{
    return QStringLiteral("%1 %2.%3").arg(QStringLiteral("Tarnhelm")).arg(3).arg(4);
}
