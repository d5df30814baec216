#pragma once

#include <QMetaType>
#include <QString>

// Progress of a calculation or an export: what is worked on, two progress bars (sites and water
// users, or an exporter's equivalents) with their texts, and a status line. Copied into every
// queued signal, so it stays a plain value.
struct CalcStatusInfo {
    QString target;
    int aggDivCount = 100;
    int aggDivDone = 0;
    QString aggDivName;
    int waterUserCount = 100;
    int waterUserDone = 0;
    QString waterUserName;
    QString status;
};

Q_DECLARE_METATYPE(CalcStatusInfo)
