#include "StatementRefusal.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

StatementRefusal::StatementRefusal(const QSqlDatabase& db, Rule deny)
    : _deny(std::move(deny))
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData());
    if (connection
        && sqlite3_set_authorizer(connection, &StatementRefusal::authorize, this) == SQLITE_OK)
        _handle = connection;
}

StatementRefusal::~StatementRefusal()
{
    if (_handle)
        sqlite3_set_authorizer(static_cast<sqlite3*>(_handle), nullptr, nullptr);
}

int StatementRefusal::authorize(
    void* self, int action, const char* first, const char* second, const char*, const char*)
{
    const auto* refusal = static_cast<const StatementRefusal*>(self);
    const bool deny = refusal->_deny(
        action, QString::fromUtf8(first ? first : ""), QString::fromUtf8(second ? second : ""));
    return deny ? SQLITE_DENY : SQLITE_OK;
}

StatementRefusal::Rule StatementRefusal::beginning()
{
    return [](int action, const QString& operation, const QString&) {
        return action == SQLITE_TRANSACTION
            && operation.compare(QLatin1String("BEGIN"), Qt::CaseInsensitive) == 0;
    };
}

StatementRefusal::Rule StatementRefusal::writing(const QString& table)
{
    return [table](int action, const QString& name, const QString&) {
        return (action == SQLITE_INSERT || action == SQLITE_UPDATE || action == SQLITE_DELETE)
            && name.compare(table, Qt::CaseInsensitive) == 0;
    };
}

StatementRefusal::Rule StatementRefusal::reading(const QString& table)
{
    return [table](int action, const QString& name, const QString&) {
        return action == SQLITE_READ && name.compare(table, Qt::CaseInsensitive) == 0;
    };
}
