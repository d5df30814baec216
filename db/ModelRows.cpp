#include "db/ModelRows.h"

#include "db/ModelOps.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlTableModel>

namespace ModelRows {

bool readWhere(
    const QSqlTableModel* model, int id, const QString& column, QSqlRecord& row, QString* error)
{
    QSqlQuery query = ModelOps::selectWhere(model, id, column);
    if (!query.isActive() || !query.next()) {
        if (error && query.lastError().isValid())
            *error = query.lastError().text();
        return false;
    }
    row = query.record();
    return true;
}

bool readAllWhere(
    const QSqlTableModel* model, int id, const QString& column, QList<QSqlRecord>& rows)
{
    QSqlQuery query = ModelOps::selectWhere(model, id, column);
    if (!query.isActive())
        return false;
    while (query.next())
        rows.append(query.record());
    return true;
}

TARN::okstat insert(QSqlTableModel* model, const QSqlRecord& record, int& newId)
{
    newId = 0;
    if (!model->insertRecord(-1, record) || !model->submitAll()) {
        const QString error = model->lastError().text();
        model->revertAll();
        return error;
    }
    newId = lastInsertId(model->database());
    return {};
}

int lastInsertId(const QSqlDatabase& db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT last_insert_rowid()")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

} // namespace ModelRows
