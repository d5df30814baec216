#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

class AttributeDAO : public DaoBase
{
    Q_OBJECT

public:
    AttributeDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* attributeModel() const { return _attributeModel; }
    TarnRelationalTableModel* attrValidValModel() const { return _attrValidValModel; }

private:
    TarnRelationalTableModel* _attributeModel;
    TarnRelationalTableModel* _attrValidValModel;
};
