#include "db/InputsDAO.h"

#include "db/DaoRows.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace InputsDAO {

TARN::okstat readSites(const QSqlDatabase& db, AggDivList& sites)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM AggDiv ORDER BY Ord, AggDivID")))
        return query.lastError().text();
    sites.clear();
    while (query.next())
        sites.append(DaoRows::readAggDiv(query.record(), 0));
    return {};
}

TARN::okstat readBaselineWaterUsers(const QSqlDatabase& db, WaterUserList& waterUsers)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral(
            "SELECT wu.*, ad.* FROM WaterUser wu JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID "
            "WHERE wu.ScenarioID IS NULL ORDER BY ad.Ord, ad.AggDivID, wu.Ord, wu.WaterUserID")))
        return query.lastError().text();
    waterUsers.clear();
    while (query.next())
        waterUsers.append(DaoRows::readWaterUser(query.record()));
    return {};
}

TARN::okstat readDistributions(const QSqlDatabase& db, QHash<int, QVector<double>>& coefficients)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM WaterUserDist")))
        return query.lastError().text();
    coefficients.clear();
    while (query.next()) {
        QVector<double> months(12);
        for (int m = 0; m < 12; ++m) {
            const QVariant value = query.value(2 + m);
            months[m] = value.isNull() ? TARN::nan() : value.toDouble();
        }
        coefficients.insert(query.value(1).toInt(), months);
    }
    return {};
}

TARN::okstat readYearlyData(const QSqlDatabase& db, WaterUserDataList& data)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT * FROM WaterUserData ORDER BY WaterUserID, Year")))
        return query.lastError().text();
    data.clear();
    const auto number = [&query](int column) {
        bool ok = false;
        const double value = query.value(column).toDouble(&ok);
        return query.value(column).isNull() || !ok ? TARN::nan() : value;
    };
    while (query.next()) {
        WaterUserData row;
        row.id = query.value(0).toInt();
        row.WaterUserID = query.value(1).toInt();
        row.Year = query.value(2).toInt();
        row.DiversionReq = number(3);
        row.DepletionReq = number(4);
        row.EfficiencyRatio = number(5);
        row.SalinityPickup = number(6);
        data.append(row);
    }
    return {};
}

TARN::okstat writeDistribution(
    const QSqlDatabase& db, int waterUserId, const QVector<double>& coefficients)
{
    QSqlQuery remove(db);
    remove.prepare(QStringLiteral("DELETE FROM WaterUserDist WHERE WaterUserID = ?"));
    remove.addBindValue(waterUserId);
    if (!remove.exec())
        return remove.lastError().text();
    // No column list: the twelve month columns may carry any name.
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO WaterUserDist VALUES (NULL, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    insert.addBindValue(waterUserId);
    for (int m = 0; m < 12; ++m)
        insert.addBindValue(TARN::fromDouble(m < coefficients.size() ? coefficients.at(m) : 0.0));
    if (!insert.exec())
        return insert.lastError().text();
    return {};
}

namespace {

// Runs a select and hands each row to the reader; the database's text on failure.
template<typename Reader>
TARN::okstat eachRow(const QSqlDatabase& db, const QString& sql, Reader read)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        return query.lastError().text();
    while (query.next())
        read(query);
    return {};
}

QString columnAt(const QString& table, int pos)
{
    return TarnDbMgr::instance()->columns().at(table, pos);
}

} // namespace

TARN::okstat readScenarios(const QSqlDatabase& db, QList<ScenarioRow>& scenarios)
{
    scenarios.clear();
    return eachRow(db, QStringLiteral("SELECT * FROM Scenario ORDER BY ScenarioID"),
        [&scenarios](const QSqlQuery& q) {
            scenarios.append({ q.value(0).toInt(), q.value(2).toString(), q.value(3).toString(),
                q.value(4).toString(), q.value(5).toString(), q.value(6).toString(),
                q.value(7).toString() });
        });
}

TARN::okstat readDemandChanges(const QSqlDatabase& db, QList<DemandChgRow>& changes)
{
    changes.clear();
    return eachRow(db, QStringLiteral("SELECT * FROM DemandChg ORDER BY ScenarioID, DemandChgID"),
        [&changes](const QSqlQuery& q) {
            changes.append({ q.value(0).toInt(), q.value(1).toInt(), q.value(2).toString(),
                q.value(3).toString(), q.value(4).toString(), q.value(5).toInt(),
                q.value(6).toInt(), q.value(7).toInt() != 0 });
        });
}

TARN::okstat readChangeValues(const QSqlDatabase& db, QList<ChangeValueRow>& values)
{
    values.clear();
    for (const bool efficiency : { false, true }) {
        const QString table
            = efficiency ? QStringLiteral("EfficiencyChg") : QStringLiteral("DepletionChg");
        const TARN::okstat status
            = eachRow(db, QStringLiteral("SELECT * FROM %1 ORDER BY DemandChgID, Year").arg(table),
                [&values, efficiency](const QSqlQuery& q) {
                    values.append({ q.value(1).toInt(), efficiency, q.value(2).toInt(),
                        q.value(3).toInt(), q.value(4).toDouble() });
                });
        if (status.failed())
            return status;
    }
    return {};
}

TARN::okstat readChangeMembers(const QSqlDatabase& db, QList<QPair<int, int>>& members)
{
    members.clear();
    return eachRow(
        db, QStringLiteral("SELECT * FROM DemandChgWaterUser"), [&members](const QSqlQuery& q) {
            members.append({ q.value(1).toInt(), q.value(2).toInt() });
        });
}

TARN::okstat readChangeFilters(const QSqlDatabase& db, QList<QVector<int>>& filters)
{
    filters.clear();
    return eachRow(
        db, QStringLiteral("SELECT * FROM DemandSelection"), [&filters](const QSqlQuery& q) {
            filters.append({ q.value(1).toInt(), q.value(2).toInt(), q.value(3).toInt() });
        });
}

TARN::okstat readLookup(const QSqlDatabase& db, const QString& table, QHash<int, QString>& names)
{
    names.clear();
    return eachRow(db, QStringLiteral("SELECT * FROM %1").arg(table),
        [&names](const QSqlQuery& q) { names.insert(q.value(0).toInt(), q.value(1).toString()); });
}

TARN::okstat readScenarioWaterUsers(const QSqlDatabase& db, WaterUserList& waterUsers)
{
    waterUsers.clear();
    return eachRow(db,
        QStringLiteral("SELECT wu.*, ad.* FROM WaterUser wu JOIN AggDiv ad ON ad.AggDivID = "
                       "wu.AggDivID WHERE wu.ScenarioID IS NOT NULL ORDER BY wu.ScenarioID, "
                       "ad.Ord, ad.AggDivID, wu.Ord, wu.WaterUserID"),
        [&waterUsers](
            const QSqlQuery& q) { waterUsers.append(DaoRows::readWaterUser(q.record())); });
}

TARN::okstat saveScenario(const QSqlDatabase& db, ScenarioRow& scenario)
{
    QSqlQuery query(db);
    const QString table = QStringLiteral("Scenario");
    if (scenario.ScenarioID == 0) {
        query.prepare(QStringLiteral("INSERT INTO Scenario VALUES (NULL, 1, ?, ?, ?, ?, ?, ?)"));
    } else {
        query.prepare(QStringLiteral("UPDATE Scenario SET ScenarioName = ?, ScenarioShortName = ?, "
                                     "ScenarioDescription = ?, %1 = ?, %2 = ?, %3 = ? "
                                     "WHERE ScenarioID = ?")
                          .arg(columnAt(table, 5), columnAt(table, 6), columnAt(table, 7)));
    }
    for (const QString& value : { scenario.name, scenario.shortName, scenario.description,
             scenario.userName, scenario.createdDate, scenario.modifiedDate })
        query.addBindValue(value);
    if (scenario.ScenarioID != 0)
        query.addBindValue(scenario.ScenarioID);
    if (!query.exec())
        return query.lastError().text();
    if (scenario.ScenarioID == 0)
        scenario.ScenarioID = query.lastInsertId().toInt();
    return {};
}

TARN::okstat saveDemandChange(const QSqlDatabase& db, DemandChgRow& change)
{
    QSqlQuery query(db);
    const QString table = QStringLiteral("DemandChg");
    if (change.DemandChgID == 0) {
        query.prepare(QStringLiteral("INSERT INTO DemandChg VALUES (NULL, ?, ?, ?, ?, ?, ?, ?)"));
    } else {
        query.prepare(
            QStringLiteral("UPDATE DemandChg SET ScenarioID = ?, %1 = ?, %2 = ?, "
                           "CreatedDate = ?, %3 = ?, %4 = ?, %5 = ? WHERE DemandChgID = ?")
                .arg(columnAt(table, 2), columnAt(table, 3), columnAt(table, 5), columnAt(table, 6),
                    columnAt(table, 7)));
    }
    query.addBindValue(change.ScenarioID);
    query.addBindValue(change.name);
    query.addBindValue(change.description);
    query.addBindValue(change.createdDate);
    query.addBindValue(change.depletionMethod);
    query.addBindValue(change.efficiencyMethod);
    query.addBindValue(change.usesFilters ? 1 : 0);
    if (change.DemandChgID != 0)
        query.addBindValue(change.DemandChgID);
    if (!query.exec())
        return query.lastError().text();
    if (change.DemandChgID == 0)
        change.DemandChgID = query.lastInsertId().toInt();
    return {};
}

TARN::okstat replaceChangeValues(
    const QSqlDatabase& db, int demandChgId, const QList<ChangeValueRow>& values)
{
    for (const QString& table :
        { QStringLiteral("DepletionChg"), QStringLiteral("EfficiencyChg") }) {
        QSqlQuery remove(db);
        remove.prepare(QStringLiteral("DELETE FROM %1 WHERE DemandChgID = ?").arg(table));
        remove.addBindValue(demandChgId);
        if (!remove.exec())
            return remove.lastError().text();
    }
    QSqlQuery depletion(db);
    QSqlQuery efficiency(db);
    depletion.prepare(QStringLiteral("INSERT INTO DepletionChg VALUES (NULL, ?, ?, ?, ?)"));
    efficiency.prepare(QStringLiteral("INSERT INTO EfficiencyChg VALUES (NULL, ?, ?, ?, ?)"));
    for (const ChangeValueRow& value : values) {
        QSqlQuery& insert = value.efficiency ? efficiency : depletion;
        insert.addBindValue(demandChgId);
        insert.addBindValue(value.year);
        insert.addBindValue(value.changeTypeId);
        insert.addBindValue(value.value);
        if (!insert.exec())
            return insert.lastError().text();
    }
    return {};
}

} // namespace InputsDAO
