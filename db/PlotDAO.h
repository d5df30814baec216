#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

class PlotDAO : public DaoBase
{
    Q_OBJECT

public:
    PlotDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* plotModel() const { return _plotModel; }
    TarnRelationalTableModel* plotScenarioModel() const { return _plotScenarioModel; }
    TarnRelationalTableModel* plotCurveModel() const { return _plotCurveModel; }
    TarnRelationalTableModel* plotCurveWaterUserModel() const { return _plotCurveWaterUserModel; }

private:
    TarnRelationalTableModel* _plotModel;
    TarnRelationalTableModel* _plotScenarioModel;
    TarnRelationalTableModel* _plotCurveModel;
    TarnRelationalTableModel* _plotCurveWaterUserModel;
};
