#pragma once

#include "db/Records.h"
#include "db/okstat.h"

#include <QHash>
#include <QSqlDatabase>
#include <QVector>

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

} // namespace InputsDAO
