#pragma once

#include "calc/DemandCalculator.h"
#include "calc/ScenarioChanges.h"

#include <QHash>

#include <functional>
#include <utility>

#include <vector>

// Computes one scenario into the Scenario* result tables: every site with its baseline water
// users and the scenario's own ones, each water user changed by the newest demand change of the
// scenario that selects it. Reads the stored baseline results, so the baseline is calculated
// first.
class ScenarioDemandCalculator : public DemandCalculator {
    Q_OBJECT

public:
    ScenarioDemandCalculator(
        int scenarioID, const QString& scenarioName, QObject* parent = nullptr);

    int scenarioID() const { return _scenarioID; }

    // Water user -> baseline depletion per year of the run.
    using BaselineDepletions = ScenarioChanges::BaselineSeriesMap;
    // Before the run: take the baseline depletions of the demand changes from here instead of
    // the stored baseline results (the project check compares with what a recalculation of the
    // baseline would give, before it is stored). Not owned.
    void setBaselineDepletions(const BaselineDepletions* depletions)
    {
        _baselineDepletions = depletions;
    }

    // Before the run: edits each demand change once it is read, before any water user is
    // changed by it (an ensemble member's values applied in memory). Runs with an edit should
    // discard their results: they are not the stored scenario's.
    using ChangeEdit = std::function<void(ScenarioChanges::DemandChange& change)>;
    void setChangeEdit(ChangeEdit edit) { _changeEdit = std::move(edit); }

protected:
    void calculate() override;
    void prepareQueries() override;
    void filterWaterUsers() override;
    void adjustWaterUserData(int waterUserID) override;
    int resultsScenarioID() const override { return _scenarioID; }

private:
    // The change's selection size and yearly values; read once per run and change.
    const ScenarioChanges::DemandChange& demandChange(
        int demandChgID, int depletionMethod, int efficiencyMethod);
    // B of a change, per year of the run; once per run and change.
    const ScenarioChanges::BaselineTotals& baselineTotals(int demandChgID);
    // The stored baseline depletions of the change's members that are baseline water users of
    // a site, into _storedBaseline (those read for an earlier change are kept).
    void readStoredBaseline(int demandChgID);
    // The members of this scenario's demand changes that select a water user edited in the
    // change log (or selected it before the edit): an amount or new amount is shared among all
    // members, so their sites are recomputed wherever they lie.
    void collectDependents();
    void addDependents(CalcStatement& members, int id, const QString& reason);
    void readChangeMap(CalcStatement& statement, int demandChgID, const QString& failure,
        ScenarioChanges::ChangeMap& map);

    // The explanation's reason for the chosen change: every change of the scenario that selects
    // the followed water user.
    void traceChosenChange(int waterUserID, int demandChgID,
        const ScenarioChanges::DemandChange& change, const QString& name, const QString& created);

    int _scenarioID;
    QString _scenarioName;
    CalcStatement _selectWaterUsers;
    CalcStatement _selectSelectingChanges; // prepared only for a traced run
    CalcStatement _selectNewestChange;
    CalcStatement _selectStoredBaseline;
    CalcStatement _countChangeWaterUsers;
    CalcStatement _selectDepletionChanges;
    CalcStatement _selectEfficiencyChanges;
    CalcStatement _selectChangeMembers;
    const BaselineDepletions* _baselineDepletions = nullptr;
    ChangeEdit _changeEdit;
    CalcStatement _selectMembersOfWaterUsersChanges;
    CalcStatement _selectMembersOfChange;
    QHash<int, ScenarioChanges::DemandChange> _changes;
    QHash<int, ScenarioChanges::BaselineTotals> _baselineTotals; // per change
    ScenarioChanges::BaselineSeriesMap _storedBaseline; // members read so far
};
