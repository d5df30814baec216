#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

class AggDivDAO : public DaoBase
{
    Q_OBJECT

public:
    AggDivDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* aggDivModel() const { return _aggDivModel; }
    TarnRelationalTableModel* aggDivAttrModel() const { return _aggDivAttrModel; }

private:
    TarnRelationalTableModel* _aggDivModel;
    TarnRelationalTableModel* _aggDivAttrModel;
};
