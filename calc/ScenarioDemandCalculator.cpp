#include "calc/ScenarioDemandCalculator.h"

#include "calc/BaselineChangeLog.h"
#include "calc/CalcTrace.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnException.h"
#include "db/TarnNames.h"

#include <utility>

ScenarioDemandCalculator::ScenarioDemandCalculator(
    int scenarioID, const QString& scenarioName, QObject* parent)
    : DemandCalculator(parent)
    , _scenarioID(scenarioID)
    , _scenarioName(scenarioName)
{
    _target = QStringLiteral("Scenario %1").arg(scenarioName);
}

void ScenarioDemandCalculator::prepareQueries()
{
    const QString id = QString::number(_scenarioID);
    // The changes that select a water user, the one that applies first.
    const QString selectingChanges = QStringLiteral(
        "SELECT dc.* FROM DemandChg dc INNER JOIN DemandChgWaterUser dcwu ON dcwu.DemandChgID = "
        "dc.DemandChgID WHERE dcwu.WaterUserID = :wuID AND dc.ScenarioID = :scenID ORDER BY "
        "dc.CreatedDate DESC, dc.DemandChgID DESC");
    _selectNewestChange.prepare(_db, selectingChanges + QStringLiteral(" LIMIT 1"));
    // The baseline values of a changed water user: its own stored depletion per year, joined
    // by year to the summed depletion of every water user the change selects. The sum is the
    // same for every water user of the change, so it is read once per change instead of once
    // per water user (it scans all selected water users' rows), and the join is made in memory.
    // Rows are consumed one per year from the first year on, so both are ordered by year.
    _selectBaselineTotals.prepare(_db,
        QStringLiteral("SELECT bywu.Year, SUM(bywu.DepletionValue) BaseTotal FROM "
                       "BaseYearlyWaterUser bywu JOIN DemandChgWaterUser dcwu ON "
                       "dcwu.WaterUserID = bywu.WaterUserID WHERE dcwu.DemandChgID = "
                       ":demandChgID GROUP BY bywu.Year ORDER BY bywu.Year"));
    _selectBaselineDepletion.prepare(_db,
        QStringLiteral("SELECT bywu.Year, bywu.DepletionValue FROM BaseYearlyWaterUser bywu "
                       "WHERE bywu.WaterUserID = :waterUserID ORDER BY bywu.Year"));

    _selectWaterUsers.prepare(_db,
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %3.%4 = ? AND (%3.%5 = %6 OR %3.%5 IS "
                       "NULL) ORDER BY %1")
            .arg(TN::WaterUserID, TN::RiffleName, TN::WaterUserTable, TN::AggDivID, TN::ScenarioID,
                id));
    _countChangeWaterUsers.prepare(_db,
        QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %1.%2 = ?")
            .arg(TN::DemandChgWaterUserTable, TN::DemandChgID));
    const ColumnNames& columns = TarnDbMgr::instance()->columns();
    const QString changeRows
        = QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %4.%5 = ? ORDER BY %6");
    for (auto [statement, table] : { std::pair { &_selectDepletionChanges, TN::DepletionChgTable },
             std::pair { &_selectEfficiencyChanges, TN::EfficiencyChgTable } }) {
        statement->prepare(_db,
            changeRows.arg(TN::Year, TN::ChangeTypeID, columns.at(table, TP::ChangeValue), table,
                TN::DemandChgID, columns.at(table, TP::Key)));
    }
    _selectChangeMembers.prepare(_db,
        QStringLiteral("SELECT %1 FROM %2 WHERE %2.%3 = ?")
            .arg(TN::WaterUserID, TN::DemandChgWaterUserTable, TN::DemandChgID));
    const QString members = QStringLiteral(
        "SELECT m.WaterUserID, wu.AggDivID FROM DemandChgWaterUser m JOIN DemandChg dc ON "
        "dc.DemandChgID = m.DemandChgID JOIN WaterUser wu ON wu.WaterUserID = m.WaterUserID "
        "WHERE dc.ScenarioID = %1 AND m.DemandChgID ")
                                .arg(id);
    _selectMembersOfWaterUsersChanges.prepare(_db,
        members
            + QStringLiteral(
                "IN (SELECT DemandChgID FROM DemandChgWaterUser WHERE WaterUserID = ?)"));
    _selectMembersOfChange.prepare(_db, members + QStringLiteral("= ?"));
    if (_trace) {
        // Every selecting change: the chosen one first, then those it wins over.
        _selectSelectingChanges.prepare(_db, selectingChanges);
    }
    _changes.clear();
    _baselineTotals.clear();
}

void ScenarioDemandCalculator::calculate()
{
    collectDependents();
    DemandCalculator::calculate();
}

void ScenarioDemandCalculator::collectDependents()
{
    _dependentSites.clear();
    _dependentWaterUsers.clear();
    if (!_changeLog || _changeLog->fullRecalculation())
        return;
    const QList<BaselineChangeLog::Entry> entries = _changeLog->waterUserEntries();
    for (const BaselineChangeLog::Entry& entry : entries) {
        const QString reason = entry.text();
        addDependents(_selectMembersOfWaterUsersChanges, entry.waterUserID, reason);
        for (const int demandChgID : entry.demandChgIDs)
            addDependents(_selectMembersOfChange, demandChgID, reason);
    }
}

void ScenarioDemandCalculator::addDependents(CalcStatement& members, int id, const QString& reason)
{
    members.bind(0, id);
    members.exec(QStringLiteral("Unable to query for demand change water users: %1"));
    QSqlQuery& query = members.query();
    while (query.next()) {
        QStringList& siteReasons = _dependentSites[query.value(1).toInt()];
        if (!siteReasons.contains(reason))
            siteReasons.append(reason);
        QStringList& waterUserReasons = _dependentWaterUsers[query.value(0).toInt()];
        if (!waterUserReasons.contains(reason))
            waterUserReasons.append(reason);
    }
    query.finish();
}

void ScenarioDemandCalculator::filterWaterUsers()
{
    _selectWaterUsers.bind(0, _aggDivID);
    readWaterUsers(_selectWaterUsers);
}

void ScenarioDemandCalculator::readChangeMap(CalcStatement& statement, int demandChgID,
    const QString& failure, ScenarioChanges::ChangeMap& map)
{
    statement.bind(0, demandChgID);
    statement.exec(failure);
    QSqlQuery& query = statement.query();
    while (query.next()) {
        ScenarioChanges::YearChange change;
        change.type = query.value(1).toInt();
        change.value = TARN::toDouble(query.value(2));
        map.insert(query.value(0).toInt(), change);
    }
    query.finish();
}

const ScenarioChanges::DemandChange& ScenarioDemandCalculator::demandChange(
    int demandChgID, int depletionMethod, int efficiencyMethod)
{
    auto it = _changes.find(demandChgID);
    if (it != _changes.end())
        return *it;

    ScenarioChanges::DemandChange change;
    change.id = demandChgID;
    change.depletionMethod = depletionMethod;
    change.efficiencyMethod = efficiencyMethod;
    _countChangeWaterUsers.bind(0, demandChgID);
    change.waterUserCount
        = _countChangeWaterUsers
              .scalar(QStringLiteral("Unable to query for demand change water users: %1"))
              .toInt();
    readChangeMap(_selectDepletionChanges, demandChgID,
        QStringLiteral("Unable to query for depletion changes: %1"), change.depletion);
    readChangeMap(_selectEfficiencyChanges, demandChgID,
        QStringLiteral("Unable to query for efficiency changes: %1"), change.efficiency);
    return *_changes.insert(demandChgID, change);
}

const QHash<int, double>& ScenarioDemandCalculator::baselineTotals(int demandChgID)
{
    auto it = _baselineTotals.find(demandChgID);
    if (it != _baselineTotals.end())
        return *it;
    QHash<int, double> totals;
    if (_baselineDepletions) {
        // As the statement sums the members' stored rows: a year counts once any member has a
        // row for it, and its total is missing when every member's value is.
        _selectChangeMembers.bind(0, demandChgID);
        _selectChangeMembers.exec(QStringLiteral("Unable to query for baseline values: %1"));
        QSqlQuery& members = _selectChangeMembers.query();
        while (members.next()) {
            const auto found = _baselineDepletions->constFind(members.value(0).toInt());
            if (found == _baselineDepletions->cend())
                continue;
            for (int y = 0; y < int(found->size()); ++y) {
                const double value = (*found)[y];
                const auto total = totals.find(_firstYear + y);
                if (total == totals.end())
                    totals.insert(_firstYear + y, value);
                else if (DemandMath::isMissing(*total))
                    *total = value;
                else if (!DemandMath::isMissing(value))
                    *total += value;
            }
        }
        members.finish();
        return *_baselineTotals.insert(demandChgID, totals);
    }
    _selectBaselineTotals.bind(0, demandChgID);
    _selectBaselineTotals.exec(QStringLiteral("Unable to query for baseline values: %1"));
    QSqlQuery& query = _selectBaselineTotals.query();
    while (query.next())
        totals.insert(query.value(0).toInt(), TARN::toDouble(query.value(1)));
    query.finish();
    return *_baselineTotals.insert(demandChgID, totals);
}

void ScenarioDemandCalculator::adjustWaterUserData(int waterUserID)
{
    _selectNewestChange.bind(0, waterUserID);
    _selectNewestChange.bind(1, _scenarioID);
    _selectNewestChange.exec(QStringLiteral("Unable to query for demand changes: %1"));
    QSqlQuery& newest = _selectNewestChange.query();
    const bool traced = tracedYear(waterUserID) >= 0;
    if (!newest.next()) {
        newest.finish();
        if (traced)
            _trace->noChange(_scenarioName);
        DemandCalculator::adjustWaterUserData(waterUserID);
        return;
    }
    const int demandChgID = newest.value(0).toInt();
    const int depletionMethod = newest.value(TP::DemandChgDepletionMethod).toInt();
    const int efficiencyMethod = newest.value(TP::DemandChgEfficiencyMethod).toInt();
    const QString name = traced ? newest.value(TP::DemandChgName).toString() : QString();
    const QString created = traced ? newest.value(TP::DemandChgCreatedDate).toString() : QString();
    newest.finish();

    const ScenarioChanges::DemandChange& change
        = demandChange(demandChgID, depletionMethod, efficiencyMethod);
    if (traced)
        traceChosenChange(waterUserID, demandChgID, change, name, created);

    const QHash<int, double>& totals = baselineTotals(demandChgID);
    QVector<ScenarioChanges::BaselineRow> rows;
    rows.reserve(_data.yearCount());
    if (_baselineDepletions) {
        const auto found = _baselineDepletions->constFind(waterUserID);
        if (found != _baselineDepletions->cend()) {
            for (int y = 0; y < int(found->size()); ++y) {
                const auto total = totals.constFind(_firstYear + y);
                if (total != totals.constEnd())
                    rows.append({ _firstYear + y, (*found)[y], *total });
            }
        }
        ScenarioChanges::apply(*_data.find(waterUserID), _firstYear, change, rows, _trace);
        return;
    }
    const QString failure = QStringLiteral("Unable to query for baseline values: %1");
    _selectBaselineDepletion.bind(0, waterUserID);
    _selectBaselineDepletion.exec(failure);
    QSqlQuery& baseline = _selectBaselineDepletion.query();
    while (baseline.next()) {
        const int year = baseline.value(0).toInt();
        const auto total = totals.constFind(year);
        if (total == totals.constEnd())
            continue;
        rows.append({ year, TARN::toDouble(baseline.value(1)), *total });
    }
    baseline.finish();

    ScenarioChanges::apply(*_data.find(waterUserID), _firstYear, change, rows, _trace);
}

void ScenarioDemandCalculator::traceChosenChange(int waterUserID, int demandChgID,
    const ScenarioChanges::DemandChange& change, const QString& name, const QString& created)
{
    QVector<CalcTrace::Change> others;
    _selectSelectingChanges.bind(0, waterUserID);
    _selectSelectingChanges.bind(1, _scenarioID);
    _selectSelectingChanges.exec(QStringLiteral("Unable to query for demand changes: %1"));
    QSqlQuery& query = _selectSelectingChanges.query();
    while (query.next()) {
        const int id = query.value(0).toInt();
        if (id != demandChgID) {
            others.append({ id, query.value(TP::DemandChgName).toString(),
                query.value(TP::DemandChgCreatedDate).toString() });
        }
    }
    query.finish();
    _trace->changeChosen(_scenarioName, { demandChgID, name, created }, others,
        change.depletionMethod, change.efficiencyMethod, change.waterUserCount);
}
