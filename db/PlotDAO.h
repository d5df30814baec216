#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

class PlotDAO : public DaoBase {
    Q_OBJECT

public:
    PlotDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* plotModel() const { return _plotModel; }
    TarnRelationalTableModel* plotScenarioModel() const { return _plotScenarioModel; }
    TarnRelationalTableModel* plotCurveModel() const { return _plotCurveModel; }
    TarnRelationalTableModel* plotCurveWaterUserModel() const { return _plotCurveWaterUserModel; }

    // A curve of the curve model as currently selected; a salinity curve also gets the salinity
    // method of its first member's site.
    TARN::okstat getPlotCurve(int plotCurveId, PlotCurve& curve);
    // Appends the curve's attribute filter entries to the list.
    TARN::okstat getPlotCurveFilters(int plotCurveId, AttrSelectionList& selections);
    TARN::okstat setPlotCurveFilters(int plotCurveId, const AttrSelectionList& selections);
    TARN::okstat getPlotCurveWaterUsers(int plotCurveId, WaterUserList& waterUsers);
    TARN::okstat setPlotCurveWaterUsers(int plotCurveId, const WaterUserList& waterUsers);

private:
    TarnRelationalTableModel* _plotModel;
    TarnRelationalTableModel* _plotScenarioModel;
    TarnRelationalTableModel* _plotCurveModel;
    TarnRelationalTableModel* _plotCurveWaterUserModel;
};
