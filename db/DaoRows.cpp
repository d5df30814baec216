#include "db/DaoRows.h"

#include "db/ModelOps.h"

#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QSqlTableModel>

namespace DaoRows {

QVariant idOrNull(int id)
{
    return id == 0 ? QVariant(QVariant::Int) : QVariant(id);
}

AggDiv readAggDiv(const QSqlRecord& row, int first)
{
    AggDiv aggDiv;
    aggDiv.AggDivID = row.value(first).toInt();
    aggDiv.BaselineID = row.value(first + 1).toInt();
    aggDiv.salinityMethod = SalinityMethodInfo::fromId(row.value(first + 2).toInt());
    aggDiv.SiteName = row.value(first + 3).toString();
    aggDiv.RiffleName = row.value(first + 4).toString();
    aggDiv.Notes = row.value(first + 5).toString();
    aggDiv.Ord = row.value(first + 6).toInt();
    return aggDiv;
}

WaterUser readWaterUser(const QSqlRecord& row)
{
    WaterUser waterUser;
    waterUser.WaterUserID = row.value(0).toInt();
    waterUser.ScenarioID = row.value(2).toInt();
    waterUser.WaterUserName = row.value(3).toString();
    waterUser.RiffleName = row.value(4).toString();
    waterUser.Notes = row.value(5).toString();
    waterUser.Ord = row.value(6).toInt();
    waterUser.aggDiv = readAggDiv(row, 7);
    return waterUser;
}

Attribute readAttribute(const QSqlRecord& row, int first)
{
    Attribute attribute;
    attribute.AttrID = row.value(first).toInt();
    attribute.BaselineID = row.value(first + 1).toInt();
    attribute.AttrName = row.value(first + 2).toString();
    attribute.setType(row.value(first + 3).toInt());
    return attribute;
}

AttrValidVal readValidVal(const QSqlRecord& row, int first)
{
    AttrValidVal value;
    value.AttrValidValID = row.value(first).toInt();
    value.AttrID = row.value(first + 1).toInt();
    value.AttrVal = row.value(first + 2).toString();
    return value;
}

AttrSelection readAttrSelection(const QSqlRecord& row)
{
    const Attribute attribute = readAttribute(row, 4);
    const AttrValidVal value = readValidVal(row, 8);
    AttrSelection selection;
    selection.AttrID = attribute.AttrID;
    selection.AttrName = attribute.AttrName;
    selection.typeId = attribute.typeId;
    selection.typeName = attribute.typeName;
    selection.AttrValidValID = value.AttrValidValID;
    selection.AttrVal = value.AttrVal;
    return selection;
}

void bindAttrSelection(QSqlQuery& query, const AttrSelection& selection)
{
    query.bindValue(QStringLiteral(":attrID"), selection.AttrID);
    query.bindValue(QStringLiteral(":attrValidValID"), selection.AttrValidValID);
}

void bindWaterUserID(QSqlQuery& query, const WaterUser& waterUser)
{
    query.bindValue(QStringLiteral(":waterUserID"), waterUser.WaterUserID);
}

TARN::okstat loadWaterUsers(QSqlQuery& query, WaterUserList& waterUsers)
{
    if (!query.exec())
        return query.lastError().text();
    waterUsers.clear();
    while (query.next())
        waterUsers.append(readWaterUser(query.record()));
    return {};
}

TARN::okstat loadAttrSelections(QSqlQuery& query, AttrSelectionList& selections)
{
    if (!query.exec())
        return query.lastError().text();
    while (query.next())
        selections.append(readAttrSelection(query.record()));
    return {};
}

QList<int> rowsMatching(QAbstractItemModel* model, int column, int value)
{
    ModelOps::fetchAll(model);
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(model);
    proxy.setFilterKeyColumn(column);
    proxy.setFilterRegularExpression(QRegularExpression(QStringLiteral("^%1$").arg(value)));
    QList<int> rows;
    const int count = proxy.rowCount();
    rows.reserve(count);
    for (int row = 0; row < count; ++row)
        rows.append(proxy.mapToSource(proxy.index(row, 0)).row());
    return rows;
}

TARN::okstat assignToEveryOwner(QSqlTableModel* ownerModel, QSqlTableModel* assignModel,
    const Attribute& attribute, int attrValidValId, int ownerType, const QString& failureFormat)
{
    if (attribute.typeId != ownerType)
        return QStringLiteral("Incorrect attribute type.");
    // Every owner, not only the rows the last select happened to fetch.
    ModelOps::fetchAll(ownerModel);
    const int rows = ownerModel->rowCount();
    for (int row = 0; row < rows; ++row) {
        QSqlRecord assignment = assignModel->record();
        assignment.setValue(1, attribute.AttrID);
        assignment.setValue(2, ownerModel->index(row, 0).data().toInt());
        assignment.setValue(3, attrValidValId);
        if (!assignModel->insertRecord(-1, assignment) || !assignModel->submitAll()) {
            return failureFormat.arg(
                ownerModel->index(row, 3).data().toString(), assignModel->lastError().text());
        }
    }
    return {};
}

QList<KeyedRow> lookUp(const QSqlDatabase& db, const QString& table, const QString& key,
    const QStringList& names, const QString& extra, const QString& text)
{
    QSqlQuery query(db);
    const QString select = QStringLiteral("SELECT %1%2 FROM %3 WHERE %4 = ? ORDER BY %1")
                               .arg(key, extra.isEmpty() ? QString() : QStringLiteral(", ") + extra,
                                   table, QStringLiteral("%1"));
    auto rows = [&](const QString& column, const QVariant& value) {
        QList<KeyedRow> found;
        query.prepare(select.arg(column));
        query.addBindValue(value);
        if (query.exec()) {
            while (query.next())
                found.append(
                    { query.value(0).toInt(), extra.isEmpty() ? QVariant() : query.value(1) });
        }
        query.finish();
        return found;
    };
    bool isNumber = false;
    const int id = text.toInt(&isNumber);
    if (isNumber) {
        const QList<KeyedRow> byID = rows(key, id);
        if (!byID.isEmpty())
            return byID;
    }
    for (const QString& column : names) {
        const QList<KeyedRow> byName = rows(column, text);
        if (!byName.isEmpty())
            return byName;
    }
    return {};
}

TARN::okstat readMembers(
    const QSqlDatabase& db, const Choice& choice, int id, WaterUserList& waterUsers)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT wu.*, ad.* FROM %1 m JOIN WaterUser wu ON wu.WaterUserID "
                                 "= m.WaterUserID JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID "
                                 "WHERE m.%2 = :id")
                      .arg(choice.membersTable, choice.key));
    query.bindValue(QStringLiteral(":id"), id);
    return loadWaterUsers(query, waterUsers);
}

TARN::okstat writeMembers(
    const QSqlDatabase& db, const Choice& choice, int id, const WaterUserList& waterUsers)
{
    return replaceRows(db, QStringLiteral(":id"), id,
        QStringLiteral("DELETE FROM %1 WHERE %2 = :id").arg(choice.membersTable, choice.key),
        QStringLiteral("INSERT INTO %1 (%2, WaterUserID) VALUES (:id, :waterUserID)")
            .arg(choice.membersTable, choice.key),
        waterUsers, bindWaterUserID);
}

TARN::okstat readFilter(
    const QSqlDatabase& db, const Choice& choice, int id, AttrSelectionList& selections)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT * FROM %1 f LEFT JOIN Attribute a ON a.AttrID = f.AttrID "
                                 "LEFT JOIN AttrValidVal avv ON avv.AttrValidValID = "
                                 "f.AttrValidValID WHERE f.%2 = :id")
                      .arg(choice.filterTable, choice.key));
    query.bindValue(QStringLiteral(":id"), id);
    return loadAttrSelections(query, selections);
}

TARN::okstat writeFilter(
    const QSqlDatabase& db, const Choice& choice, int id, const AttrSelectionList& selections)
{
    return replaceRows(db, QStringLiteral(":id"), id,
        QStringLiteral("DELETE FROM %1 WHERE %2 = :id").arg(choice.filterTable, choice.key),
        QStringLiteral("INSERT INTO %1 (%2, AttrID, AttrValidValID) VALUES (:id, :attrID, "
                       ":attrValidValID)")
            .arg(choice.filterTable, choice.key),
        selections, bindAttrSelection);
}

} // namespace DaoRows
