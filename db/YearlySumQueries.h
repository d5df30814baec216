#pragma once

#include "db/okstat.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVariantMap>
#include <QVector>

class QSqlQuery;

// The yearly sums the charts draw: diversion, depletion and salinity pick-up summed over a
// water user, a site or a plot curve's members, for the baseline or a scenario.
namespace YearlySumQueries {

// One query: its SQL and the values of its named placeholders.
struct Query {
    QString sql;
    QVariantMap bindings;
};

// One row per year: year, diversion, depletion, salinity pick-up and the site's salinity
// method, in this column order. Missing sums are NaN.
struct Sums {
    QVector<double> years;
    QVector<double> diversion;
    QVector<double> depletion;
    QVector<double> salinity;
    int salinityMethodID = 0;
};

// The baseline sums of one water user, of one site.
Query waterUserBaseline(int waterUserId);
Query siteBaseline(int aggDivId);
// The sums of a curve's members: the baseline's when scenarioId is NULL or 0, else the
// scenario's.
Query curve(int plotCurveId, const QVariant& scenarioId);

// The rows of an executed query.
Sums readSums(QSqlQuery& query);
// Runs the query on db (on whichever thread holds it) into sums; a failure gives the database's
// text, or "the query failed" when it has none, and what was read before it.
TARN::okstat read(const QSqlDatabase& db, const Query& query, Sums& sums);

} // namespace YearlySumQueries
