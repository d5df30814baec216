#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

struct ScenarioDefinition;
struct WaterUserRef;

class ScenarioDAO : public DaoBase {
    Q_OBJECT

public:
    ScenarioDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* scenarioModel() const { return _scenarioModel; }
    TarnRelationalTableModel* scenarioMonthlyAggDivModel() const
    {
        return _scenarioMonthlyAggDivModel;
    }
    TarnRelationalTableModel* scenarioMonthlyWaterUserModel() const
    {
        return _scenarioMonthlyWaterUserModel;
    }
    TarnRelationalTableModel* scenarioYearlyAggDivModel() const
    {
        return _scenarioYearlyAggDivModel;
    }
    TarnRelationalTableModel* scenarioYearlyWaterUserModel() const
    {
        return _scenarioYearlyWaterUserModel;
    }
    TarnRelationalTableModel* demandChgModel() const { return _demandChgModel; }
    TarnRelationalTableModel* depletionChgModel() const { return _depletionChgModel; }
    TarnRelationalTableModel* efficiencyChgModel() const { return _efficiencyChgModel; }
    TarnRelationalTableModel* demandChgWaterUserModel() const { return _demandChgWaterUserModel; }
    TarnRelationalTableModel* changeTypeModel() const { return _changeTypeModel; }
    TarnRelationalTableModel* demandSelectionModel() const { return _demandSelectionModel; }

    struct ScenarioListEntry {
        int id = 0;
        QString name;
        QString shortName;
    };
    // ById is the order the recalculation runs them in; ByShortName the order of the exported
    // workbook's sheets.
    enum class ScenarioOrder { ById, ByShortName };
    // Every scenario, in the order asked for: the one reader of the scenario list.
    TARN::okstat listScenarios(QList<ScenarioListEntry>& scenarios, ScenarioOrder order);
    // Every scenario's ID and name, in ID order; a failure gives the database's error text.
    TARN::okstat getScenarioNames(QList<QPair<int, QString>>& scenarios);

    // The scenario's name read on the connection given (an exporter's); name is left as it is
    // when there is no such scenario.
    static TARN::okstat readScenarioName(const QSqlDatabase& db, int scenarioId, QString& name);
    // What defines the scenario's results (ScenarioDefinition.cpp), read on the connection given:
    // its demand changes oldest first and the water users it has of its own.
    static TARN::okstat readDefinition(
        const QSqlDatabase& db, int scenarioId, ScenarioDefinition& definition);
    // Whether a scenario with the ID is stored.
    TARN::okstat exists(int scenarioId, bool& found);
    // The IDs of the scenarios whose ID, or else name, or else short name equals text, in ID
    // order.
    QList<int> findScenarios(const QString& text);

    // The water users chosen explicitly for a demand change, with their sites.
    TARN::okstat getDemandChgWaterUsers(int demandChgId, WaterUserList& waterUsers);
    // The same as keys, sites and names only, whatever became of the sites.
    TARN::okstat getDemandChgMembers(int demandChgId, QList<WaterUserRef>& waterUsers);
    TARN::okstat setDemandChgWaterUsers(int demandChgId, const WaterUserList& waterUsers);
    // Appends the change's attribute filter entries to the list.
    TARN::okstat getDemandSelections(int demandChgId, AttrSelectionList& selections);
    // Replaces the change's filter; with storeFilter clear the change ends without one.
    TARN::okstat setDemandSelections(
        int demandChgId, bool storeFilter, const AttrSelectionList& selections);

    // Makes a scenario named name out of scenarioId (ScenarioCopy.cpp): its row, its demand
    // changes with their yearly values, members and filters, and the water users it has of its
    // own with their yearly data, coefficients and attributes; a demand change's member that is
    // one of those water users becomes its copy. Results are not copied. Writes inside the
    // caller's transaction; the first failure returns the database's text, and the caller rolls
    // back what was written before it.
    TARN::okstat copyScenario(int scenarioId, const QString& name, int& newScenarioId);

private:
    TarnRelationalTableModel* _scenarioModel;
    TarnRelationalTableModel* _scenarioMonthlyAggDivModel;
    TarnRelationalTableModel* _scenarioMonthlyWaterUserModel;
    TarnRelationalTableModel* _scenarioYearlyAggDivModel;
    TarnRelationalTableModel* _scenarioYearlyWaterUserModel;
    TarnRelationalTableModel* _demandChgModel;
    TarnRelationalTableModel* _depletionChgModel;
    TarnRelationalTableModel* _efficiencyChgModel;
    TarnRelationalTableModel* _demandChgWaterUserModel;
    TarnRelationalTableModel* _changeTypeModel;
    TarnRelationalTableModel* _demandSelectionModel;
};
