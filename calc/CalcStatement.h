#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <memory>

// A statement prepared once per run and re-bound for every row. A failed prepare is kept, so
// the run fails with SQLite's own message when the statement is first needed (a file without
// the result tables opens, and only its first calculation fails).
class CalcStatement {
public:
    void prepare(const QSqlDatabase& db, const QString& sql);
    // After prepare.
    QSqlQuery& query() { return *_query; }
    void bind(int position, const QVariant& value)
    {
        if (_query)
            _query->bindValue(position, value);
    }

    // Executes; throws TarnException with failureText's %1 set to the database's error text.
    void exec(const QString& failureText);
    // Executes a single-value select and returns the value; throws like exec.
    QVariant scalar(const QString& failureText);
    void finish()
    {
        if (_query)
            _query->finish();
    }

private:
    // Made by prepare: a query made without a connection would look up the default connection
    // by name, which Qt refuses from a thread other than its own.
    std::unique_ptr<QSqlQuery> _query;
    QString _prepareError;
    bool _prepared = false;
};
