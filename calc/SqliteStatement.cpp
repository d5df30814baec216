#include "calc/SqliteStatement.h"

#include "db/SqliteHandle.h"
#include "db/TarnException.h"

#include <QSqlError>
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
    _query.reset();
    _executed = false;
}

void SqliteStatement::prepare(const QSqlDatabase& db, const QString& sql)
{
    finalize();
    _prepareError.clear();
    _handle = TARN::directSqliteHandle(db);
    if (!_handle) {
        auto query = std::make_unique<QSqlQuery>(db);
        query->setForwardOnly(true);
        // Doubles as doubles (the connection's high precision hands them over as text).
        query->setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (query->prepare(sql))
            _query = std::move(query);
        else
            _prepareError = query->lastError().text();
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
    else if (_query)
        _query->bindValue(position, value);
}

void SqliteStatement::bindDouble(int position, double value)
{
    if (_stmt) {
        if (std::isnan(value))
            sqlite3_bind_null(_stmt, position + 1);
        else
            sqlite3_bind_double(_stmt, position + 1, value);
    } else if (_query) {
        _query->bindValue(
            position, std::isnan(value) ? QVariant(QVariant::Double) : QVariant(value));
    }
}

void SqliteStatement::bindText(int position, const QByteArray& utf8)
{
    if (_stmt)
        sqlite3_bind_text(_stmt, position + 1, utf8.constData(), utf8.size(), SQLITE_STATIC);
    else if (_query)
        _query->bindValue(position, QString::fromUtf8(utf8));
}

void SqliteStatement::failIfUnprepared(const QString& failureText) const
{
    if (!_stmt && !_query)
        throw TarnException(failureText.arg(_prepareError));
}

void SqliteStatement::exec(const QString& failureText)
{
    failIfUnprepared(failureText);
    if (_query) {
        const bool ok = _query->exec();
        const QString error = _query->lastError().text();
        _changes = ok ? _query->numRowsAffected() : 0;
        _query->finish();
        if (!ok)
            throw TarnException(failureText.arg(error));
        return;
    }
    const int rc = sqlite3_step(_stmt);
    sqlite3_reset(_stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw TarnException(failureText.arg(QString::fromUtf8(sqlite3_errmsg(_handle))));
}

qint64 SqliteStatement::changes() const
{
    if (_query)
        return _changes;
    return _handle ? sqlite3_changes(_handle) : 0;
}

bool SqliteStatement::step(const QString& failureText)
{
    failIfUnprepared(failureText);
    if (_query) {
        if (!_executed) {
            if (!_query->exec())
                throw TarnException(failureText.arg(_query->lastError().text()));
            _executed = true;
        }
        if (_query->next())
            return true;
        if (_query->lastError().isValid())
            throw TarnException(failureText.arg(_query->lastError().text()));
        return false;
    }
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
    if (_stmt) {
        sqlite3_reset(_stmt);
    } else if (_query) {
        _query->finish();
        _executed = false;
    }
}

QVariant SqliteStatement::value(int column) const
{
    return _query->value(column);
}

int SqliteStatement::columnType(int column) const
{
    if (_stmt)
        return sqlite3_column_type(_stmt, column);
    const QVariant v = value(column);
    if (v.isNull())
        return SQLITE_NULL;
    switch (v.type()) {
    case QVariant::Int:
    case QVariant::LongLong:
    case QVariant::UInt:
    case QVariant::ULongLong:
        return SQLITE_INTEGER;
    case QVariant::Double:
        return SQLITE_FLOAT;
    case QVariant::ByteArray:
        return SQLITE_BLOB;
    default:
        return SQLITE_TEXT;
    }
}

qint64 SqliteStatement::columnInt(int column) const
{
    if (_stmt)
        return sqlite3_column_int64(_stmt, column);
    return value(column).toLongLong();
}

double SqliteStatement::columnDouble(int column) const
{
    switch (columnType(column)) {
    case SQLITE_INTEGER:
        return double(columnInt(column));
    case SQLITE_FLOAT:
        return _stmt ? sqlite3_column_double(_stmt, column) : value(column).toDouble();
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

const char* SqliteStatement::columnTextData(int column, int& size) const
{
    if (_stmt) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(_stmt, column));
        size = sqlite3_column_bytes(_stmt, column);
        return text;
    }
    _text = value(column).toString().toUtf8();
    size = _text.size();
    return _text.constData();
}
