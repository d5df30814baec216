// The water user reads and the creation that the dialogs ask for by key.
#include "db/WaterUserDAO.h"

#include "db/AttributeDAO.h"
#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/TarnNames.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

namespace {

QString joinIds(const QList<int>& ids)
{
    QStringList texts;
    texts.reserve(ids.size());
    for (int id : ids)
        texts.append(QString::number(id));
    return texts.join(QLatin1Char(','));
}

} // namespace

TARN::okstat WaterUserDAO::create(
    int aggDivId, int scenarioId, const QString& name, const QString& riffleName, int& newId)
{
    newId = 0;
    QSqlQuery maxOrd(_db);
    maxOrd.prepare(QStringLiteral("SELECT MAX(Ord) FROM WaterUser WHERE AggDivID = :aggDivID AND "
                                  "ScenarioID IS NULL"));
    maxOrd.bindValue(QStringLiteral(":aggDivID"), aggDivId);
    if (!maxOrd.exec() || !maxOrd.next())
        return QStringLiteral("Unable to determine order for new water user");
    const int ord = maxOrd.value(0).isNull() ? 1 : maxOrd.value(0).toInt() + 1;
    maxOrd.finish();

    QSqlRecord record = _waterUserModel->record();
    record.setValue(TN::AggDivID, aggDivId);
    record.setValue(TN::WaterUserName, name);
    record.setValue(TN::RiffleName, riffleName);
    record.setValue(TN::Ord, ord);
    if (scenarioId != -1)
        record.setValue(TN::ScenarioID, scenarioId);
    const TARN::okstat made = ModelRows::insert(_waterUserModel, record, newId);
    if (made.failed())
        return made;
    ModelOps::selectAll(_waterUserModel);
    return {};
}

bool WaterUserDAO::findWaterUser(int waterUserId, WaterUserRef& waterUser)
{
    QSqlQuery query(_db);
    if (!query.exec(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = %5")
                        .arg(TN::AggDivID, TN::WaterUserName, TN::WaterUserTable, TN::WaterUserID)
                        .arg(waterUserId))
        || !query.next())
        return false;
    waterUser.WaterUserID = waterUserId;
    waterUser.AggDivID = query.value(0).toInt();
    waterUser.WaterUserName = query.value(1).toString();
    return true;
}

TARN::okstat WaterUserDAO::getBaselineWaterUsers(const QList<int>& siteIds,
    const QList<QList<int>>& valueGroups, QList<WaterUserRef>& waterUsers)
{
    const QString members
        = QStringLiteral("SELECT %1 FROM %2 WHERE %3 IN (%4) INTERSECT %5")
              .arg(TN::WaterUserID, TN::WaterUserTable, TN::AggDivID, joinIds(siteIds),
                  AttributeDAO::filterQuery(false, valueGroups));
    const QString sql
        = QStringLiteral("SELECT wu.%1, wu.%2, wu.%3, ad.%4 FROM %5 wu LEFT JOIN %6 ad "
                         "ON wu.%3 = ad.%7 WHERE wu.%1 IN (%8) AND wu.%9 IS NULL "
                         "ORDER BY wu.%2, wu.%1")
              .arg(TN::WaterUserID, TN::WaterUserName, TN::AggDivID, TN::SiteName,
                  TN::WaterUserTable, TN::AggDivTable, TN::AggDivID, members, TN::ScenarioID);
    QSqlQuery query(_db);
    if (!query.exec(sql))
        return query.lastError().text();
    while (query.next()) {
        WaterUserRef waterUser;
        waterUser.WaterUserID = query.value(0).toInt();
        waterUser.WaterUserName = query.value(1).toString();
        waterUser.AggDivID = query.value(2).toInt();
        waterUser.SiteName = query.value(3).toString();
        waterUsers.append(waterUser);
    }
    return {};
}

TARN::okstat WaterUserDAO::getBaseYearlyValues(
    const QList<int>& waterUserIds, QList<BaseYearlyValue>& values)
{
    QSqlQuery query(_db);
    const QString sql
        = QStringLiteral("SELECT %1, %2, %3, %4 FROM %5 WHERE %4 IN (%6)")
              .arg(TN::Year, TN::DepletionValue, TN::EfficiencyRatioValue, TN::WaterUserID,
                  TN::BaseYearlyWaterUserTable, joinIds(waterUserIds));
    if (!query.exec(sql))
        return query.lastError().text();
    while (query.next()) {
        BaseYearlyValue value;
        value.Year = query.value(0).toInt();
        value.DepletionValue = TARN::toDouble(query.value(1));
        value.EfficiencyRatioValue = TARN::toDouble(query.value(2));
        value.WaterUserID = query.value(3).toInt();
        values.append(value);
    }
    return {};
}
