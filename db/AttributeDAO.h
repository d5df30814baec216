#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

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

private:
    TarnRelationalTableModel* _attributeModel;
    TarnRelationalTableModel* _attrValidValModel;
};
