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
    // The stored baseline depletions of a change's members, for b and B. Only water users that
    // are baseline water users of a site count: rows left behind by a water user that was
    // deleted or moved into a scenario are no baseline any more. One statement per change (the
    // IN list is looked up, so the rows are found with or without an index on the owner).
    const ColumnNames& columns = TarnDbMgr::instance()->columns();
    _selectStoredBaseline.prepare(_db,
        QStringLiteral("SELECT bywu.%1, bywu.%2, bywu.%3 FROM %4 bywu WHERE bywu.%1 IN (SELECT "
                       "m.%1 FROM %5 m JOIN %6 wu ON wu.%1 = m.%1 JOIN %7 a ON a.%8 = wu.%8 WHERE "
                       "m.%9 = ? AND wu.%10 IS NULL) ORDER BY bywu.%1, bywu.%2, bywu.%11")
            .arg(TN::WaterUserID, TN::Year, TN::DepletionValue, TN::BaseYearlyWaterUserTable,
                TN::DemandChgWaterUserTable, TN::WaterUserTable, TN::AggDivTable, TN::AggDivID,
                TN::DemandChgID)
            .arg(TN::ScenarioID, columns.at(TN::BaseYearlyWaterUserTable, TP::Key)));

    _selectWaterUsers.prepare(_db,
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %3.%4 = ? AND (%3.%5 = %6 OR %3.%5 IS "
                       "NULL) ORDER BY %1")
            .arg(TN::WaterUserID, TN::RiffleName, TN::WaterUserTable, TN::AggDivID, TN::ScenarioID,
                id));
    _countChangeWaterUsers.prepare(_db,
        QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %1.%2 = ?")
            .arg(TN::DemandChgWaterUserTable, TN::DemandChgID));
    const QString changeRows
        = QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %4.%5 = ? ORDER BY %6");
    for (auto [statement, table] : { std::pair { &_selectDepletionChanges, TN::DepletionChgTable },
             std::pair { &_selectEfficiencyChanges, TN::EfficiencyChgTable } }) {
        statement->prepare(_db,
            changeRows.arg(TN::Year, TN::ChangeTypeID, columns.at(table, TP::ChangeValue), table,
                TN::DemandChgID, columns.at(table, TP::Key)));
    }
    // B is summed in this order.
    _selectChangeMembers.prepare(_db,
        QStringLiteral("SELECT %1 FROM %2 WHERE %2.%3 = ? ORDER BY %1")
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
    _storedBaseline.clear();
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
        change.value = TARN::storedNumber(query.value(2));
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
    if (_changeEdit)
        _changeEdit(change);
    return *_changes.insert(demandChgID, change);
}

void ScenarioDemandCalculator::readStoredBaseline(int demandChgID)
{
    _selectStoredBaseline.bind(0, demandChgID);
    _selectStoredBaseline.exec(QStringLiteral("Unable to query for baseline values: %1"));
    QSqlQuery& query = _selectStoredBaseline.query();
    const int years = _data.yearCount();
    ScenarioChanges::BaselineSeries* series = nullptr;
    int seriesOf = 0;
    bool known = false;
    while (query.next()) {
        const int waterUserID = query.value(0).toInt();
        if (!series || seriesOf != waterUserID) {
            seriesOf = waterUserID;
            known = _storedBaseline.contains(waterUserID);
            series = &_storedBaseline[waterUserID];
            if (!known) {
                series->depletion.assign(static_cast<size_t>(years), DemandMath::missing());
                series->hasRow.assign(static_cast<size_t>(years), 0);
            }
        }
        const int y = query.value(1).toInt() - _firstYear;
        // Of two rows of one year, the first stored one.
        if (known || y < 0 || y >= years || series->hasRow[y])
            continue;
        series->hasRow[y] = 1;
        series->depletion[y] = TARN::storedNumber(query.value(2));
    }
    query.finish();
}

const ScenarioChanges::BaselineTotals& ScenarioDemandCalculator::baselineTotals(int demandChgID)
{
    auto it = _baselineTotals.find(demandChgID);
    if (it != _baselineTotals.end())
        return *it;
    QVector<int> members;
    _selectChangeMembers.bind(0, demandChgID);
    _selectChangeMembers.exec(QStringLiteral("Unable to query for baseline values: %1"));
    QSqlQuery& query = _selectChangeMembers.query();
    while (query.next())
        members.append(query.value(0).toInt());
    query.finish();
    if (!_baselineDepletions)
        readStoredBaseline(demandChgID);
    return *_baselineTotals.insert(demandChgID,
        ScenarioChanges::sumBaseline(members,
            _baselineDepletions ? *_baselineDepletions : _storedBaseline, _data.yearCount()));
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

    const ScenarioChanges::BaselineTotals& totals = baselineTotals(demandChgID);
    const QVector<ScenarioChanges::BaselineRow> rows = ScenarioChanges::baselineRows(waterUserID,
        _baselineDepletions ? *_baselineDepletions : _storedBaseline, totals, _firstYear);
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
