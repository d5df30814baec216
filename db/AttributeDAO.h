#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

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

private:
    TarnRelationalTableModel* _attributeModel;
    TarnRelationalTableModel* _attrValidValModel;
};
