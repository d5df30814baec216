#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

struct sqlite3;
struct sqlite3_stmt;

// A result INSERT prepared once per run on the connection's own SQLite handle and rebound for
// every row. The calculators write millions of rows; going through the SQLite handle of the
// same connection instead of QSqlQuery saves the per-row variant and driver bookkeeping, which
// otherwise costs as much as the insert itself. Positions count from 0, in placeholder order.
class InsertStatement {
public:
    InsertStatement() = default;
    ~InsertStatement();
    InsertStatement(const InsertStatement&) = delete;
    InsertStatement& operator=(const InsertStatement&) = delete;

    void prepare(const QSqlDatabase& db, const QString& sql);
    void finalize();

    void bindInt(int position, int value);
    // NaN binds as NULL.
    void bindDouble(int position, double value);
    // UTF-8 text that stays alive until the next exec.
    void bindText(int position, const QByteArray& utf8);

    // Inserts the row; throws TarnException with failureText's %1 set to SQLite's message.
    void exec(const QString& failureText);

private:
    sqlite3* _handle = nullptr;
    sqlite3_stmt* _stmt = nullptr;
    QString _prepareError;
};
