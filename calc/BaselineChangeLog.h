#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// The edits made since the last save, per site and water user. The dialogs record into it while
// the user edits; the calculators read it to decide what to recompute and to word their
// diagnostic lines. A plain value: no signals, no database.
class BaselineChangeLog {
public:
    enum Kind {
        Blank = 0,
        AggDivEdited = 1,
        WaterUserEdited = 3,
        WaterUserAdded = 4,
        WaterUserDeleted = 5
    };

    struct Entry {
        int kind = Blank;
        bool isAggDiv = false;
        int aggDivID = -1;
        QString aggDivName;
        int waterUserID = -1;
        QString waterUserName;
        // The demand changes that selected the water user before the edit took it out of them
        // (deleted, or moved to another site).
        QList<int> demandChgIDs;

        // "Agg Diversion 007.North Canal was edited", "Water User 012.Upper Ditch was added".
        QString text() const;
    };

    // Recording. The entry accessors create what is missing and return the entry to change.
    Entry& aggDivEntry(int aggDivID);
    void aggDivEdited(int aggDivID, const QString& name);
    void aggDivsTouched(int aggDivA, int aggDivB);
    Entry& waterUserEntry(int aggDivID, int waterUserID);
    void waterUserAdded(int aggDivID, int waterUserID, const QString& name);
    void waterUserEdited(int aggDivID, int waterUserID, const QString& name);
    void waterUserDeleted(int aggDivID, int waterUserID, const QString& name);
    // Remembers demand changes the water user belonged to: the shares of their other members
    // follow from all members, so those members are recomputed in the scenarios too.
    void demandChangesLeft(int aggDivID, int waterUserID, const QList<int>& demandChgIDs);
    void setFullRecalculation() { _fullRecalc = true; }
    // Adds what other recorded, as if its edits had been made here after this log's own.
    void merge(const BaselineChangeLog& other);
    void clear();

    // Reading.
    bool hasChanges() const { return !_entries.isEmpty() || _fullRecalc; }
    bool fullRecalculation() const { return _fullRecalc; }
    bool aggDivChanged(int aggDivID) const { return _entries.contains(aggDivID); }
    // The sites with entries, ascending.
    QList<int> aggDivIDs() const { return _entries.keys(); }
    bool waterUserChanged(int aggDivID, int waterUserID) const;
    QStringList aggDivReasons(int aggDivID) const;
    QString waterUserReason(int aggDivID, int waterUserID) const;
    // Every water user entry, site by site.
    QList<Entry> waterUserEntries() const;

    static QString kindWord(int kind);

private:
    const Entry* findWaterUser(int aggDivID, int waterUserID) const;

    bool _fullRecalc = false;
    QMap<int, QList<Entry>> _entries;
};
