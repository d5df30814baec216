#pragma once

#include <QSqlDatabase>

struct sqlite3;

namespace TARN {

// The connection's own SQLite handle for statements that go past QSqlQuery, or null when that is
// not sound: the driver's handle must be an sqlite3*, and the SQLite library behind the driver
// must be the one this program is linked with (the same version and source id), since the
// handle is driven with this program's library. Callers take the QSqlQuery path on null.
sqlite3* directSqliteHandle(const QSqlDatabase& db);

// Tests force the QSqlQuery path with false.
void setDirectSqliteEnabled(bool enabled);

} // namespace TARN
