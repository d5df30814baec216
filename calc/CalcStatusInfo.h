#pragma once

#include <QMetaType>
#include <QString>

// Progress of a calculation or an export: what is worked on, two progress bars with their texts
// and a status line.
struct CalcStatusInfo
{
    QString processing;
    int progress1 = 0;
    int maximum1 = 0;
    QString progressText1;
    int progress2 = 0;
    int maximum2 = 0;
    QString progressText2;
    QString status;
};

Q_DECLARE_METATYPE(CalcStatusInfo)
