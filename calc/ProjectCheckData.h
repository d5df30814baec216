#pragma once

#include "db/okstat.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include <array>

// The inputs of a project the project check reads in one pass: sites, water users, scenarios,
// demand changes with their members and changed years, the entered yearly values and the monthly
// coefficients. Results are not part of it; they are recomputed.
struct ProjectCheckData {
    struct Site {
        int id = 0;
        QString name;
        QString riffleName;
    };
    struct WaterUser {
        int id = 0;
        int aggDivID = 0;
        int scenarioID = 0; // 0: a baseline water user
        QString name;
        QString riffleName;
        // "Water user \"Upper Ditch\" (12)"
        QString label() const;
    };
    struct Scenario {
        int id = 0;
        QString name;
    };
    struct DemandChange {
        int id = 0;
        int scenarioID = 0;
        QString name;
        QString createdDate;
        int depletionMethod = 1;
        int efficiencyMethod = 1;
        QList<int> waterUsers;
        QList<int> changedYears; // depletion and efficiency, ascending, each once
    };
    struct YearValues {
        int year = 0;
        std::array<double, 4> values {}; // diversion, depletion, efficiency ratio, salinity
    };

    TARN::okstat read(QSqlDatabase& db);

    int firstYear = 0;
    int lastYear = -1;
    QList<Site> sites;
    QList<WaterUser> waterUsers; // baseline and scenario-only, by ID
    QList<Scenario> scenarios; // by ID
    QList<DemandChange> changes; // by ID
    QHash<int, QVector<YearValues>> yearly; // entered rows by water user, by year
    QHash<int, std::array<double, 12>> distributions; // by water user; NaN = missing
    // Entered values that are text (missing to the calculation), by water user, by year.
    struct TextValue {
        int year = 0;
        int kind = 0; // diversion, depletion, efficiency ratio, salinity
        QString text;
    };
    QHash<int, QVector<TextValue>> texts;

    bool inRange(int year) const { return year >= firstYear && year <= lastYear; }
    const WaterUser* waterUser(int id) const;
    QString siteRiffleName(int aggDivID) const;
    QString scenarioName(int scenarioID) const;

    // "1990–1994, 2001, 2005–2006" for ascending years.
    static QString yearRanges(const QList<int>& years);

private:
    QHash<int, int> _waterUserIndex;
    QHash<int, int> _siteIndex;
    QHash<int, int> _scenarioIndex;
};
