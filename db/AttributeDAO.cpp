#include "db/AttributeDAO.h"

#include "db/AggDivDAO.h"
#include "db/DaoRows.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/WaterUserDAO.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include <algorithm>

namespace {

// Inserts record at the end of model and submits it; key receives the new key when it was 0.
TARN::okstat insertAndSubmit(QSqlTableModel* model, const QSqlRecord& record, int& key)
{
    if (!model->insertRecord(-1, record) || !model->submitAll())
        return model->lastError().text();
    if (key == 0)
        key = model->query().lastInsertId().toInt();
    return {};
}

} // namespace

AttributeDAO::AttributeDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _attributeModel(createModel(TN::AttributeTable))
    , _attrValidValModel(createModel(TN::AttrValidValTable))
{
}

bool AttributeDAO::checkStructure()
{
    setHeader(_attributeModel, 2, QStringLiteral("Attribute"));
    setHeader(_attributeModel, 3, QStringLiteral("Type"));
    setHeader(_attrValidValModel, 2, QStringLiteral("Value"));
    return selectModels({ _attributeModel, _attrValidValModel });
}

TARN::okstat AttributeDAO::getAttributes(AttributeList& attributes, int typeId)
{
    ModelOps::resetAndSelect(_attributeModel);
    QList<int> rows;
    if (typeId == 0) {
        for (int row = 0; row < _attributeModel->rowCount(); ++row)
            rows.append(row);
    } else {
        rows = DaoRows::rowsMatching(_attributeModel, 3, typeId);
    }
    attributes.clear();
    for (const int row : qAsConst(rows))
        attributes.append(DaoRows::readAttribute(_attributeModel->record(row)));
    return {};
}

TARN::okstat AttributeDAO::getValidValues(int attrId, AttrValidValList& values)
{
    ModelOps::resetAndSelect(_attrValidValModel);
    values.clear();
    const QList<int> rows = DaoRows::rowsMatching(_attrValidValModel, 1, attrId);
    for (const int row : rows)
        values.append(DaoRows::readValidVal(_attrValidValModel->record(row)));
    return {};
}

TARN::okstat AttributeDAO::addAttribute(Attribute& attribute)
{
    QSqlRecord record = _attributeModel->record();
    record.setValue(0, DaoRows::idOrNull(attribute.AttrID));
    record.setValue(1, attribute.BaselineID);
    record.setValue(2, attribute.AttrName);
    record.setValue(3, attribute.typeId);
    return insertAndSubmit(_attributeModel, record, attribute.AttrID);
}

TARN::okstat AttributeDAO::addValidValue(AttrValidVal& value)
{
    QSqlRecord record = _attrValidValModel->record();
    record.setValue(0, DaoRows::idOrNull(value.AttrValidValID));
    record.setValue(1, value.AttrID);
    record.setValue(2, value.AttrVal);
    return insertAndSubmit(_attrValidValModel, record, value.AttrValidValID);
}

TARN::okstat AttributeDAO::assignDefaultValue(const Attribute& attribute, int attrValidValId)
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    switch (attribute.typeId) {
    case TARN::AttrTypeAggDiv:
        return mgr->aggDivDAO()->assignDefaultValue(attribute, attrValidValId);
    case TARN::AttrTypeWaterUser:
        return mgr->waterUserDAO()->assignDefaultValue(attribute, attrValidValId);
    default:
        return {};
    }
}

TARN::okstat AttributeDAO::reassignToDefault(const AttrValidVal& value)
{
    // An attribute that is not there cannot be loaded either.
    const bool loaded = ModelOps::filterById(_attributeModel, value.AttrID, TN::AttrID)
        && _attributeModel->rowCount() > 0;
    const Attribute attribute
        = loaded ? DaoRows::readAttribute(_attributeModel->record(0)) : Attribute();
    ModelOps::resetAndSelect(_attributeModel);
    if (!loaded)
        return QStringLiteral("Unable to load an attribute with ID %1").arg(value.AttrID);

    AttrValidValList values;
    if (getValidValues(attribute.AttrID, values).failed())
        return QStringLiteral("Unable to load valid values for attribute \"%1\"")
            .arg(attribute.AttrName);
    const auto defaultValue = std::find_if(values.cbegin(), values.cend(),
        [](const AttrValidVal& candidate) { return candidate.AttrVal == TN::DefaultAttrValue; });
    if (defaultValue == values.cend())
        return QStringLiteral("Default value \"%1\" not found for attribute \"%2\"")
            .arg(TN::DefaultAttrValue, attribute.AttrName);

    const QString table
        = attribute.typeId == TARN::AttrTypeAggDiv ? TN::AggDivAttrTable : TN::WaterUserAttrTable;
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("UPDATE %1 SET %2 = :defaultID WHERE %2 = :origID")
                      .arg(table, TN::AttrValidValID));
    query.bindValue(QStringLiteral(":defaultID"), defaultValue->AttrValidValID);
    query.bindValue(QStringLiteral(":origID"), value.AttrValidValID);
    if (!query.exec())
        return QStringLiteral("Error assigning default value: %1").arg(query.lastError().text());
    return {};
}

TARN::okstat AttributeDAO::deleteValidValue(const AttrValidVal& value)
{
    TARN::okstat status = reassignToDefault(value);
    if (status.failed())
        return status;
    QSqlQuery query(_db);
    query.prepare(
        QStringLiteral("DELETE FROM AttrValidVal WHERE AttrValidValID = :attrValidValID"));
    query.bindValue(QStringLiteral(":attrValidValID"), value.AttrValidValID);
    if (!query.exec())
        return query.lastError().text();
    return {};
}

TARN::okstat AttributeDAO::deleteAttribute(const Attribute& attribute)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("DELETE FROM Attribute WHERE AttrID = :attrID"));
    query.bindValue(QStringLiteral(":attrID"), attribute.AttrID);
    if (!query.exec())
        return query.lastError().text();
    return {};
}

TARN::okstat AttributeDAO::getAttributeValues(QList<AttributeValueRow>& rows)
{
    QSqlQuery query(_db);
    const QString sql
        = QStringLiteral("select A.%1, A.%2, A.%3, AVV.%4, AVV.%5 from %6 A left join %7 AVV "
                         "on A.%1 = AVV.%8 order by A.%1, AVV.%4")
              .arg(TN::AttrID, TN::AttrName, TN::AttrTypeID, TN::AttrValidValID, TN::AttrVal,
                  TN::AttributeTable, TN::AttrValidValTable, TN::AttrID);
    if (!query.exec(sql))
        return query.lastError().text();
    while (query.next()) {
        AttributeValueRow row;
        row.AttrID = query.value(0).toInt();
        row.AttrName = query.value(1).toString();
        row.AttrTypeID = query.value(2).toInt();
        row.AttrValidValID = query.value(3);
        row.AttrVal = query.value(4).toString();
        rows.append(row);
    }
    return {};
}

QString AttributeDAO::filterQuery(bool forSites, const QList<QList<int>>& valueGroups)
{
    const QString& table = forSites ? TN::AggDivAttrTable : TN::WaterUserAttrTable;
    const QString& key = forSites ? TN::AggDivID : TN::WaterUserID;
    QStringList queries;
    for (const QList<int>& group : valueGroups) {
        QStringList ids;
        for (int id : group)
            ids.append(QString::number(id));
        if (ids.isEmpty())
            return QString();
        queries.append(QStringLiteral("select %1 from %2 where %3 in (%4)")
                           .arg(key, table, TN::AttrValidValID, ids.join(QLatin1Char(','))));
    }
    return queries.join(QStringLiteral(" intersect "));
}

TARN::okstat AttributeDAO::matchingOwners(
    bool forSites, const QList<QList<int>>& valueGroups, QList<int>& ids)
{
    QSqlQuery query(_db);
    if (!query.exec(filterQuery(forSites, valueGroups)))
        return query.lastError().text();
    while (query.next())
        ids.append(query.value(0).toInt());
    return {};
}

TARN::okstat AttributeDAO::getSiteNames(const QList<int>& ids, QList<QPair<int, QString>>& sites)
{
    QStringList keys;
    for (int id : ids)
        keys.append(QString::number(id));
    QSqlQuery query(_db);
    if (!query.exec(
            QStringLiteral("select %1, %2 from %3 where %1 in (%4) order by %1")
                .arg(TN::AggDivID, TN::SiteName, TN::AggDivTable, keys.join(QLatin1Char(',')))))
        return query.lastError().text();
    while (query.next())
        sites.append({ query.value(0).toInt(), query.value(1).toString() });
    return {};
}

TARN::okstat AttributeDAO::readAttributeNames(const QSqlDatabase& db, QHash<int, QString>& names)
{
    QSqlQuery attributes(db);
    if (!attributes.exec(QStringLiteral("SELECT * FROM %1").arg(TN::AttributeTable)))
        return attributes.lastError().text();
    while (attributes.next())
        names.insert(attributes.value(0).toInt(), attributes.value(2).toString());
    return {};
}

TARN::okstat AttributeDAO::readSiteValues(const QSqlDatabase& db, QList<OwnerAttrValue>& values)
{
    return readOwnerValues(db, QStringLiteral("AggDivAttr"), QStringLiteral("AggDivID"), values);
}

TARN::okstat AttributeDAO::readWaterUserValues(
    const QSqlDatabase& db, QList<OwnerAttrValue>& values)
{
    return readOwnerValues(
        db, QStringLiteral("WaterUserAttr"), QStringLiteral("WaterUserID"), values);
}

TARN::okstat AttributeDAO::readOwnerValues(const QSqlDatabase& db, const QString& table,
    const QString& ownerColumn, QList<OwnerAttrValue>& values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(
            QStringLiteral("SELECT t.%2, t.AttrID, v.AttrVal FROM %1 t "
                           "LEFT JOIN AttrValidVal v ON v.AttrValidValID = t.AttrValidValID "
                           "ORDER BY t.rowid")
                .arg(table, ownerColumn)))
        return query.lastError().text();
    while (query.next())
        values.append(
            { query.value(0).toInt(), query.value(1).toInt(), query.value(2).toString() });
    return {};
}
