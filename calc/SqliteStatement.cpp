#include "calc/SqliteStatement.h"

#include "db/TarnException.h"

#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <cmath>
#include <limits>

SqliteStatement::~SqliteStatement()
{
    finalize();
}

void SqliteStatement::finalize()
{
    if (_stmt)
        sqlite3_finalize(_stmt);
    _stmt = nullptr;
    _handle = nullptr;
}

void SqliteStatement::prepare(const QSqlDatabase& db, const QString& sql)
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

void SqliteStatement::bindInt(int position, qint64 value)
{
    if (_stmt)
        sqlite3_bind_int64(_stmt, position + 1, value);
}

void SqliteStatement::bindDouble(int position, double value)
{
    if (!_stmt)
        return;
    if (std::isnan(value))
        sqlite3_bind_null(_stmt, position + 1);
    else
        sqlite3_bind_double(_stmt, position + 1, value);
}

void SqliteStatement::bindText(int position, const QByteArray& utf8)
{
    if (_stmt)
        sqlite3_bind_text(_stmt, position + 1, utf8.constData(), utf8.size(), SQLITE_STATIC);
}

void SqliteStatement::failIfUnprepared(const QString& failureText) const
{
    if (!_stmt)
        throw TarnException(failureText.arg(_prepareError));
}

void SqliteStatement::exec(const QString& failureText)
{
    failIfUnprepared(failureText);
    const int rc = sqlite3_step(_stmt);
    sqlite3_reset(_stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw TarnException(failureText.arg(QString::fromUtf8(sqlite3_errmsg(_handle))));
}

bool SqliteStatement::step(const QString& failureText)
{
    failIfUnprepared(failureText);
    const int rc = sqlite3_step(_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString error = QString::fromUtf8(sqlite3_errmsg(_handle));
    sqlite3_reset(_stmt);
    throw TarnException(failureText.arg(error));
}

void SqliteStatement::reset()
{
    if (_stmt)
        sqlite3_reset(_stmt);
}

int SqliteStatement::columnType(int column) const
{
    return sqlite3_column_type(_stmt, column);
}

qint64 SqliteStatement::columnInt(int column) const
{
    return sqlite3_column_int64(_stmt, column);
}

double SqliteStatement::columnDouble(int column) const
{
    switch (sqlite3_column_type(_stmt, column)) {
    case SQLITE_INTEGER:
        return double(sqlite3_column_int64(_stmt, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(_stmt, column);
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

QByteArray SqliteStatement::columnText(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(_stmt, column));
    return QByteArray::fromRawData(text, sqlite3_column_bytes(_stmt, column));
}
