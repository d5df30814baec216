#pragma once

#include "db/okstat.h"

#include <QSqlDatabase>
#include <QString>

// Named savepoints inside the open transaction, to undo part of it. Failures give the
// database's text. A savepoint that cannot be released stays until the transaction ends.
namespace Savepoint {

TARN::okstat begin(const QSqlDatabase& db, const QString& name);
TARN::okstat rollbackTo(const QSqlDatabase& db, const QString& name);
TARN::okstat release(const QSqlDatabase& db, const QString& name);

} // namespace Savepoint
