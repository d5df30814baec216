#include "db/AggDivDAO.h"

#include "db/DaoRows.h"
#include "db/ModelOps.h"
#include "db/TarnNames.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

AggDivDAO::AggDivDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _aggDivModel(createModel(TN::AggDivTable))
    , _aggDivAttrModel(createModel(TN::AggDivAttrTable))
{
}

bool AggDivDAO::checkStructure()
{
    setHeader(_aggDivModel, 3, QStringLiteral("Name"));
    setHeader(_aggDivModel, 4, QStringLiteral("Riffle Name"));
    setHeader(_aggDivAttrModel, 1, QStringLiteral("Attribute"));
    setHeader(_aggDivAttrModel, 3, QStringLiteral("Value"));
    return selectModels({ _aggDivModel, _aggDivAttrModel });
}

TARN::okstat AggDivDAO::getAggDiv(int aggDivId, AggDiv& aggDiv)
{
    if (!ModelOps::filterById(_aggDivModel, aggDivId, TN::AggDivID))
        return _aggDivModel->lastError().text();
    aggDiv = _aggDivModel->rowCount() > 0 ? DaoRows::readAggDiv(_aggDivModel->record(0)) : AggDiv();
    if (!ModelOps::resetAndSelect(_aggDivModel))
        return _aggDivModel->lastError().text();
    return {};
}

TARN::okstat AggDivDAO::getAggDivs(AggDivList& aggDivs)
{
    if (!ModelOps::selectAll(_aggDivModel))
        return _aggDivModel->lastError().text();
    aggDivs.clear();
    const int rows = _aggDivModel->rowCount();
    for (int row = 0; row < rows; ++row)
        aggDivs.append(DaoRows::readAggDiv(_aggDivModel->record(row)));
    return {};
}

QList<int> AggDivDAO::findSites(const QString& text)
{
    QList<int> ids;
    const QList<DaoRows::KeyedRow> rows = DaoRows::lookUp(
        _db, TN::AggDivTable, TN::AggDivID, { TN::RiffleName, TN::SiteName }, QString(), text);
    for (const DaoRows::KeyedRow& row : rows)
        ids.append(row.id);
    return ids;
}

TARN::okstat AggDivDAO::readRiffleNames(const QSqlDatabase& db, QList<RiffleMember>& sites)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT AggDivID, RiffleName FROM AggDiv ORDER BY rowid")))
        return query.lastError().text();
    while (query.next())
        sites.append({ query.value(0).toInt(), query.value(0).toInt(), query.value(1).toString() });
    return {};
}

TARN::okstat AggDivDAO::readSitesWithWaterUsers(
    const QSqlDatabase& db, QList<SiteWaterUsers>& sites)
{
    QSqlQuery siteQuery(db);
    siteQuery.setForwardOnly(true);
    if (!siteQuery.exec(QStringLiteral("SELECT * FROM %1").arg(TN::AggDivTable)))
        return siteQuery.lastError().text();
    QHash<int, int> indexById;
    while (siteQuery.next()) {
        SiteWaterUsers entry;
        entry.site.AggDivID = siteQuery.value(0).toInt();
        entry.site.BaselineID = siteQuery.value(1).toInt();
        entry.site.salinityMethod = SalinityMethodInfo::fromId(siteQuery.value(2).toInt());
        entry.site.SiteName = siteQuery.value(3).toString();
        entry.site.RiffleName = siteQuery.value(4).toString();
        entry.site.Notes = siteQuery.value(5).toString();
        entry.site.Ord = siteQuery.value(6).toInt();
        indexById.insert(entry.site.AggDivID, sites.size());
        sites.append(entry);
    }
    QSqlQuery userQuery(db);
    userQuery.setForwardOnly(true);
    if (!userQuery.exec(QStringLiteral("SELECT * FROM %1 WHERE %2 IS NULL")
                            .arg(TN::WaterUserTable, TN::ScenarioID)))
        return userQuery.lastError().text();
    while (userQuery.next()) {
        const auto found = indexById.constFind(userQuery.value(1).toInt());
        if (found == indexById.constEnd())
            continue;
        SiteWaterUsers& entry = sites[*found];
        WaterUser user;
        user.WaterUserID = userQuery.value(0).toInt();
        user.aggDiv = entry.site;
        user.WaterUserName = userQuery.value(3).toString();
        user.RiffleName = userQuery.value(4).toString();
        user.Notes = userQuery.value(5).toString();
        user.Ord = userQuery.value(6).toInt();
        entry.waterUsers.append(user);
    }
    return {};
}

TARN::okstat AggDivDAO::saveAggDivs(AggDivList& aggDivs)
{
    return DaoRows::upsertEach(
        _db,
        QStringLiteral(
            "INSERT INTO AggDiv (AggDivID, BaselineID, SalinityMethodID, SiteName,  RiffleName, "
            "Notes, Ord) VALUES (:aggDivID, :baselineID, :salinityMethodID, :siteName,  "
            ":riffleName, :notes, :ord) ON CONFLICT DO UPDATE SET BaselineID = :baselineID,  "
            "SalinityMethodID = :salinityMethodID, SiteName = :siteName,  RiffleName = "
            ":riffleName, Notes = :notes, Ord = :ord"),
        aggDivs,
        [](QSqlQuery& query, const AggDiv& aggDiv) {
            query.bindValue(QStringLiteral(":aggDivID"), DaoRows::idOrNull(aggDiv.AggDivID));
            query.bindValue(QStringLiteral(":baselineID"), aggDiv.BaselineID);
            query.bindValue(QStringLiteral(":salinityMethodID"), aggDiv.salinityMethod.id);
            query.bindValue(QStringLiteral(":siteName"), aggDiv.SiteName);
            query.bindValue(QStringLiteral(":riffleName"), aggDiv.RiffleName);
            query.bindValue(QStringLiteral(":notes"), aggDiv.Notes);
            query.bindValue(QStringLiteral(":ord"), aggDiv.Ord);
        },
        [](AggDiv& aggDiv) -> int& { return aggDiv.AggDivID; });
}

TARN::okstat AggDivDAO::deleteAggDiv(const AggDiv& aggDiv)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("DELETE FROM AggDiv WHERE AggDivID = :aggDivID"));
    query.bindValue(QStringLiteral(":aggDivID"), aggDiv.AggDivID);
    if (!query.exec())
        return query.lastError().text();
    return {};
}

TARN::okstat AggDivDAO::getAggDivAttrs(int aggDivId, QList<AggDivAttr>& attrs)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral(
        "SELECT * FROM AggDivAttr ada LEFT JOIN Attribute a ON a.AttrID = ada.AttrID LEFT JOIN "
        "AttrValidVal avv ON avv.AttrValidValID = ada.AttrValidValID WHERE ada.AggDivID = "
        ":aggDivID"));
    query.bindValue(QStringLiteral(":aggDivID"), aggDivId);
    if (!query.exec())
        return query.lastError().text();
    attrs.clear();
    while (query.next()) {
        const QSqlRecord row = query.record();
        AggDivAttr attr;
        attr.id = row.value(0).toInt();
        attr.AggDivID = row.value(2).toInt();
        attr.attribute = DaoRows::readAttribute(row, 4);
        attr.value = DaoRows::readValidVal(row, 8);
        attrs.append(attr);
    }
    return {};
}

TARN::okstat AggDivDAO::saveAggDivAttrs(QList<AggDivAttr>& attrs)
{
    return DaoRows::upsertEachByOwner(
        _db,
        QStringLiteral("INSERT INTO AggDivAttr (AggDivAttrID, AttrID, AggDivID, AttrValidValID) "
                       "VALUES (:aggDivAttrID, :attrID, :aggDivID, :attrValidValID) ON CONFLICT "
                       "DO UPDATE SET AttrValidValID = :attrValidValID"),
        attrs,
        [](QSqlQuery& query, const AggDivAttr& attr) {
            query.bindValue(QStringLiteral(":aggDivAttrID"), DaoRows::idOrNull(attr.id));
            query.bindValue(QStringLiteral(":attrID"), attr.attribute.AttrID);
            query.bindValue(QStringLiteral(":aggDivID"), attr.AggDivID);
            query.bindValue(QStringLiteral(":attrValidValID"), attr.value.AttrValidValID);
        },
        [](AggDivAttr& attr) -> int& { return attr.id; },
        QStringLiteral(
            "SELECT AggDivAttrID FROM AggDivAttr WHERE AggDivID = :aggDivID AND AttrID = :attrID "
            "ORDER BY AggDivAttrID = :id DESC, AggDivAttrID DESC LIMIT 1"),
        [](QSqlQuery& query, const AggDivAttr& attr) {
            query.bindValue(QStringLiteral(":aggDivID"), attr.AggDivID);
            query.bindValue(QStringLiteral(":attrID"), attr.attribute.AttrID);
            query.bindValue(QStringLiteral(":id"), attr.id);
        });
}

TARN::okstat AggDivDAO::assignDefaultValue(const Attribute& attribute, int attrValidValId)
{
    return DaoRows::assignToEveryOwner(_aggDivModel, _aggDivAttrModel, attribute, attrValidValId,
        TARN::AttrTypeAggDiv, QStringLiteral("(Agg div %1) %2"));
}
