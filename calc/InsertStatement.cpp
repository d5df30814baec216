#include "calc/InsertStatement.h"

#include "db/TarnException.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <cmath>

InsertStatement::~InsertStatement()
{
    finalize();
}

void InsertStatement::finalize()
{
    if (_stmt)
        sqlite3_finalize(_stmt);
    _stmt = nullptr;
    _handle = nullptr;
}

void InsertStatement::prepare(const QSqlDatabase& db, const QString& sql)
{
    finalize();
    _prepareError.clear();
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        _prepareError = QStringLiteral("The connection is not an SQLite connection");
        return;
    }
    _handle = *static_cast<sqlite3* const*>(handle.constData());
    if (!_handle) {
        _prepareError = QStringLiteral("The database is not open");
        return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(_handle, text.constData(), text.size(), &_stmt, nullptr) != SQLITE_OK) {
        _prepareError = QString::fromUtf8(sqlite3_errmsg(_handle));
        sqlite3_finalize(_stmt);
        _stmt = nullptr;
    }
}

void InsertStatement::bindInt(int position, int value)
{
    if (_stmt)
        sqlite3_bind_int(_stmt, position + 1, value);
}

void InsertStatement::bindDouble(int position, double value)
{
    if (!_stmt)
        return;
    if (std::isnan(value))
        sqlite3_bind_null(_stmt, position + 1);
    else
        sqlite3_bind_double(_stmt, position + 1, value);
}

void InsertStatement::bindText(int position, const QByteArray& utf8)
{
    if (_stmt)
        sqlite3_bind_text(_stmt, position + 1, utf8.constData(), utf8.size(), SQLITE_STATIC);
}

void InsertStatement::exec(const QString& failureText)
{
    if (!_stmt)
        throw TarnException(failureText.arg(_prepareError));
    const int rc = sqlite3_step(_stmt);
    sqlite3_reset(_stmt);
    if (rc != SQLITE_DONE)
        throw TarnException(failureText.arg(QString::fromUtf8(sqlite3_errmsg(_handle))));
}
