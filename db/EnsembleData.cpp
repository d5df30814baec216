#include "db/EnsembleData.h"

#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

namespace EnsembleData {

namespace {

bool isResultTable(const QString& table)
{
    static const QStringList results { TN::BaseYearlyAggDivTable, TN::BaseMonthlyAggDivTable,
        TN::BaseYearlyWaterUserTable, TN::BaseMonthlyWaterUserTable, TN::ScenarioYearlyAggDivTable,
        TN::ScenarioMonthlyAggDivTable, TN::ScenarioYearlyWaterUserTable,
        TN::ScenarioMonthlyWaterUserTable };
    return results.contains(table, Qt::CaseInsensitive);
}

QString changeTable(bool depletion)
{
    return depletion ? TN::DepletionChgTable : TN::EfficiencyChgTable;
}

} // namespace

TARN::okstat visitInputRows(QSqlDatabase& db, const RowVisitor& visit)
{
    QStringList tables;
    {
        QSqlQuery list(db);
        list.setForwardOnly(true);
        if (!list.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                      "name NOT LIKE 'sqlite%' ORDER BY name")))
            return list.lastError().text();
        while (list.next()) {
            const QString name = list.value(0).toString();
            if (!isResultTable(name))
                tables.append(name);
        }
    }
    for (const QString& table : qAsConst(tables)) {
        QSqlQuery count(db);
        if (!count.exec(QStringLiteral("SELECT * FROM \"%1\" LIMIT 0").arg(table)))
            return count.lastError().text();
        const int columns = count.record().count();
        count.finish();
        QStringList order;
        for (int pos = 1; pos <= columns; ++pos)
            order.append(QString::number(pos));
        QSqlQuery rows(db);
        rows.setForwardOnly(true);
        if (!rows.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY %2")
                           .arg(table, order.join(QStringLiteral(", ")))))
            return rows.lastError().text();
        QVector<QVariant> row(columns);
        while (rows.next()) {
            for (int pos = 0; pos < columns; ++pos)
                row[pos] = rows.value(pos);
            visit(table, row);
        }
        if (rows.lastError().isValid())
            return rows.lastError().text();
    }
    return {};
}

TARN::okstat scenarioChanges(QSqlDatabase& db, int scenarioID, QList<Change>& changes)
{
    changes.clear();
    const ColumnNames& columns = TarnDbMgr::instance()->columns();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ? ORDER BY %1")
                      .arg(columns.at(TN::DemandChgTable, TP::Key),
                          columns.at(TN::DemandChgTable, TP::DemandChgName), TN::DemandChgTable,
                          TN::ScenarioID));
    query.addBindValue(scenarioID);
    if (!query.exec())
        return query.lastError().text();
    while (query.next())
        changes.append({ query.value(0).toInt(), query.value(1).toString(), {}, {} });
    query.finish();
    for (Change& change : changes) {
        for (const bool depletion : { true, false }) {
            QSqlQuery years(db);
            years.setForwardOnly(true);
            years.prepare(QStringLiteral("SELECT DISTINCT %1 FROM %2 WHERE %3 = ? ORDER BY %1")
                              .arg(TN::Year, changeTable(depletion), TN::DemandChgID));
            years.addBindValue(change.id);
            if (!years.exec())
                return years.lastError().text();
            QList<int>& list = depletion ? change.depletionYears : change.efficiencyYears;
            while (years.next())
                list.append(years.value(0).toInt());
        }
    }
    return {};
}

TARN::okstat setChangeValue(
    QSqlDatabase& db, int demandChgID, bool depletion, int year, double value)
{
    const QString table = changeTable(depletion);
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ? AND %4 = ?")
                       .arg(table, TarnDbMgr::instance()->columns().at(table, TP::ChangeValue),
                           TN::DemandChgID, TN::Year));
    update.addBindValue(value);
    update.addBindValue(demandChgID);
    update.addBindValue(year);
    if (!update.exec())
        return update.lastError().text();
    if (update.numRowsAffected() < 1)
        return QStringLiteral("The demand change %1 has no %2 change for %3.")
            .arg(QString::number(demandChgID),
                depletion ? QStringLiteral("depletion") : QStringLiteral("efficiency"),
                QString::number(year));
    return {};
}

TARN::okstat scaleChangeValues(QSqlDatabase& db, int demandChgID, bool depletion, double factor)
{
    const QString table = changeTable(depletion);
    const ColumnNames& columns = TarnDbMgr::instance()->columns();
    const QString key = columns.at(table, TP::Key);
    const QString valueColumn = columns.at(table, TP::ChangeValue);
    // Multiplied here rather than in SQL: the ensemble's run multiplies the same doubles.
    QList<QPair<qint64, double>> scaled;
    {
        QSqlQuery rows(db);
        rows.setForwardOnly(true);
        rows.prepare(QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %5 = ? ORDER BY %1")
                         .arg(key, TN::ChangeTypeID, valueColumn, table, TN::DemandChgID));
        rows.addBindValue(demandChgID);
        if (!rows.exec())
            return rows.lastError().text();
        while (rows.next()) {
            if (rows.value(1).toInt() == 4 || rows.value(2).isNull())
                continue; // a baseline year is no amount
            scaled.append(
                { rows.value(0).toLongLong(), TARN::storedNumber(rows.value(2)) * factor });
        }
    }
    QSqlQuery update(db);
    update.prepare(
        QStringLiteral("UPDATE %1 SET %2 = ? WHERE %3 = ?").arg(table, valueColumn, key));
    for (const auto& row : qAsConst(scaled)) {
        update.addBindValue(row.second);
        update.addBindValue(row.first);
        if (!update.exec())
            return update.lastError().text();
    }
    return {};
}

} // namespace EnsembleData
