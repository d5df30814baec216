#pragma once

#include "db/Records.h"
#include "db/okstat.h"

#include <QHash>
#include <QPair>
#include <QSqlDatabase>
#include <QVector>

// A scenario row (Scenario, by position).
struct ScenarioRow {
    int ScenarioID = 0;
    QString name;
    QString shortName;
    QString description;
    QString userName;
    QString createdDate;
    QString modifiedDate;
};

// A demand change row (DemandChg, by position).
struct DemandChgRow {
    int DemandChgID = 0;
    int ScenarioID = 0;
    QString name;
    QString description;
    QString createdDate;
    int depletionMethod = 1;
    int efficiencyMethod = 1;
    bool usesFilters = false;
};

// One yearly change (DepletionChg or EfficiencyChg, by position).
struct ChangeValueRow {
    int DemandChgID = 0;
    bool efficiency = false;
    int year = 0;
    int changeTypeId = 0;
    double value = 0;
};

// The baseline's inputs read and written in bulk, for input books: one statement per table
// rather than one per site or water user, every table read by position (the free columns may be
// called anything).
namespace InputsDAO {

// Every site, by order then key.
TARN::okstat readSites(const QSqlDatabase& db, AggDivList& sites);
// The baseline water users with their sites, by site order, site key, order, key.
TARN::okstat readBaselineWaterUsers(const QSqlDatabase& db, WaterUserList& waterUsers);
// The twelve monthly coefficients of every water user, January first, by WaterUserID.
TARN::okstat readDistributions(const QSqlDatabase& db, QHash<int, QVector<double>>& coefficients);
// Every yearly row, by water user then year.
TARN::okstat readYearlyData(const QSqlDatabase& db, WaterUserDataList& data);
// Replaces the water user's coefficients (twelve, January first).
TARN::okstat writeDistribution(
    const QSqlDatabase& db, int waterUserId, const QVector<double>& coefficients);

// Scenarios in key order; their demand changes by scenario, then key; the yearly changes of
// both kinds by change, then year; the members (DemandChgID, WaterUserID) and filter entries
// (DemandChgID, AttrID, AttrValidValID) in table order.
TARN::okstat readScenarios(const QSqlDatabase& db, QList<ScenarioRow>& scenarios);
TARN::okstat readDemandChanges(const QSqlDatabase& db, QList<DemandChgRow>& changes);
TARN::okstat readChangeValues(const QSqlDatabase& db, QList<ChangeValueRow>& values);
TARN::okstat readChangeMembers(const QSqlDatabase& db, QList<QPair<int, int>>& members);
TARN::okstat readChangeFilters(const QSqlDatabase& db, QList<QVector<int>>& filters);
// A lookup table's names by key (ChangeType, CalcMethod: key and name columns 0 and 1).
TARN::okstat readLookup(const QSqlDatabase& db, const QString& table, QHash<int, QString>& names);
// The water users scenarios have of their own, with their sites.
TARN::okstat readScenarioWaterUsers(const QSqlDatabase& db, WaterUserList& waterUsers);

// Inserts (key 0: the new key is written back) or updates a scenario or a demand change row.
TARN::okstat saveScenario(const QSqlDatabase& db, ScenarioRow& scenario);
TARN::okstat saveDemandChange(const QSqlDatabase& db, DemandChgRow& change);
// Replaces the yearly changes of both kinds of one demand change.
TARN::okstat replaceChangeValues(
    const QSqlDatabase& db, int demandChgId, const QList<ChangeValueRow>& values);

} // namespace InputsDAO
