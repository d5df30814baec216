#include "db/SqliteHandle.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <atomic>

namespace {

std::atomic_bool directEnabled { true };

// Asked once per process: neither library changes while it runs. A driver built with a copy of
// SQLite of its own reports another version or source id.
bool sameSqliteLibrary(const QSqlDatabase& db)
{
    enum { Unknown, Same, Different };
    static std::atomic_int known { Unknown };
    const int state = known.load();
    if (state != Unknown)
        return state == Same;
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        known = Different;
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT sqlite_version(), sqlite_source_id()")) || !query.next())
        return false; // not decided: the connection may not be usable yet
    const bool same = query.value(0).toString() == QLatin1String(sqlite3_libversion())
        && query.value(1).toString() == QLatin1String(sqlite3_sourceid());
    known = same ? Same : Different;
    return same;
}

} // namespace

namespace TARN {

sqlite3* directSqliteHandle(const QSqlDatabase& db)
{
    if (!directEnabled.load() || !sameSqliteLibrary(db))
        return nullptr;
    const QVariant handle = db.driver()->handle();
    return *static_cast<sqlite3* const*>(handle.constData());
}

void setDirectSqliteEnabled(bool enabled)
{
    directEnabled = enabled;
}

} // namespace TARN
