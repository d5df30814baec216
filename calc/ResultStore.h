#pragma once

#include "calc/AggDivCalcData.h"
#include "calc/SqliteStatement.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

#include <vector>

// The stored results of one run (the baseline or one scenario), brought in line with what the
// calculation computed one site or water user at a time. The stored rows of the owner are read
// and compared with the computed ones; rows that are equal (the same values, NULLs equal) are
// left untouched, differing rows are updated, missing ones inserted and rows that should not
// exist (years outside the run, repeated months, malformed keys) deleted. Afterwards the tables
// hold exactly what deleting the owner's rows and inserting the computed ones would leave, keys
// aside, but a recalculation of an unchanged project writes nothing.
//
// In Compare mode nothing is written: the project check uses the same comparison to find
// results that no longer follow the inputs. In Discard mode the stored rows are neither read nor
// written: an ensemble member computes a variant of a scenario whose stored results are not its
// own, and takes what was computed from the calculator's observer.
class ResultStore {
public:
    enum Mode { Write, Compare, Discard };

    // How the stored rows of one owner compared with the computed ones.
    struct Difference {
        int storedRows = 0; // yearly and monthly rows found
        int yearlyDiffering = 0; // changed, missing or extra yearly rows
        int monthlyDiffering = 0;
        int firstYear = 0; // the first year with a difference; 0 when none is known
        bool equal() const { return yearlyDiffering == 0 && monthlyDiffering == 0; }
    };

    // scenarioID 0: the baseline tables. The month keys are those of the run's years.
    void prepare(const QSqlDatabase& db, int scenarioID, int firstYear, int lastYear, Mode mode);
    Mode mode() const { return _mode; }

    // Whether any yearly or monthly row of the owner is stored (the calculators' skip rule).
    bool aggDivHasResults(int aggDivID);
    bool waterUserHasResults(int waterUserID);

    // salinity: one yearly and one monthly value per year of the run.
    Difference syncAggDiv(int aggDivID, const std::vector<DemandMath::SiteSalinity>& salinity);
    Difference syncWaterUser(const AggDivCalcData::WaterUserEntry& entry);

    // Result rows of a run whose owner is not part of it: a water user that was deleted, moved
    // into a scenario or into another scenario, or whose site is gone, and a site that is gone;
    // for the baseline's run also the rows of scenarios that no longer exist. Nothing computes
    // them any more, and a scenario's B would still count a deleted baseline water user's.
    struct Orphans {
        QList<int> waterUsers;
        QList<int> sites;
        QList<int> scenarios;
        qint64 rows = 0;
    };
    // Throws TarnException when a statement fails.
    static Orphans findOrphans(const QSqlDatabase& db, int scenarioID);
    // Deletes this run's orphan rows (Write mode); the rows deleted.
    qint64 removeOrphans();

    // Rows written (inserted, updated or deleted) since prepare.
    qint64 writtenRows() const { return _writtenRows; }

    // "1990-03-01" in UTF-8 for year index y and month 1..12.
    const QByteArray& monthKey(int y, int month) const { return _monthKeys.at(y * 12 + month - 1); }

    static constexpr int BaselineID = 1;

private:
    // One result table of one kind of owner.
    struct Table {
        QString name;
        bool monthly = false;
        int valueCount = 0;
        SqliteStatement count;
        SqliteStatement select;
        SqliteStatement insert;
        SqliteStatement update;
        SqliteStatement remove;
    };
    struct Pending {
        qint64 key = 0;
        int row = 0;
    };

    void prepareTable(Table& table, const QSqlDatabase& db, const QString& ownerColumn,
        const QStringList& valueColumns, bool monthly);
    bool hasRows(Table& table, int ownerID);
    // value(row, v): the computed value v of row (year index, or year index * 12 + month - 1).
    template<typename Value>
    int syncTable(Table& table, int ownerID, int rowCount, Value value, Difference& difference);
    int rowOfTime(const Table& table, int column, int& year) const;
    void bindOwner(SqliteStatement& statement, int ownerID, int first) const;

    QSqlDatabase _db;
    Mode _mode = Write;
    int _scenarioID = 0;
    int _firstYear = 0;
    int _yearCount = 0;
    QVector<QByteArray> _monthKeys;
    Table _yearlyAggDiv;
    Table _monthlyAggDiv;
    Table _yearlyWaterUser;
    Table _monthlyWaterUser;
    qint64 _writtenRows = 0;

    // Reused per owner.
    std::vector<qint64> _matchedKey;
    std::vector<char> _matched;
    std::vector<Pending> _updates;
    std::vector<qint64> _deletes;
};
