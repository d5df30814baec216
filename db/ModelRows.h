#pragma once

#include "db/okstat.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>

class QSqlTableModel;

// Single rows of a table model's table, read or made without leaving a statement open: the
// records are read by position, as the file's free columns may carry other names.
namespace ModelRows {

// The first row of ModelOps::selectWhere; false when the statement failed (error then holds its
// text) or found none.
bool readWhere(const QSqlTableModel* model, int id, const QString& column, QSqlRecord& row,
    QString* error = nullptr);
// Every row of ModelOps::selectWhere appended to rows; false when the statement failed.
bool readAllWhere(
    const QSqlTableModel* model, int id, const QString& column, QList<QSqlRecord>& rows);
// Inserts record as a new last row and submits it. A failure reverts the model, so that nothing
// half-made stays pending for a later submit, and returns the model's error text. newId is the
// key SQLite gave the row, 0 when it cannot be read.
TARN::okstat insert(QSqlTableModel* model, const QSqlRecord& record, int& newId);
// The key SQLite gave the last row inserted on db; 0 when it cannot be read.
int lastInsertId(const QSqlDatabase& db);

} // namespace ModelRows
