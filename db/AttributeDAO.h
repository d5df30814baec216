#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

#include <QHash>
#include <QPair>
#include <QVariant>

class AttributeDAO : public DaoBase {
    Q_OBJECT

public:
    AttributeDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* attributeModel() const { return _attributeModel; }
    TarnRelationalTableModel* attrValidValModel() const { return _attrValidValModel; }

    // typeId 0: every attribute.
    TARN::okstat getAttributes(AttributeList& attributes, int typeId);
    TARN::okstat getValidValues(int attrId, AttrValidValList& values);
    // Insert through the models; a record with id 0 receives the new key.
    TARN::okstat addAttribute(Attribute& attribute);
    TARN::okstat addValidValue(AttrValidVal& value);
    // Gives every owner of the attribute's kind (sites or water users) the value; another type
    // does nothing.
    TARN::okstat assignDefaultValue(const Attribute& attribute, int attrValidValId);
    // Moves every owner holding the value to its attribute's "Unassigned" value.
    TARN::okstat reassignToDefault(const AttrValidVal& value);
    TARN::okstat deleteValidValue(const AttrValidVal& value);
    TARN::okstat deleteAttribute(const Attribute& attribute);

    // One attribute with one of its values; an attribute without values has one row with a
    // NULL value key.
    struct AttributeValueRow {
        int AttrID = 0;
        QString AttrName;
        int AttrTypeID = 0;
        QVariant AttrValidValID;
        QString AttrVal;
    };
    // Every attribute with its values, by attribute then value key; a failure gives the
    // database's text.
    TARN::okstat getAttributeValues(QList<AttributeValueRow>& rows);
    // SQL that gives the keys of the sites (forSites) or water users holding a value of every
    // group of value keys; empty when there is no group or a group is empty.
    static QString filterQuery(bool forSites, const QList<QList<int>>& valueGroups);
    // The keys filterQuery gives, in its order (the filter must not be empty).
    TARN::okstat matchingOwners(
        bool forSites, const QList<QList<int>>& valueGroups, QList<int>& ids);
    // Keys and names of the sites among ids, by key.
    TARN::okstat getSiteNames(const QList<int>& ids, QList<QPair<int, QString>>& sites);

    // Reads on the connection given (an exporter's), one statement each, in row order.
    // Every attribute's name by its ID, the Attribute row read by position.
    static TARN::okstat readAttributeNames(const QSqlDatabase& db, QHash<int, QString>& names);
    // Every attribute value the sites, or the water users, hold.
    static TARN::okstat readSiteValues(const QSqlDatabase& db, QList<OwnerAttrValue>& values);
    static TARN::okstat readWaterUserValues(const QSqlDatabase& db, QList<OwnerAttrValue>& values);

private:
    static TARN::okstat readOwnerValues(const QSqlDatabase& db, const QString& table,
        const QString& ownerColumn, QList<OwnerAttrValue>& values);

    TarnRelationalTableModel* _attributeModel;
    TarnRelationalTableModel* _attrValidValModel;
};
