#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

#include <QVariant>

// A curve as the plot dialog lists it.
struct PlotCurveSummary {
    int PlotCurveID = 0;
    QString Name;
    QString DataTypeName;
    int WaterUserCount = 0;
};

// A run a plot shows: a scenario's key, or NULL for the baseline, and its short name.
struct PlotRun {
    QVariant ScenarioID;
    QString ShortName;
};

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

    // The runs the plot shows, a NULL key for the baseline, in the table's order.
    TARN::okstat getPlotScenarioIds(int plotId, QList<QVariant>& scenarioIds);
    // The same with the scenarios' short names ("Baseline" for the baseline).
    TARN::okstat getPlotRuns(int plotId, QList<PlotRun>& runs);
    TARN::okstat getPlotCurveSummaries(int plotId, QList<PlotCurveSummary>& curves);
    // Removes the plot's choice of runs; a failure gives the statement's text.
    TARN::okstat clearPlotScenarios(int plotId);

private:
    TarnRelationalTableModel* _plotModel;
    TarnRelationalTableModel* _plotScenarioModel;
    TarnRelationalTableModel* _plotCurveModel;
    TarnRelationalTableModel* _plotCurveWaterUserModel;
};
