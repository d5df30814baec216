#include "calc/ResultStore.h"

#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnException.h"
#include "db/TarnNames.h"
#include "db/okstat.h"

#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

bool sameValue(double stored, double computed)
{
    if (std::isnan(stored) || std::isnan(computed))
        return std::isnan(stored) && std::isnan(computed);
    return stored == computed;
}

QString saveFailure(const QString& table)
{
    // The baseline's monthly water user rows have always been reported under this name.
    const QString name
        = table == TN::BaseMonthlyWaterUserTable ? QStringLiteral("MonthlyWaterUser") : table;
    return QStringLiteral("Unable to save %1: %2").arg(name, QStringLiteral("%1"));
}

// The four result tables of a run, water-user tables first.
QStringList resultTables(bool baseline)
{
    return baseline
        ? QStringList { TN::BaseYearlyWaterUserTable, TN::BaseMonthlyWaterUserTable,
              TN::BaseYearlyAggDivTable, TN::BaseMonthlyAggDivTable }
        : QStringList { TN::ScenarioYearlyWaterUserTable, TN::ScenarioMonthlyWaterUserTable,
              TN::ScenarioYearlyAggDivTable, TN::ScenarioMonthlyAggDivTable };
}

// "WHERE ..." of the orphan rows of one result table of a run; column is the owner column.
QString orphanCondition(const QString& table, int scenarioID, QString* column)
{
    const bool waterUsers = table.endsWith(QLatin1String("WaterUser"));
    *column = waterUsers ? TN::WaterUserID : TN::AggDivID;
    QString owners;
    if (waterUsers) {
        owners = QStringLiteral("SELECT w.%1 FROM %2 w JOIN %3 a ON a.%4 = w.%4 WHERE w.%5 IS NULL")
                     .arg(TN::WaterUserID, TN::WaterUserTable, TN::AggDivTable, TN::AggDivID,
                         TN::ScenarioID);
        if (scenarioID != 0)
            owners += QStringLiteral(" OR w.%1 = %2").arg(TN::ScenarioID).arg(scenarioID);
    } else {
        owners = QStringLiteral("SELECT %1 FROM %2").arg(TN::AggDivID, TN::AggDivTable);
    }
    const QString run = scenarioID == 0
        ? QString()
        : QStringLiteral("%1 = %2 AND ").arg(TN::ScenarioID).arg(scenarioID);
    return QStringLiteral("WHERE %1%2 NOT IN (%3)").arg(run, *column, owners);
}

// "WHERE ..." of the rows of scenarios that no longer exist.
QString vanishedScenarios()
{
    return QStringLiteral("WHERE %1 NOT IN (SELECT %1 FROM %2)")
        .arg(TN::ScenarioID, TN::ScenarioTable);
}

} // namespace

ResultStore::Orphans ResultStore::findOrphans(const QSqlDatabase& db, int scenarioID)
{
    Orphans orphans;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    auto collect = [&](const QString& table, const QString& column, const QString& where,
                       QList<int>& ids) {
        if (!query.exec(QStringLiteral("SELECT %1, COUNT(*) FROM %2 %3 GROUP BY %1")
                            .arg(column, table, where))) {
            throw TarnException(
                QStringLiteral("Unable to query %1: %2").arg(table, query.lastError().text()));
        }
        while (query.next()) {
            const int id = query.value(0).toInt();
            if (!ids.contains(id))
                ids.append(id);
            orphans.rows += query.value(1).toLongLong();
        }
        query.finish();
    };
    for (const QString& table : resultTables(scenarioID == 0)) {
        QString column;
        const QString where = orphanCondition(table, scenarioID, &column);
        collect(
            table, column, where, column == TN::WaterUserID ? orphans.waterUsers : orphans.sites);
    }
    if (scenarioID == 0) {
        for (const QString& table : resultTables(false))
            collect(table, TN::ScenarioID, vanishedScenarios(), orphans.scenarios);
    }
    std::sort(orphans.waterUsers.begin(), orphans.waterUsers.end());
    std::sort(orphans.sites.begin(), orphans.sites.end());
    std::sort(orphans.scenarios.begin(), orphans.scenarios.end());
    return orphans;
}

qint64 ResultStore::removeOrphans()
{
    if (_mode != Write)
        return 0;
    QSqlQuery query(_db);
    qint64 removed = 0;
    auto remove = [&](const QString& table, const QString& where) {
        if (!query.exec(QStringLiteral("DELETE FROM %1 %2").arg(table, where))) {
            throw TarnException(QStringLiteral("Unable to delete from %1: %2")
                                    .arg(table, query.lastError().text()));
        }
        removed += query.numRowsAffected();
        query.finish();
    };
    for (const QString& table : resultTables(_scenarioID == 0)) {
        QString column;
        remove(table, orphanCondition(table, _scenarioID, &column));
    }
    if (_scenarioID == 0) {
        for (const QString& table : resultTables(false))
            remove(table, vanishedScenarios());
    }
    _writtenRows += removed;
    return removed;
}

void ResultStore::prepare(
    const QSqlDatabase& db, int scenarioID, int firstYear, int lastYear, Mode mode)
{
    _db = db;
    _mode = mode;
    _scenarioID = scenarioID;
    _firstYear = firstYear;
    _yearCount = std::max(0, lastYear - firstYear + 1);
    _writtenRows = 0;
    _monthKeys.clear();
    _monthKeys.reserve(_yearCount * 12);
    for (int year = firstYear; year <= lastYear; ++year) {
        for (int month = 1; month <= 12; ++month)
            _monthKeys.append(TARN::monthKey(year, month).toUtf8());
    }

    const bool baseline = scenarioID == 0;
    _yearlyAggDiv.name = baseline ? TN::BaseYearlyAggDivTable : TN::ScenarioYearlyAggDivTable;
    _monthlyAggDiv.name = baseline ? TN::BaseMonthlyAggDivTable : TN::ScenarioMonthlyAggDivTable;
    _yearlyWaterUser.name
        = baseline ? TN::BaseYearlyWaterUserTable : TN::ScenarioYearlyWaterUserTable;
    _monthlyWaterUser.name
        = baseline ? TN::BaseMonthlyWaterUserTable : TN::ScenarioMonthlyWaterUserTable;
    prepareTable(_yearlyAggDiv, db, TN::AggDivID, { TN::AggDivSalinityValue }, false);
    prepareTable(_monthlyAggDiv, db, TN::AggDivID, { TN::AggDivSalinityValue }, true);
    prepareTable(_yearlyWaterUser, db, TN::WaterUserID,
        { TN::DiversionValue, TN::DepletionValue, TN::EfficiencyRatioValue,
            TN::SalinityPickupValue },
        false);
    prepareTable(
        _monthlyWaterUser, db, TN::WaterUserID, { TN::DiversionValue, TN::DepletionValue }, true);
}

void ResultStore::prepareTable(Table& table, const QSqlDatabase& db, const QString& ownerColumn,
    const QStringList& valueColumns, bool monthly)
{
    table.monthly = monthly;
    table.valueCount = valueColumns.size();
    const bool baseline = _scenarioID == 0;
    const QString key = TarnDbMgr::instance()->columns().at(table.name, TP::Key);
    const QString time = monthly ? TN::Month : TN::Year;
    // Owner columns in the order of the statements' placeholders: [ScenarioID,] owner.
    const QString where = baseline
        ? QStringLiteral("%1 = ?").arg(ownerColumn)
        : QStringLiteral("%1 = ? AND %2 = ?").arg(TN::ScenarioID, ownerColumn);
    const QString values = valueColumns.join(QStringLiteral(", "));

    table.count.prepare(
        db, QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(table.name, where));
    table.select.prepare(db,
        QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 WHERE %6")
            .arg(key, TN::BaselineID, time, values, table.name, where));

    QStringList columns { TN::BaselineID };
    if (!baseline)
        columns.append(TN::ScenarioID);
    columns.append(ownerColumn);
    columns.append(time);
    columns += valueColumns;
    QStringList marks;
    for (int i = 0; i < columns.size(); ++i)
        marks.append(QStringLiteral("?"));
    table.insert.prepare(db,
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(table.name, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));

    QStringList assignments { QStringLiteral("%1 = ?").arg(TN::BaselineID) };
    for (const QString& column : valueColumns)
        assignments.append(QStringLiteral("%1 = ?").arg(column));
    table.update.prepare(db,
        QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
            .arg(table.name, assignments.join(QStringLiteral(", ")), key));
    table.remove.prepare(db, QStringLiteral("DELETE FROM %1 WHERE %2 = ?").arg(table.name, key));
}

void ResultStore::bindOwner(SqliteStatement& statement, int ownerID, int first) const
{
    if (_scenarioID != 0) {
        statement.bindInt(first, _scenarioID);
        statement.bindInt(first + 1, ownerID);
    } else {
        statement.bindInt(first, ownerID);
    }
}

bool ResultStore::hasRows(Table& table, int ownerID)
{
    if (_mode == Discard)
        return false;
    bindOwner(table.count, ownerID, 0);
    // Both checks of a kind of owner have always been reported under the yearly table's name.
    const QString failure
        = QStringLiteral("Unable to query %1: %2")
              .arg(table.name.contains(QLatin1String("AggDiv")) ? TN::BaseYearlyAggDivTable
                                                                : TN::BaseYearlyWaterUserTable,
                  QStringLiteral("%1"));
    const bool row = table.count.step(failure);
    const qint64 count = row ? table.count.columnInt(0) : 0;
    table.count.reset();
    return count > 0;
}

bool ResultStore::aggDivHasResults(int aggDivID)
{
    return hasRows(_yearlyAggDiv, aggDivID) || hasRows(_monthlyAggDiv, aggDivID);
}

bool ResultStore::waterUserHasResults(int waterUserID)
{
    return hasRows(_yearlyWaterUser, waterUserID) || hasRows(_monthlyWaterUser, waterUserID);
}

// The row of the computed results that a stored row's time column (year or month key) belongs
// to, or -1 when none does. year is set to the stored row's year when it has one.
int ResultStore::rowOfTime(const Table& table, int column, int& year) const
{
    year = 0;
    if (!table.monthly) {
        if (table.select.columnType(column) != SQLITE_INTEGER)
            return -1;
        year = int(table.select.columnInt(column));
        const int y = year - _firstYear;
        return y >= 0 && y < _yearCount ? y : -1;
    }
    if (table.select.columnType(column) != SQLITE_TEXT)
        return -1;
    // Read in place: this runs for every stored monthly row.
    int size = 0;
    const char* text = table.select.columnTextData(column, size);
    if (!text || size != 10)
        return -1;
    auto digits = [text](int from, int count, int& value) {
        value = 0;
        for (int i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    int month = 0;
    if (!digits(0, 4, year) || !digits(5, 2, month))
        return -1;
    const int y = year - _firstYear;
    if (y < 0 || y >= _yearCount || month < 1 || month > 12)
        return -1;
    const int row = y * 12 + month - 1;
    const QByteArray& key = _monthKeys.at(row);
    return std::memcmp(key.constData(), text, 10) == 0 ? row : -1;
}

template<typename Value>
int ResultStore::syncTable(
    Table& table, int ownerID, int rowCount, Value value, Difference& difference)
{
    _matchedKey.assign(rowCount, 0);
    _matched.assign(rowCount, 0);
    _updates.clear();
    _deletes.clear();
    if (_mode == Discard)
        return 0;
    int firstDifferingRow = rowCount;
    int firstExtraYear = 0;
    auto noteYear = [&firstExtraYear](int year) {
        if (year && (!firstExtraYear || year < firstExtraYear))
            firstExtraYear = year;
    };

    bindOwner(table.select, ownerID, 0);
    const QString queryFailure
        = QStringLiteral("Unable to query %1: %2").arg(table.name, QStringLiteral("%1"));
    while (table.select.step(queryFailure)) {
        ++difference.storedRows;
        const qint64 key = table.select.columnInt(0);
        int year = 0;
        const int row = rowOfTime(table, 2, year);
        if (row < 0 || _matched[row]) {
            _deletes.push_back(key);
            noteYear(year);
            continue;
        }
        _matched[row] = 1;
        _matchedKey[row] = key;
        bool same = table.select.columnType(1) == SQLITE_INTEGER
            && table.select.columnInt(1) == BaselineID;
        for (int v = 0; same && v < table.valueCount; ++v) {
            const int type = table.select.columnType(3 + v);
            same = (type == SQLITE_NULL || type == SQLITE_INTEGER || type == SQLITE_FLOAT)
                && sameValue(table.select.columnDouble(3 + v), value(row, v));
        }
        if (!same) {
            _updates.push_back({ key, row });
            firstDifferingRow = std::min(firstDifferingRow, row);
        }
    }
    table.select.reset();

    int missing = 0;
    for (int row = 0; row < rowCount; ++row) {
        if (!_matched[row]) {
            ++missing;
            firstDifferingRow = std::min(firstDifferingRow, row);
        }
    }
    const int differing = int(_updates.size() + _deletes.size()) + missing;
    if (firstDifferingRow < rowCount) {
        const int year = _firstYear + (table.monthly ? firstDifferingRow / 12 : firstDifferingRow);
        noteYear(year);
    }
    if (firstExtraYear && (!difference.firstYear || firstExtraYear < difference.firstYear))
        difference.firstYear = firstExtraYear;
    if (_mode == Compare || differing == 0)
        return differing;

    const QString saved = saveFailure(table.name);
    const QString deleted
        = QStringLiteral("Unable to delete from %1: %2").arg(table.name, QStringLiteral("%1"));
    // Rows are addressed by the table's key: one that does not name exactly one row (a key that
    // is not the table's integer primary key) would leave stale rows behind unnoticed.
    const auto keyMissed = [&table](const QString& failure, qint64 key) {
        throw TarnException(
            failure.arg(QStringLiteral("the key %1 of the %2 column does not name exactly one row")
                            .arg(key)
                            .arg(TarnDbMgr::instance()->columns().at(table.name, TP::Key))));
    };
    for (const qint64 key : _deletes) {
        table.remove.bindInt(0, key);
        table.remove.exec(deleted);
        if (table.remove.changes() != 1)
            keyMissed(deleted, key);
    }
    for (const Pending& pending : _updates) {
        table.update.bindInt(0, BaselineID);
        for (int v = 0; v < table.valueCount; ++v)
            table.update.bindDouble(1 + v, value(pending.row, v));
        table.update.bindInt(1 + table.valueCount, pending.key);
        table.update.exec(saved);
        if (table.update.changes() != 1)
            keyMissed(saved, pending.key);
    }
    const int ownerColumns = _scenarioID == 0 ? 1 : 2;
    for (int row = 0; row < rowCount; ++row) {
        if (_matched[row])
            continue;
        SqliteStatement& insert = table.insert;
        insert.bindInt(0, BaselineID);
        bindOwner(insert, ownerID, 1);
        const int timeColumn = 1 + ownerColumns;
        if (table.monthly)
            insert.bindText(timeColumn, _monthKeys.at(row));
        else
            insert.bindInt(timeColumn, _firstYear + row);
        for (int v = 0; v < table.valueCount; ++v)
            insert.bindDouble(timeColumn + 1 + v, value(row, v));
        insert.exec(saved);
    }
    _writtenRows += differing;
    return differing;
}

ResultStore::Difference ResultStore::syncAggDiv(
    int aggDivID, const std::vector<DemandMath::SiteSalinity>& salinity)
{
    Difference difference;
    difference.yearlyDiffering = syncTable(
        _yearlyAggDiv, aggDivID, _yearCount,
        [&salinity](int row, int) { return salinity[row].yearly; }, difference);
    difference.monthlyDiffering = syncTable(
        _monthlyAggDiv, aggDivID, _yearCount * 12,
        [&salinity](int row, int) { return salinity[row / 12].monthly; }, difference);
    return difference;
}

ResultStore::Difference ResultStore::syncWaterUser(const AggDivCalcData::WaterUserEntry& entry)
{
    Difference difference;
    difference.yearlyDiffering = syncTable(
        _yearlyWaterUser, entry.id, _yearCount,
        [&entry](int row, int v) { return entry.value(v, row); }, difference);
    difference.monthlyDiffering = syncTable(
        _monthlyWaterUser, entry.id, _yearCount * 12,
        [&entry](int row, int v) {
            return AggDivCalcData::monthlyValue(entry,
                v == 0 ? AggDivCalcData::Diversion : AggDivCalcData::Depletion, row / 12,
                row % 12 + 1);
        },
        difference);
    return difference;
}
