#include "db/ModelOps.h"

#include "db/TarnDbMgr.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlTableModel>

#include <cmath>
#include <limits>

namespace ModelOps {

bool selectAll(QSqlTableModel* model)
{
    if (!model->select())
        return false;
    while (model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
    return true;
}

bool resetAndSelect(QSqlTableModel* model)
{
    model->setFilter(QString());
    return selectAll(model);
}

bool filterById(QSqlTableModel* model, int id, const QString& column)
{
    model->setFilter(QString());
    selectAll(model);
    model->setFilter(QStringLiteral("%1.%2 = %3").arg(model->tableName(), column).arg(id));
    return selectAll(model);
}

void fetchAll(const QAbstractItemModel* model)
{
    // Fetching changes what the model holds, not what it shows of its table.
    auto* fetching = const_cast<QAbstractItemModel*>(model);
    while (fetching->canFetchMore(QModelIndex()))
        fetching->fetchMore(QModelIndex());
}

QModelIndex findRowById(const QAbstractItemModel* model, int id)
{
    fetchAll(model);
    const int rows = model->rowCount();
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model->index(row, 0);
        bool ok = false;
        const int key = index.data().toInt(&ok);
        if (ok && key == id)
            return index;
    }
    return {};
}

void idList(const QAbstractItemModel* model, QList<int>& ids)
{
    ids.clear();
    fetchAll(model);
    const int rows = model->rowCount();
    ids.reserve(rows);
    for (int row = 0; row < rows; ++row)
        ids.append(model->index(row, 0).data().toInt());
}

QSqlQuery selectWhere(const QSqlTableModel* model, int id, const QString& column)
{
    QSqlQuery query(model->database());
    query.exec(QStringLiteral("select * from %1 where %1.%2 = %3")
                   .arg(model->tableName(), column)
                   .arg(id));
    return query;
}

TARN::okstat deleteWhere(QSqlTableModel* model, const QString& column, int id)
{
    QSqlDatabase db = model->database();
    QSqlQuery query(db);
    const QString key = QString::number(id);
    if (!query.exec(QStringLiteral("delete from %1 where %1.%2 = '%3'")
                        .arg(model->tableName(), column, key))) {
        // The statement's own error: the connection's may be left over from an earlier begin
        // or commit.
        return QStringLiteral("Error deleting rows from %1 where %2='%3': %4")
            .arg(model->tableName(), column, key, query.lastError().text());
    }
    return {};
}

TARN::okstat removeRowSaved(QSqlTableModel* model, int row)
{
    TarnDbMgr* manager = TarnDbMgr::instance();
    TARN::okstat status = manager->beginTransaction();
    if (status.isOk() && (!model->removeRow(row) || !model->submitAll()))
        status = model->lastError().text();
    if (status.isOk())
        status = manager->commit();
    if (status.failed()) {
        manager->rollback();
        // A pending removal must not be carried out by some later submit.
        model->revertAll();
    }
    return status;
}

} // namespace ModelOps

namespace TARN {

double toDouble(const QVariant& value)
{
    if (value.isNull())
        return std::numeric_limits<double>::quiet_NaN();
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? number : std::numeric_limits<double>::quiet_NaN();
}

double storedNumber(const QVariant& value)
{
    if (value.isNull())
        return std::numeric_limits<double>::quiet_NaN();
    switch (value.userType()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
        return value.toDouble();
    default:
        return std::numeric_limits<double>::quiet_NaN();
    }
}

bool parseFinite(const QString& text, double& value)
{
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

bool parsePasted(const QString& text, double& value)
{
    if (parseFinite(text, value))
        return true;
    const QString trimmed = text.trimmed();
    for (const QLocale& locale : { QLocale(), QLocale::c() }) {
        bool ok = false;
        value = locale.toDouble(trimmed, &ok);
        if (ok && std::isfinite(value))
            return true;
    }
    return false;
}

QVariant fromDouble(double value)
{
    return std::isnan(value) ? QVariant(QVariant::Double) : QVariant(value);
}

QString recalculateHint()
{
    return QStringLiteral("tarnhelm-cli recalc, or Recalculate All Data in the baseline editor");
}

QString monthKey(int year, int month)
{
    return QStringLiteral("%1-%2-01").arg(year).arg(month, 2, 10, QLatin1Char('0'));
}

} // namespace TARN
