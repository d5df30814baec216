// Which demand changes, plot curves and scenarios a deletion of water users would touch, and
// finding water users by name across the sites.
#include "db/WaterUserDAO.h"

#include "db/DaoRows.h"
#include "db/TarnNames.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

TARN::okstat WaterUserDAO::getWaterUserUses(int waterUserId, QList<WaterUserUse>& uses)
{
    return readUses(QStringLiteral("wu.WaterUserID = :id"), waterUserId, false, uses);
}

TARN::okstat WaterUserDAO::getSiteUses(int aggDivId, QList<WaterUserUse>& uses)
{
    return readUses(QStringLiteral("wu.AggDivID = :id"), aggDivId, true, uses);
}

TARN::okstat WaterUserDAO::readUses(
    const QString& where, int id, bool scenarioWaterUsers, QList<WaterUserUse>& uses)
{
    uses.clear();
    // The change's name is read by position (the column is the file's own): the change's
    // columns start at 1, its name is its third.
    QSqlQuery changes(_db);
    changes.prepare(QStringLiteral("SELECT wu.WaterUserName, dc.*, s.ScenarioName FROM "
                                   "DemandChgWaterUser dcwu JOIN WaterUser wu ON wu.WaterUserID = "
                                   "dcwu.WaterUserID JOIN DemandChg dc ON dc.DemandChgID = "
                                   "dcwu.DemandChgID LEFT JOIN Scenario s ON s.ScenarioID = "
                                   "dc.ScenarioID WHERE %1 ORDER BY dc.DemandChgID")
                        .arg(where));
    changes.bindValue(QStringLiteral(":id"), id);
    if (!changes.exec())
        return changes.lastError().text();
    while (changes.next()) {
        const QSqlRecord row = changes.record();
        WaterUserUse use;
        use.kind = WaterUserUse::DemandChange;
        use.waterUserName = row.value(0).toString();
        use.ownerName = row.value(3).toString();
        use.containerName = row.value(row.count() - 1).toString();
        uses.append(use);
    }
    changes.finish();

    QSqlQuery curves(_db);
    curves.prepare(QStringLiteral("SELECT wu.WaterUserName, pc.Name, p.Name FROM "
                                  "PlotCurveWaterUser pcwu JOIN WaterUser wu ON wu.WaterUserID = "
                                  "pcwu.WaterUserID JOIN PlotCurve pc ON pc.PlotCurveID = "
                                  "pcwu.PlotCurveID LEFT JOIN Plot p ON p.PlotID = pc.PlotID WHERE "
                                  "%1 ORDER BY pc.PlotCurveID")
                       .arg(where));
    curves.bindValue(QStringLiteral(":id"), id);
    if (!curves.exec())
        return curves.lastError().text();
    while (curves.next())
        uses.append({ WaterUserUse::PlotCurve, curves.value(0).toString(),
            curves.value(1).toString(), curves.value(2).toString() });
    curves.finish();

    if (scenarioWaterUsers) {
        QSqlQuery own(_db);
        own.prepare(QStringLiteral("SELECT wu.WaterUserName, s.ScenarioName FROM WaterUser wu JOIN "
                                   "Scenario s ON s.ScenarioID = wu.ScenarioID WHERE %1")
                        .arg(where));
        own.bindValue(QStringLiteral(":id"), id);
        if (!own.exec())
            return own.lastError().text();
        while (own.next())
            uses.append({ WaterUserUse::ScenarioWaterUser, own.value(0).toString(), QString(),
                own.value(1).toString() });
    }
    std::stable_sort(uses.begin(), uses.end(), [](const WaterUserUse& a, const WaterUserUse& b) {
        return a.waterUserName.localeAwareCompare(b.waterUserName) < 0;
    });
    return {};
}

TARN::okstat WaterUserDAO::findWaterUsers(const QString& text, WaterUserList& found)
{
    // instr, not LIKE: a name may hold % and _.
    QSqlQuery query(_db);
    query.prepare(QStringLiteral(
        "SELECT * FROM WaterUser wu LEFT JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID WHERE "
        "wu.ScenarioID IS NULL AND (instr(lower(wu.WaterUserName), lower(:text)) > 0 OR "
        "instr(lower(wu.RiffleName), lower(:text)) > 0) ORDER BY ad.Ord, ad.AggDivID, wu.Ord, "
        "wu.WaterUserID"));
    query.bindValue(QStringLiteral(":text"), text);
    return DaoRows::loadWaterUsers(query, found);
}

QList<QPair<int, QVariant>> WaterUserDAO::findByKeyOrName(const QString& text)
{
    QList<QPair<int, QVariant>> found;
    const QList<DaoRows::KeyedRow> rows = DaoRows::lookUp(_db, TN::WaterUserTable, TN::WaterUserID,
        { TN::RiffleName, TN::WaterUserName }, TN::ScenarioID, text);
    for (const DaoRows::KeyedRow& row : rows)
        found.append({ row.id, row.extra });
    return found;
}

TARN::okstat WaterUserDAO::readRiffleMembers(
    const QSqlDatabase& db, int scenarioId, QList<RiffleMember>& waterUsers)
{
    QSqlQuery users(db);
    users.setForwardOnly(true);
    QString sql = QStringLiteral("SELECT WaterUserID, AggDivID, RiffleName FROM WaterUser "
                                 "WHERE ScenarioID IS NULL");
    if (scenarioId != 0)
        sql += QStringLiteral(" OR ScenarioID = %1").arg(scenarioId);
    if (!users.exec(sql + QStringLiteral(" ORDER BY rowid")))
        return users.lastError().text();
    while (users.next())
        waterUsers.append(
            { users.value(0).toInt(), users.value(1).toInt(), users.value(2).toString() });
    return {};
}
