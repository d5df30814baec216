// ScenarioDefinition: what defines a scenario's results, as its fingerprint reads it.

#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVector>

// Values as stored; a stored number that is NULL or not a number is NaN. Years and keys keep the
// text they are stored as, so the fingerprint reads them the way it always has.
struct ScenarioDefinition {
    struct YearlyChange {
        QString year;
        QString changeType;
        double value = 0.0;
    };
    // A demand change, oldest first.
    struct DemandChange {
        QString demandMethod;
        QString efficiencyMethod;
        bool useFilter = false;
        QList<YearlyChange> depletion; // by year, then key
        QList<YearlyChange> efficiency; // by year, then key
        QList<QPair<QString, QString>> members; // site's and water user's river-model names
        QList<QPair<QString, QString>> filters; // attribute name and value
    };
    struct YearlyData {
        QString year;
        double values[4] = { 0.0, 0.0, 0.0, 0.0 }; // the four yearly values, in column order
    };
    // A water user the scenario has of its own.
    struct OwnWaterUser {
        QString siteRiverName;
        QString riverName;
        QString name;
        QList<YearlyData> data; // by year, then key
        QList<QVector<double>> coefficients; // one row of January to December a stored row
    };
    QList<DemandChange> changes;
    QList<OwnWaterUser> waterUsers;
};
