#include "db/InputsDAO.h"

#include "db/DaoRows.h"
#include "db/ModelOps.h"

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

} // namespace InputsDAO
