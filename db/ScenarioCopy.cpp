// Copying a scenario with everything it holds.
#include "db/ScenarioDAO.h"

#include "db/ColumnNames.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"

#include <QDate>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

namespace {

// Copies rows of one table, column by column as the file has them, whatever their names.
class RowCopier {
public:
    RowCopier(const QSqlDatabase& db, const ColumnNames& columns)
        : _db(db)
        , _columns(columns)
    {
    }

    // Copies the rows of table whose column ownerPos holds oldOwner, giving them newOwner there
    // and new keys; a column listed in remap has its value translated where the map knows it.
    // keys (when given) receives each old key's new one.
    TARN::okstat copy(const QString& table, int ownerPos, int oldOwner, int newOwner,
        const QHash<int, QHash<int, int>>& remap = {}, QHash<int, int>* keys = nullptr,
        const QHash<int, QVariant>& set = {})
    {
        const QStringList names = _columns.names(table);
        if (names.size() <= ownerPos)
            return QStringLiteral("The table %1 is missing or incomplete").arg(table);
        QStringList quoted;
        QStringList marks;
        for (int pos = 1; pos < names.size(); ++pos) {
            quoted << ColumnNames::quoted(names.at(pos));
            marks << QStringLiteral("?");
        }
        QSqlQuery rows(_db);
        rows.setForwardOnly(true);
        rows.prepare(QStringLiteral("SELECT * FROM %1 WHERE %2 = ? ORDER BY %3")
                         .arg(table, _columns.at(table, ownerPos), _columns.at(table, 0)));
        rows.addBindValue(oldOwner);
        if (!rows.exec())
            return rows.lastError().text();
        QSqlQuery insert(_db);
        if (!insert.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(table, quoted.join(QStringLiteral(", ")),
                                    marks.join(QStringLiteral(", ")))))
            return insert.lastError().text();
        while (rows.next()) {
            const QSqlRecord row = rows.record();
            for (int pos = 1; pos < names.size(); ++pos) {
                QVariant value = row.value(pos);
                if (pos == ownerPos)
                    value = newOwner;
                else if (set.contains(pos))
                    value = set.value(pos);
                else if (remap.contains(pos) && !value.isNull())
                    value = remap.value(pos).value(value.toInt(), value.toInt());
                insert.addBindValue(value);
            }
            if (!insert.exec())
                return insert.lastError().text();
            if (keys)
                keys->insert(row.value(0).toInt(), insert.lastInsertId().toInt());
        }
        return {};
    }

private:
    QSqlDatabase _db;
    const ColumnNames& _columns;
};

} // namespace

TARN::okstat ScenarioDAO::copyScenario(int scenarioId, const QString& name, int& newScenarioId)
{
    const ColumnNames& columns = TarnDbMgr::instance()->columns();
    RowCopier copier(_db, columns);
    const QString today = QDate::currentDate().toString(Qt::ISODate);

    // The scenario row: a copier keyed on its own ID, with the new name and dates.
    QHash<int, int> scenarios;
    const int namePos = columns.names(TN::ScenarioTable).indexOf(TN::ScenarioName);
    TARN::okstat status = copier.copy(TN::ScenarioTable, 0, scenarioId, 0, {}, &scenarios,
        { { namePos, name }, { TP::ScenarioCreatedDate, today },
            { TP::ScenarioModifiedDate, today } });
    if (status.failed())
        return status;
    if (!scenarios.contains(scenarioId))
        return QStringLiteral("There is no scenario %1").arg(scenarioId);
    newScenarioId = scenarios.value(scenarioId);

    // Its own water users, each with its yearly data, coefficients and attributes.
    const auto posOf = [&columns](const QString& table, const QString& column) {
        return columns.names(table).indexOf(column);
    };
    QHash<int, int> waterUsers;
    status = copier.copy(TN::WaterUserTable, posOf(TN::WaterUserTable, TN::ScenarioID), scenarioId,
        newScenarioId, {}, &waterUsers);
    if (status.failed())
        return status;
    for (auto it = waterUsers.constBegin(); it != waterUsers.constEnd() && status.isOk(); ++it) {
        for (const QString& table :
            { TN::WaterUserDataTable, TN::WaterUserDistTable, TN::WaterUserAttrTable }) {
            status = copier.copy(table, posOf(table, TN::WaterUserID), it.key(), it.value());
            if (status.failed())
                break;
        }
    }
    if (status.failed())
        return status;

    // Its demand changes with their values, members and filters.
    QHash<int, int> changes;
    status = copier.copy(TN::DemandChgTable, posOf(TN::DemandChgTable, TN::ScenarioID), scenarioId,
        newScenarioId, {}, &changes);
    if (status.failed())
        return status;
    const int memberPos = posOf(TN::DemandChgWaterUserTable, TN::WaterUserID);
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        for (const QString& table : { TN::DepletionChgTable, TN::EfficiencyChgTable,
                 TN::DemandChgWaterUserTable, TN::DemandSelectionTable }) {
            const QHash<int, QHash<int, int>> remap = table == TN::DemandChgWaterUserTable
                ? QHash<int, QHash<int, int>> { { memberPos, waterUsers } }
                : QHash<int, QHash<int, int>>();
            status = copier.copy(table, posOf(table, TN::DemandChgID), it.key(), it.value(), remap);
            if (status.failed())
                return status;
        }
    }
    return {};
}
