#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// A statement prepared once per run on the connection's own SQLite handle and rebound for every
// row. The calculators read and write millions of result rows; going through the SQLite handle
// of the same connection instead of QSqlQuery saves the per-row variant and driver bookkeeping,
// which otherwise costs as much as the statement itself. Where the handle may not be driven
// with this program's SQLite library (TARN::directSqliteHandle), the same statement runs through
// QSqlQuery. Positions count from 0, in placeholder (or result column) order.
class SqliteStatement {
public:
    SqliteStatement() = default;
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // A failed prepare is kept: the first exec or step throws with SQLite's message, so a file
    // without the result tables opens and only its first calculation fails.
    void prepare(const QSqlDatabase& db, const QString& sql);
    void finalize();

    void bindInt(int position, qint64 value);
    // NaN binds as NULL.
    void bindDouble(int position, double value);
    // UTF-8 text that stays alive until the next exec.
    void bindText(int position, const QByteArray& utf8);

    // Runs a statement that returns no rows; throws TarnException with failureText's %1 set to
    // SQLite's message.
    void exec(const QString& failureText);
    // The rows the last exec inserted, updated or deleted.
    qint64 changes() const;

    // Steps a query: true while a row is there; throws like exec. Call reset() when done.
    bool step(const QString& failureText);
    void reset();
    int columnType(int column) const; // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_NULL, ...
    qint64 columnInt(int column) const;
    // NULL, text and blobs read as NaN; integers as their value.
    double columnDouble(int column) const;
    // The text's bytes and length, valid until the next step.
    const char* columnTextData(int column, int& size) const;

private:
    void failIfUnprepared(const QString& failureText) const;
    QVariant value(int column) const;

    sqlite3* _handle = nullptr;
    sqlite3_stmt* _stmt = nullptr;
    // The QSqlQuery path: the prepared query, whether it was executed since the last reset, and
    // the text of the last column read.
    std::unique_ptr<QSqlQuery> _query;
    bool _executed = false;
    qint64 _changes = 0;
    mutable QByteArray _text;
    QString _prepareError;
};
