#include "calc/DemandCalculator.h"

#include "calc/BaselineChangeLog.h"
#include "calc/CalcObserver.h"
#include "calc/CalcTrace.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnException.h"
#include "db/TarnNames.h"

#include <QSqlError>

DemandCalculator::DemandCalculator(QObject* parent)
    : QThread(parent)
    , _db(TarnDbMgr::instance()->database())
{
}

DemandCalculator::~DemandCalculator()
{
    wait();
}

QString DemandCalculator::itemLabel(int id, const QString& name)
{
    return QStringLiteral("%1.%2").arg(id, 3, 10, QLatin1Char('0')).arg(name);
}

TARN::okstat DemandCalculator::initialize(const BaselineChangeLog* changeLog, bool ownsTransaction)
{
    _changeLog = changeLog;
    _ownsTransaction = ownsTransaction;
    _aggDivIDs.clear();
    prepareInputQueries();
    prepareQueries();

    _firstYear = 0;
    _lastYear = -1;
    _rangeRead = false;
    QSqlQuery range(_db);
    if (range.exec(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %4 LIMIT 1")
                       .arg(TN::StartYear, TN::EndYear, TN::BaselineTable, TN::BaselineID))
        && range.next()) {
        _firstYear = range.value(0).toInt();
        _lastYear = range.value(1).toInt();
        _rangeRead = true;
    }
    range.finish();
    _data.setYearRange(_firstYear, _lastYear);
    _results.prepare(_db, resultsScenarioID(), _firstYear, _lastYear,
        _discardResults    ? ResultStore::Discard
            : _compareOnly ? ResultStore::Compare
                           : ResultStore::Write);
    // Nothing is written when comparing, so there is no transaction to own.
    if (_compareOnly || _discardResults)
        _ownsTransaction = false;
    return {};
}

void DemandCalculator::prepareInputQueries()
{
    _selectAggDivIDs.prepare(
        _db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %1").arg(TN::AggDivID, TN::AggDivTable));
    _selectAggDiv.prepare(_db,
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 = ?")
            .arg(TN::RiffleName, TN::SalinityMethodID, TN::AggDivTable, TN::AggDivID));
    _selectSalinityMethod.prepare(_db,
        QStringLiteral("SELECT * FROM %1 WHERE %1.%2 = ?")
            .arg(TN::SalinityMethodTable, TN::SalinityMethodID));
    // The keys and the coefficient columns may be named anything in a file made elsewhere.
    const ColumnNames& columns = TarnDbMgr::instance()->columns();
    _selectYearlyData.prepare(_db,
        QStringLiteral("SELECT %1, %2, %3, %4, %5 FROM %6 WHERE %7 = ? ORDER BY %1, %8")
            .arg(TN::Year, TN::DiversionReq, TN::DepletionReq, TN::EfficiencyRatio,
                TN::SalinityPickup, TN::WaterUserDataTable, TN::WaterUserID,
                columns.at(TN::WaterUserDataTable, TP::Key)));
    _selectDistribution.prepare(_db,
        QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY %4 LIMIT 1")
            .arg(columns.range(TN::WaterUserDistTable, TP::FirstCoefficient, TP::LastCoefficient),
                TN::WaterUserDistTable, TN::WaterUserID,
                columns.at(TN::WaterUserDistTable, TP::Key)));
}

void DemandCalculator::run()
{
    emit calcFinished(runHere());
}

TARN::okstat DemandCalculator::runHere()
{
    TARN::okstat result;
    try {
        checkYearRange();
        calculate();
    } catch (const TarnException& e) {
        const QString text = e.message();
        result = QStringLiteral("Unable to compute: %1")
                     .arg(text.isEmpty() ? QStringLiteral("Unknown exception") : text);
    } catch (const std::exception& e) {
        // Anything else (out of memory) must still end the run, or the status dialog would wait
        // forever.
        const QString text = QString::fromUtf8(e.what());
        result = QStringLiteral("Unable to compute: %1")
                     .arg(text.isEmpty() ? QStringLiteral("Unknown exception") : text);
    }
    return result;
}

void DemandCalculator::checkYearRange() const
{
    // A run over no years would delete every result it visits and write nothing back.
    if (!_rangeRead)
        throw TarnException(QStringLiteral("Unable to read the baseline time range"));
    if (_firstYear > _lastYear) {
        throw TarnException(
            QStringLiteral("The baseline time range is not valid: the start year %1 is after "
                           "the end year %2")
                .arg(_firstYear)
                .arg(_lastYear));
    }
}

void DemandCalculator::calculate()
{
    _aggDivIDs.clear();
    if (_someAggDivs) {
        _aggDivIDs = _onlyAggDivs;
        calculateInTransaction();
        return;
    }
    _selectAggDivIDs.exec(QStringLiteral("Unable to query AggDiv: %1"));
    QSqlQuery& query = _selectAggDivIDs.query();
    while (query.next())
        _aggDivIDs.append(query.value(0).toInt());
    query.finish();
    _allSites = true;
    calculateInTransaction();
}

void DemandCalculator::calculateInTransaction()
{
    CalcStatusInfo info;
    info.target = _target;
    info.aggDivCount = _aggDivIDs.size();
    // The lines of a run follow the name of the run, the baseline or a scenario.
    emit diagMessage(QStringLiteral("Calculating %1:").arg(_target));

    if (_ownsTransaction) {
        // Without a transaction of its own the run's commit would end whatever else is open.
        const TARN::okstat begun
            = TarnDbMgr::instance()->beginTransaction(TarnDbMgr::Step::NotRecorded);
        if (begun.failed())
            throw TarnException(begun.text());
    }
    try {
        calculateAggDivs(info);
        // A run over every site that recomputes everything, or everything stale, also drops
        // the rows of owners that are no longer part of it.
        const bool full = _changeLog && _changeLog->fullRecalculation();
        if (_allSites && (full || _refreshStale) && _results.mode() == ResultStore::Write) {
            const qint64 removed = _results.removeOrphans();
            if (removed > 0) {
                emit diagMessage(QStringLiteral("Removed %1 result rows of water users, sites or "
                                                "scenarios that are no longer part of the %2")
                                     .arg(QString::number(removed),
                                         resultsScenarioID() ? QStringLiteral("scenario")
                                                             : QStringLiteral("baseline")));
            }
        }
        if (_ownsTransaction) {
            // Results that never reached the file must not be reported as stored.
            const TARN::okstat committed = TarnDbMgr::instance()->commit();
            if (committed.failed())
                throw TarnException(
                    QStringLiteral("Unable to commit the results: %1").arg(committed.text()));
        }
    } catch (...) {
        if (_ownsTransaction)
            TarnDbMgr::instance()->rollback();
        throw;
    }
    emitStatus(CalcStatusInfo());
}

void DemandCalculator::calculateAggDivs(CalcStatusInfo& info)
{
    const bool full = _changeLog && _changeLog->fullRecalculation();
    const bool refresh = _refreshStale && !full;
    for (const int aggDivID : qAsConst(_aggDivIDs)) {
        info.status = QStringLiteral("Checking agg diversion");
        info.aggDivName.clear();
        emitStatus(info);

        const bool edited = (_changeLog && _changeLog->aggDivChanged(aggDivID))
            || _dependentSites.contains(aggDivID);
        const auto skipped = [&]() {
            emit diagMessage(QStringLiteral("Skipping Agg Diversion %1").arg(aggDivID));
            info.aggDivName.clear();
            ++info.aggDivDone;
            info.waterUserDone = 0;
            info.status.clear();
            emitStatus(info);
        };
        if (!full && !edited && !refresh && aggDivHasResults(aggDivID)) {
            skipped();
            continue;
        }

        prepareAggDiv(aggDivID);
        info.status = QStringLiteral("Calculating agg diversion data");
        info.aggDivName = _aggDivName;
        emitStatus(info);

        const QString header
            = QStringLiteral("Computing Agg Diversion %1").arg(itemLabel(aggDivID, _aggDivName));
        QStringList reasons;
        if (!full) {
            if (_changeLog)
                reasons = _changeLog->aggDivReasons(aggDivID);
            for (const QString& reason : _dependentSites.value(aggDivID)) {
                if (!reasons.contains(reason))
                    reasons.append(reason);
            }
        }
        // A refreshing run says what it computes once it knows what was stale.
        const auto emitHeader = [&]() {
            for (const QString& line : computingLines(header, full, reasons))
                emit diagMessage(line);
        };
        if (!refresh)
            emitHeader();

        _salinity.resize(_data.yearCount());
        const int traced
            = _trace && _trace->followsSite(aggDivID) ? _trace->year() - _firstYear : -1;
        DemandMath::SalinityRule rule = DemandMath::SalinityRule::UnknownMethod;
        for (int y = 0; y < _data.yearCount(); ++y)
            _salinity[y] = _data.siteSalinity(_salinityMethodID, y, y == traced ? &rule : nullptr);
        if (traced >= 0 && traced < _data.yearCount())
            traceSiteSalinity(traced, rule);
        const ResultStore::Difference difference = _results.syncAggDiv(aggDivID, _salinity);
        if (_observer)
            _observer->aggDivCalculated(aggDivID, _aggDivName, _salinity, difference);

        info.status.clear();
        emitStatus(info);
        info.waterUserCount = _data.entryCount();
        QStringList waterUserLines;
        bool stale = edited || !difference.equal();
        for (int i = 0; i < _data.entryCount(); ++i) {
            const AggDivCalcData::WaterUserEntry& entry = _data.entry(i);
            stale = calculateWaterUser(
                        info, entry.id, entry.name, refresh ? &waterUserLines : nullptr)
                || stale;
        }
        if (refresh) {
            if (stale) {
                if (!difference.equal())
                    reasons.append(staleReason(difference));
                emitHeader();
                for (const QString& line : qAsConst(waterUserLines))
                    emit diagMessage(line);
            } else {
                emit diagMessage(QStringLiteral("Skipping Agg Diversion %1").arg(aggDivID));
            }
        }

        info.aggDivName.clear();
        ++info.aggDivDone;
        info.waterUserDone = 0;
        info.status.clear();
        emitStatus(info);
    }
}

QString DemandCalculator::staleReason(const ResultStore::Difference& difference)
{
    if (difference.storedRows == 0)
        return QStringLiteral("It had no stored results");
    return QStringLiteral("Its stored results were out of date (%1 yearly and %2 monthly rows "
                          "differed)")
        .arg(QString::number(difference.yearlyDiffering),
            QString::number(difference.monthlyDiffering));
}

void DemandCalculator::prepareAggDiv(int aggDivID)
{
    try {
        _aggDivID = aggDivID;
        filterWaterUsers();

        _selectAggDiv.bind(0, aggDivID);
        _selectAggDiv.exec(QStringLiteral("Unable to query AggDiv: %1"));
        QSqlQuery& site = _selectAggDiv.query();
        _aggDivName.clear();
        _salinityMethodID = 0;
        if (site.next()) {
            _aggDivName = site.value(0).toString();
            _salinityMethodID = site.value(1).toInt();
        }
        site.finish();

        _selectSalinityMethod.bind(0, _salinityMethodID);
        QSqlQuery& method = _selectSalinityMethod.query();
        if (!method.exec() || !method.next()) {
            const QString error = method.lastError().text();
            method.finish();
            throw TarnException(
                QStringLiteral("Cannot determine the salinity slot for agg diversion ID %1: %2")
                    .arg(aggDivID)
                    .arg(error));
        }
        _salinitySlot = QStringLiteral("%1.%2").arg(_aggDivName, method.value(2).toString());
        method.finish();

        loadAggDivData();
    } catch (const TarnException& e) {
        throw TarnException(QStringLiteral("Error initializing Agg Diversion %1: %2")
                                .arg(aggDivID)
                                .arg(e.message()));
    }
}

int DemandCalculator::tracedYear(int waterUserID) const
{
    if (!_trace || !_trace->followsWaterUser(waterUserID))
        return -1;
    const int y = _trace->year() - _firstYear;
    return y >= 0 && y < _data.yearCount() ? y : -1;
}

void DemandCalculator::traceSiteSalinity(int y, DemandMath::SalinityRule rule)
{
    for (int i = 0; i < _data.entryCount(); ++i) {
        const AggDivCalcData::WaterUserEntry& entry = _data.entry(i);
        _trace->siteInput(entry.id, entry.name, entry.value(AggDivCalcData::Diversion, y),
            entry.value(AggDivCalcData::Depletion, y),
            entry.value(AggDivCalcData::SalinityPickup, y));
    }
    _trace->salinity(_salinityMethodID, rule, _data.totalDiversion(y), _data.totalDepletion(y),
        _data.totalReturnFlow(y), _data.totalSalinity(y), _salinity[y], _data.entryCount());
}

void DemandCalculator::readWaterUsers(CalcStatement& statement)
{
    _waterUsers.clear();
    statement.exec(QStringLiteral("Unable to query WaterUser: %1"));
    QSqlQuery& query = statement.query();
    while (query.next())
        _waterUsers.append({ query.value(0).toInt(), query.value(1).toString() });
    query.finish();
}

void DemandCalculator::loadAggDivData()
{
    _data.reset(_aggDivID, _aggDivName);
    for (const WaterUserItem& waterUser : qAsConst(_waterUsers)) {
        AggDivCalcData::WaterUserEntry& entry = _data.addEntry(waterUser.id, waterUser.name);
        const int traced = tracedYear(waterUser.id);
        bool tracedRow = false;

        _selectYearlyData.bind(0, waterUser.id);
        _selectYearlyData.exec(QStringLiteral("Unable to query WaterUserData: %1"));
        QSqlQuery& yearly = _selectYearlyData.query();
        while (yearly.next()) {
            const int year = yearly.value(0).toInt();
            if (!_data.containsYear(year))
                continue;
            const int y = year - _firstYear;
            for (int kind = 0; kind < AggDivCalcData::KindCount; ++kind)
                entry.value(kind, y) = TARN::storedNumber(yearly.value(kind + 1));
            tracedRow = tracedRow || y == traced;
        }
        yearly.finish();
        if (traced >= 0) {
            const double read[AggDivCalcData::KindCount] = { entry.value(0, traced),
                entry.value(1, traced), entry.value(2, traced), entry.value(3, traced) };
            _trace->input(read, tracedRow);
        }

        _selectDistribution.bind(0, waterUser.id);
        _selectDistribution.exec(QStringLiteral("Unable to query WaterUserDist: %1"));
        QSqlQuery& dist = _selectDistribution.query();
        if (dist.next()) {
            for (int month = 0; month < 12; ++month) {
                const double coefficient = TARN::storedNumber(dist.value(month));
                entry.coefficients[month] = DemandMath::isMissing(coefficient) ? 0.0 : coefficient;
            }
        }
        dist.finish();

        adjustWaterUserData(waterUser.id);
        // Re-fetch: adjusting must not add entries, but the reference is cheap to renew.
        AggDivCalcData::WaterUserEntry* adjusted = _data.find(waterUser.id);
        if (traced < 0) {
            _data.deriveAll(*adjusted);
            continue;
        }
        auto values = [adjusted, traced](double* v) {
            for (int kind = 0; kind < 3; ++kind)
                v[kind] = adjusted->value(kind, traced);
        };
        double before[3];
        double after[3];
        values(before);
        DemandMath::Derivation rule = DemandMath::Derivation::Nothing;
        _data.deriveAll(*adjusted, traced, &rule);
        values(after);
        _trace->derived(rule, before, after);
    }
    _data.computeTotals();
}

void DemandCalculator::adjustWaterUserData(int waterUserID)
{
    AggDivCalcData::WaterUserEntry* entry = _data.find(waterUserID);
    const int traced = tracedYear(waterUserID);
    for (int kind = 0; kind < AggDivCalcData::KindCount; ++kind) {
        if (traced < 0) {
            DemandMath::fillGaps(entry->series(kind), entry->yearCount);
            continue;
        }
        DemandMath::GapNote note;
        note.index = traced;
        DemandMath::fillGaps(entry->series(kind), entry->yearCount, &note);
        _trace->gapFilled(kind, note, _firstYear, false);
    }
}

QStringList DemandCalculator::computingLines(
    const QString& header, bool full, const QStringList& reasons) const
{
    // A part computed only because it had no results yet has no recorded reason to list; one a
    // refreshing run computes for its water users' sake needs none.
    if (full || reasons.isEmpty())
        return { full || _refreshStale ? header : header + QStringLiteral(" (it had no results)") };
    QStringList lines { header + QStringLiteral(" for the following reason(s):") };
    for (const QString& reason : reasons)
        lines << QStringLiteral("    ") + reason;
    return lines;
}

bool DemandCalculator::calculateWaterUser(
    CalcStatusInfo& info, int waterUserID, const QString& name, QStringList* lines)
{
    info.status = QStringLiteral("Calculating water user data");
    info.waterUserName = name;
    emitStatus(info);

    const auto say = [this, lines](const QString& line) {
        if (lines)
            lines->append(line);
        else
            emit diagMessage(line);
    };
    const bool full = _changeLog && _changeLog->fullRecalculation();
    const bool edited = (_changeLog && _changeLog->waterUserChanged(_aggDivID, waterUserID))
        || _dependentWaterUsers.contains(waterUserID);
    bool stale = false;
    if (full || edited || lines || !waterUserHasResults(waterUserID)) {
        const AggDivCalcData::WaterUserEntry& entry = entryOf(waterUserID);
        const ResultStore::Difference difference = _results.syncWaterUser(entry);
        stale = edited || !difference.equal();
        QStringList reasons;
        if (!full) {
            const QString reason
                = _changeLog ? _changeLog->waterUserReason(_aggDivID, waterUserID) : QString();
            reasons
                = reason.isEmpty() ? _dependentWaterUsers.value(waterUserID) : QStringList(reason);
            if (lines && !difference.equal())
                reasons.append(staleReason(difference));
        }
        if (!lines || stale) {
            const QStringList computing = computingLines(
                QStringLiteral("Computing Water User %1").arg(itemLabel(waterUserID, name)), full,
                reasons);
            for (const QString& line : computing)
                say(line);
        } else {
            say(QStringLiteral("Skipping Water User %1").arg(itemLabel(waterUserID, name)));
        }
        const int traced = tracedYear(waterUserID);
        if (traced >= 0 && _trace->month() >= 1 && _trace->month() <= 12) {
            // The monthly rows are the ones the result store just compared or wrote.
            const int month = _trace->month();
            for (const int kind : { AggDivCalcData::Diversion, AggDivCalcData::Depletion }) {
                _trace->monthly(kind, entry.value(kind, traced), entry.coefficients[month - 1],
                    AggDivCalcData::monthlyValue(entry, kind, traced, month));
            }
        }
        if (_observer)
            _observer->waterUserCalculated(_aggDivID, entry, difference);
    } else {
        say(QStringLiteral("Skipping Water User %1").arg(itemLabel(waterUserID, name)));
    }

    info.waterUserName.clear();
    ++info.waterUserDone;
    info.status.clear();
    emitStatus(info);
    return stale;
}

bool DemandCalculator::aggDivHasResults(int aggDivID)
{
    return _results.aggDivHasResults(aggDivID);
}

bool DemandCalculator::waterUserHasResults(int waterUserID)
{
    return _results.waterUserHasResults(waterUserID);
}

const AggDivCalcData::WaterUserEntry& DemandCalculator::entryOf(int waterUserID) const
{
    const AggDivCalcData::WaterUserEntry* entry = _data.find(waterUserID);
    if (!entry) {
        throw TarnException(QStringLiteral("Water user %1 is not part of Agg Diversion %2")
                                .arg(waterUserID)
                                .arg(_aggDivID));
    }
    return *entry;
}
