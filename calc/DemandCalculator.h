#pragma once

#include "calc/AggDivCalcData.h"
#include "calc/CalcStatement.h"
#include "calc/CalcStatusInfo.h"
#include "calc/ResultStore.h"
#include "db/okstat.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QThread>
#include <QVector>

class BaselineChangeLog;
class CalcObserver;
class CalcTrace;

// Base of every calculation that turns the project's input data into stored result tables.
// The owner constructs a concrete calculator on the GUI thread, calls initialize(), connects the
// signals (queued) and starts the thread; run() then works through the sites and their water
// users on the manager's one connection while the GUI waits. Subclasses supply the statements
// on their result tables and the few steps that differ.
//
// Inputs are read with statements indexed by site or water user, never by scanning a whole
// table, and no model that a view shows is touched from the worker thread.
class DemandCalculator : public QThread {
    Q_OBJECT

public:
    explicit DemandCalculator(QObject* parent = nullptr);
    // Waits for the thread: the owner may delete the calculator as soon as calcFinished arrived,
    // while run() is still returning.
    ~DemandCalculator() override;

    // changeLog is read, not owned, and must outlive the run. With ownsTransaction the run
    // begins, commits or rolls back its own transaction; without it, it writes inside the
    // caller's open transaction.
    TARN::okstat initialize(const BaselineChangeLog* changeLog, bool ownsTransaction);

    QString target() const { return _target; }

    // Before initialize: compute in memory and compare with the stored results without writing
    // anything or opening a transaction (the project check). The observer, when given, hears of
    // every site and water user computed, in either mode.
    void setCompareOnly(bool compareOnly) { _compareOnly = compareOnly; }
    void setObserver(CalcObserver* observer) { _observer = observer; }
    // Before initialize: compute in memory without reading or writing the stored results (an
    // ensemble member, a variant of the run whose stored rows are not its own); the observer
    // hears of every site and water user computed, each with an empty difference.
    void setDiscardResults(bool discard) { _discardResults = discard; }
    // Before initialize: work on another connection than the manager's (the project check reads
    // through a connection of each of its threads), and on only some of the sites.
    void setConnection(const QSqlDatabase& db) { _db = db; }
    void setOnlyAggDivs(const QList<int>& aggDivIDs)
    {
        _onlyAggDivs = aggDivIDs;
        _someAggDivs = true;
    }
    // Before the run, for a run without recorded edits (plain "recalc"): instead of skipping
    // every site that has stored results, compute every site and bring whatever no longer
    // follows the inputs up to date (edits made by another program included), writing only
    // what differs; the diagnostic lines name what was stale and skip the rest.
    void setRefreshStale(bool refresh) { _refreshStale = refresh; }
    // Before the run: compute only this site, as explaining one of its values needs no other.
    void setOnlyAggDiv(int aggDivID) { setOnlyAggDivs({ aggDivID }); }
    // Before the run: record the steps of the value the trace follows (not owned; null, the
    // default, records nothing).
    void setTrace(CalcTrace* trace) { _trace = trace; }
    // Runs the whole calculation on the calling thread instead of a thread of its own; the
    // result is what calcFinished would carry (which is not emitted).
    TARN::okstat runHere();
    // Rows the run wrote (inserted, updated or deleted); 0 for an up-to-date project.
    qint64 writtenRows() const { return _results.writtenRows(); }

    // "007.North Canal": the ID zero-padded to three digits, a dot and the name.
    static QString itemLabel(int id, const QString& name);

signals:
    void calcStatus(const CalcStatusInfo& info);
    void calcFinished(const TARN::okstat& result);
    void diagMessage(const QString& line);

protected:
    void run() override;

    virtual void calculate();
    virtual void calculateAggDivs(CalcStatusInfo& info);
    virtual void prepareInputQueries();
    virtual void prepareQueries() = 0;
    virtual void loadAggDivData();
    virtual void adjustWaterUserData(int waterUserID);
    // The scenario whose result tables the run writes; 0 for the baseline's.
    virtual int resultsScenarioID() const { return 0; }
    // Fills _waterUsers with the water users of the current site that this run calculates.
    virtual void filterWaterUsers() = 0;

    // Refuses a run without a time range or whose start year is after its end year, before
    // anything is deleted.
    void checkYearRange() const;
    // Runs calculateAggDivs over _aggDivIDs inside the owned transaction.
    void calculateInTransaction();
    // Makes the site current and loads its working set; failures name the site.
    void prepareAggDiv(int aggDivID);
    // With lines (a refreshing run), the diagnostic lines go there instead of out, and the
    // return value says whether the water user's results were stale.
    bool calculateWaterUser(
        CalcStatusInfo& info, int waterUserID, const QString& name, QStringList* lines = nullptr);
    // A refreshing run's reason line for an owner whose stored results differed.
    static QString staleReason(const ResultStore::Difference& difference);
    // The diagnostic lines of a part computed: the header, with the reasons recorded for it, or
    // saying that it had no results.
    QStringList computingLines(const QString& header, bool full, const QStringList& reasons) const;
    bool aggDivHasResults(int aggDivID);
    bool waterUserHasResults(int waterUserID);

    // Reads the water users of a statement (ID, RiffleName) into _waterUsers.
    void readWaterUsers(CalcStatement& statement);
    // The entry of a water user of the current site; throws when it was not loaded.
    const AggDivCalcData::WaterUserEntry& entryOf(int waterUserID) const;

    void emitStatus(const CalcStatusInfo& info) { emit calcStatus(info); }
    // The year index the trace follows for this water user; -1 when it follows another one.
    int tracedYear(int waterUserID) const;
    // The site's part of an explanation: its water users' values and its salinity.
    void traceSiteSalinity(int yearIndex, DemandMath::SalinityRule rule);

    struct WaterUserItem {
        int id = 0;
        QString name;
    };

    QSqlDatabase _db;
    const BaselineChangeLog* _changeLog = nullptr;
    bool _ownsTransaction = false;
    QString _target;
    int _firstYear = 0;
    int _lastYear = -1;
    bool _rangeRead = false;
    QList<int> _aggDivIDs;
    // Sites and water users to recompute although the change log names none of their own edits,
    // each with the reasons to list (the entries of the edits they depend on).
    QHash<int, QStringList> _dependentSites;
    QHash<int, QStringList> _dependentWaterUsers;

    // The current site.
    int _aggDivID = -1;
    QString _aggDivName;
    int _salinityMethodID = 0;
    QString _salinitySlot;
    QVector<WaterUserItem> _waterUsers;
    AggDivCalcData _data;
    std::vector<DemandMath::SiteSalinity> _salinity; // per year of the current site

    // The run's result tables, compared with and brought in line with what is computed.
    ResultStore _results;
    bool _compareOnly = false;
    bool _discardResults = false;
    bool _refreshStale = false;
    bool _allSites = false; // the run visits every site of the project
    bool _someAggDivs = false;
    QList<int> _onlyAggDivs;
    CalcObserver* _observer = nullptr;
    CalcTrace* _trace = nullptr;

    // Input statements.
    CalcStatement _selectAggDivIDs;
    CalcStatement _selectAggDiv;
    CalcStatement _selectSalinityMethod;
    CalcStatement _selectYearlyData;
    CalcStatement _selectDistribution;
};
