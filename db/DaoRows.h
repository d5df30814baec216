#pragma once

#include "db/Records.h"
#include "db/okstat.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

class QAbstractItemModel;
class QSqlTableModel;

// What the data-access objects share: reading joined rows by column position, the writing
// conventions of keys, and the statement loops that replace or upsert lists of rows.
namespace DaoRows {

// A key of 0 (or an absent scenario) is stored as NULL.
QVariant idOrNull(int id);

// Site columns AggDivID, BaselineID, SalinityMethodID, SiteName, RiffleName, Notes, Ord, from
// position first on.
AggDiv readAggDiv(const QSqlRecord& row, int first = 0);
// A water user row joined with its site ("wu.*, ad.*"): the water user in columns 0 to 6
// (column 1 is not read), the site in columns 7 to 13.
WaterUser readWaterUser(const QSqlRecord& row);
// Attribute columns AttrID, BaselineID, AttrName, AttrTypeID from position first on.
Attribute readAttribute(const QSqlRecord& row, int first = 0);
// Valid value columns AttrValidValID, AttrID, AttrVal from position first on.
AttrValidVal readValidVal(const QSqlRecord& row, int first = 0);
// A filter row joined with its attribute and value: AttrID 4, AttrName 6, type 7,
// AttrValidValID 8, AttrVal 10.
AttrSelection readAttrSelection(const QSqlRecord& row);
// Binds :attrID and :attrValidValID of a filter row.
void bindAttrSelection(QSqlQuery& query, const AttrSelection& selection);
// Binds :waterUserID of a membership row.
void bindWaterUserID(QSqlQuery& query, const WaterUser& waterUser);

// Executes a prepared query of water users joined with their sites; on success the list is
// replaced by its rows.
TARN::okstat loadWaterUsers(QSqlQuery& query, WaterUserList& waterUsers);
// Executes a prepared query of filter rows; on success its rows are appended to the list.
TARN::okstat loadAttrSelections(QSqlQuery& query, AttrSelectionList& selections);

// The water users and the attribute filter chosen for one row (a demand change, a plot curve),
// kept in two tables keyed by that row's key column: members (key, WaterUserID) and filters
// (key, AttrID, AttrValidValID).
struct Choice {
    QString membersTable;
    QString filterTable;
    QString key;
};
// The chosen water users with their sites; the list is replaced on success.
TARN::okstat readMembers(
    const QSqlDatabase& db, const Choice& choice, int id, WaterUserList& waterUsers);
TARN::okstat writeMembers(
    const QSqlDatabase& db, const Choice& choice, int id, const WaterUserList& waterUsers);
// The filter's entries are appended to the list.
TARN::okstat readFilter(
    const QSqlDatabase& db, const Choice& choice, int id, AttrSelectionList& selections);
TARN::okstat writeFilter(
    const QSqlDatabase& db, const Choice& choice, int id, const AttrSelectionList& selections);

// A row found by its key or a name: its key and, when asked for, one more column.
struct KeyedRow {
    int id = 0;
    QVariant extra;
};
// The rows of table whose key equals text (when it is a whole number), or else whose first name
// column, or else whose second one does, in key order; with extra, that column is read too. A
// statement that fails finds nothing, and the next column is tried.
QList<KeyedRow> lookUp(const QSqlDatabase& db, const QString& table, const QString& key,
    const QStringList& names, const QString& extra, const QString& text);

// Source rows of model whose column reads exactly value, found through a sort/filter proxy
// with the expression "^value$" (so 1 does not match 10 or 21), in model order.
QList<int> rowsMatching(QAbstractItemModel* model, int column, int value);

// Gives every row of ownerModel, as currently selected and fetched whole, a row in assignModel
// (attribute in column 1, owner key in column 2, value in column 3), inserted and submitted one at
// a time. Refuses an attribute of another type than ownerType. The first failure returns
// failureFormat filled with the owner's name (column 3) and the model's error text.
TARN::okstat assignToEveryOwner(QSqlTableModel* ownerModel, QSqlTableModel* assignModel,
    const Attribute& attribute, int attrValidValId, int ownerType, const QString& failureFormat);

// Upserts each record in order with one prepared statement; bind sets every value of a record
// and key gives its id. A record with id 0 receives the new key. The first failure ends the
// loop with SQLite's error text; earlier rows stay written.
template<class T, class Bind, class Key>
TARN::okstat upsertEach(
    const QSqlDatabase& db, const QString& sql, QList<T>& records, Bind bind, Key key)
{
    if (records.isEmpty())
        return {};
    QSqlQuery query(db);
    if (!query.prepare(sql))
        return query.lastError().text();
    for (T& record : records) {
        bind(query, record);
        if (!query.exec())
            return query.lastError().text();
        int& id = key(record);
        if (id == 0)
            id = query.lastInsertId().toInt();
    }
    return {};
}

// As upsertEach, for rows kept one per owner and attribute (AggDivAttr, WaterUserAttr): a
// record whose pair is already stored updates that row whatever its id says, and the query's
// last insert id would then name some other row. So every record's key is read back by its
// owner and attribute: keySql selects the key of the row bindKey binds.
template<class T, class Bind, class Key, class BindKey>
TARN::okstat upsertEachByOwner(const QSqlDatabase& db, const QString& sql, QList<T>& records,
    Bind bind, Key key, const QString& keySql, BindKey bindKey)
{
    if (records.isEmpty())
        return {};
    QSqlQuery query(db);
    if (!query.prepare(sql))
        return query.lastError().text();
    QSqlQuery stored(db);
    if (!stored.prepare(keySql))
        return stored.lastError().text();
    for (T& record : records) {
        bind(query, record);
        if (!query.exec())
            return query.lastError().text();
        bindKey(stored, record);
        if (!stored.exec())
            return stored.lastError().text();
        if (stored.next())
            key(record) = stored.value(0).toInt();
        stored.finish();
    }
    return {};
}

// Deletes an owner's rows (deleteSql with the owner bound to ownerName), then inserts one row
// per item (insertSql with the owner and what bindItem binds). The first failure returns
// SQLite's error text.
template<class T, class Bind>
TARN::okstat replaceRows(const QSqlDatabase& db, const QString& ownerName, int ownerId,
    const QString& deleteSql, const QString& insertSql, const QList<T>& items, Bind bindItem)
{
    QSqlQuery remove(db);
    remove.prepare(deleteSql);
    remove.bindValue(ownerName, ownerId);
    if (!remove.exec())
        return remove.lastError().text();
    if (items.isEmpty())
        return {};
    QSqlQuery insert(db);
    if (!insert.prepare(insertSql))
        return insert.lastError().text();
    for (const T& item : items) {
        insert.bindValue(ownerName, ownerId);
        bindItem(insert, item);
        if (!insert.exec())
            return insert.lastError().text();
    }
    return {};
}

} // namespace DaoRows
