#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

class WaterUserDAO : public DaoBase
{
    Q_OBJECT

public:
    WaterUserDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* waterUserModel() const { return _waterUserModel; }
    TarnRelationalTableModel* waterUserAttrModel() const { return _waterUserAttrModel; }
    TarnRelationalTableModel* waterUserDistModel() const { return _waterUserDistModel; }
    TarnRelationalTableModel* waterUserDataModel() const { return _waterUserDataModel; }

private:
    TarnRelationalTableModel* _waterUserModel;
    TarnRelationalTableModel* _waterUserAttrModel;
    TarnRelationalTableModel* _waterUserDistModel;
    TarnRelationalTableModel* _waterUserDataModel;
};
