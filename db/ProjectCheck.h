#pragma once

#include "db/okstat.h"

#include <QSqlDatabase>
#include <QStringList>

// Consistency checks of an open project file beyond what opening it checks.
namespace ProjectCheck {

// The tables a planner edits, as opposed to the computed results: small enough to check on
// every open.
QStringList inputTables();

// Rows whose foreign key names a row that does not exist, one line each ("WaterUser row 4
// refers to a missing AggDiv row"), in the given tables (all tables when empty). At most limit
// lines; one more line counts the rest.
TARN::okstat brokenReferences(
    const QSqlDatabase& db, const QStringList& tables, QStringList& problems, int limit = 20);

// SQLite's quick check of the file's structure; no lines when it is sound. Reads the whole
// file: for explicit checks, not for every open.
TARN::okstat structureProblems(const QSqlDatabase& db, QStringList& problems, int limit = 20);

} // namespace ProjectCheck
