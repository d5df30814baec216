#include "db/Savepoint.h"

#include <QSqlError>
#include <QSqlQuery>

namespace Savepoint {

namespace {

TARN::okstat execute(const QSqlDatabase& db, const QString& sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return query.lastError().text();
    return {};
}

} // namespace

TARN::okstat begin(const QSqlDatabase& db, const QString& name)
{
    return execute(db, QStringLiteral("SAVEPOINT %1").arg(name));
}

TARN::okstat rollbackTo(const QSqlDatabase& db, const QString& name)
{
    return execute(db, QStringLiteral("ROLLBACK TO %1").arg(name));
}

TARN::okstat release(const QSqlDatabase& db, const QString& name)
{
    return execute(db, QStringLiteral("RELEASE %1").arg(name));
}

} // namespace Savepoint
