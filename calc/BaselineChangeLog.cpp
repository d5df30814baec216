#include "calc/BaselineChangeLog.h"

QString BaselineChangeLog::kindWord(int kind)
{
    switch (kind) {
    case AggDivEdited:
    case WaterUserEdited:
        return QStringLiteral("edited");
    case WaterUserAdded:
        return QStringLiteral("added");
    case WaterUserDeleted:
        return QStringLiteral("deleted");
    default:
        return QString();
    }
}

QString BaselineChangeLog::Entry::text() const
{
    const QString what = isAggDiv ? QStringLiteral("Agg Diversion") : QStringLiteral("Water User");
    const int id = isAggDiv ? aggDivID : waterUserID;
    const QString& name = isAggDiv ? aggDivName : waterUserName;
    return QStringLiteral("%1 %2.%3 was %4")
        .arg(what)
        .arg(id, 3, 10, QLatin1Char('0'))
        .arg(name, kindWord(kind));
}

BaselineChangeLog::Entry& BaselineChangeLog::aggDivEntry(int aggDivID)
{
    QList<Entry>& list = _entries[aggDivID];
    // Entry 0 is reserved for the site itself, so the site's own reason is always listed first.
    if (list.isEmpty() || !list.first().isAggDiv)
        list.insert(0, Entry());
    return list.first();
}

void BaselineChangeLog::aggDivEdited(int aggDivID, const QString& name)
{
    Entry& entry = aggDivEntry(aggDivID);
    entry.kind = AggDivEdited;
    entry.isAggDiv = true;
    entry.aggDivID = aggDivID;
    entry.aggDivName = name;
}

void BaselineChangeLog::aggDivsTouched(int aggDivA, int aggDivB)
{
    for (const int id : { aggDivA, aggDivB }) {
        Entry& entry = aggDivEntry(id);
        entry.kind = AggDivEdited;
        entry.isAggDiv = true;
        entry.aggDivID = id;
        entry.aggDivName.clear();
    }
}

BaselineChangeLog::Entry& BaselineChangeLog::waterUserEntry(int aggDivID, int waterUserID)
{
    QList<Entry>& list = _entries[aggDivID];
    for (Entry& entry : list) {
        if (!entry.isAggDiv && entry.waterUserID == waterUserID)
            return entry;
    }
    Entry blank;
    blank.aggDivID = aggDivID;
    blank.waterUserID = waterUserID;
    list.append(blank);
    return list.last();
}

void BaselineChangeLog::waterUserAdded(int aggDivID, int waterUserID, const QString& name)
{
    Entry& entry = waterUserEntry(aggDivID, waterUserID);
    entry.kind = WaterUserAdded;
    entry.isAggDiv = false;
    entry.waterUserID = waterUserID;
    entry.waterUserName = name;
}

void BaselineChangeLog::waterUserEdited(int aggDivID, int waterUserID, const QString& name)
{
    Entry& entry = waterUserEntry(aggDivID, waterUserID);
    // A water user added in this session stays "added" however often it is edited afterwards.
    if (entry.kind == WaterUserAdded)
        return;
    entry.kind = WaterUserEdited;
    entry.isAggDiv = false;
    entry.waterUserID = waterUserID;
    entry.waterUserName = name;
}

void BaselineChangeLog::waterUserDeleted(int aggDivID, int waterUserID, const QString& name)
{
    Entry& entry = waterUserEntry(aggDivID, waterUserID);
    entry.kind = WaterUserDeleted;
    entry.isAggDiv = false;
    entry.waterUserID = waterUserID;
    entry.waterUserName = name;
}

void BaselineChangeLog::demandChangesLeft(
    int aggDivID, int waterUserID, const QList<int>& demandChgIDs)
{
    Entry& entry = waterUserEntry(aggDivID, waterUserID);
    for (const int id : demandChgIDs) {
        if (!entry.demandChgIDs.contains(id))
            entry.demandChgIDs.append(id);
    }
}

void BaselineChangeLog::merge(const BaselineChangeLog& other)
{
    if (other._fullRecalc)
        _fullRecalc = true;
    for (auto site = other._entries.cbegin(); site != other._entries.cend(); ++site) {
        for (const Entry& entry : site.value()) {
            if (entry.isAggDiv) {
                if (entry.aggDivName.isEmpty() && aggDivChanged(site.key()))
                    continue;
                Entry& mine = aggDivEntry(site.key());
                mine = entry;
                continue;
            }
            switch (entry.kind) {
            case WaterUserAdded:
                waterUserAdded(site.key(), entry.waterUserID, entry.waterUserName);
                break;
            case WaterUserDeleted:
                waterUserDeleted(site.key(), entry.waterUserID, entry.waterUserName);
                break;
            default:
                waterUserEdited(site.key(), entry.waterUserID, entry.waterUserName);
                break;
            }
            demandChangesLeft(site.key(), entry.waterUserID, entry.demandChgIDs);
        }
    }
}

void BaselineChangeLog::clear()
{
    _entries.clear();
    _fullRecalc = false;
}

const BaselineChangeLog::Entry* BaselineChangeLog::findWaterUser(
    int aggDivID, int waterUserID) const
{
    const auto it = _entries.constFind(aggDivID);
    if (it == _entries.constEnd())
        return nullptr;
    for (const Entry& entry : *it) {
        if (!entry.isAggDiv && entry.waterUserID == waterUserID)
            return &entry;
    }
    return nullptr;
}

bool BaselineChangeLog::waterUserChanged(int aggDivID, int waterUserID) const
{
    return findWaterUser(aggDivID, waterUserID) != nullptr;
}

QStringList BaselineChangeLog::aggDivReasons(int aggDivID) const
{
    QStringList reasons;
    const auto it = _entries.constFind(aggDivID);
    if (it == _entries.constEnd())
        return reasons;
    for (const Entry& entry : *it)
        reasons.append(entry.text());
    return reasons;
}

QString BaselineChangeLog::waterUserReason(int aggDivID, int waterUserID) const
{
    const Entry* entry = findWaterUser(aggDivID, waterUserID);
    return entry ? entry->text() : QString();
}

QList<BaselineChangeLog::Entry> BaselineChangeLog::waterUserEntries() const
{
    QList<Entry> entries;
    for (const QList<Entry>& list : _entries) {
        for (const Entry& entry : list) {
            if (!entry.isAggDiv && entry.waterUserID != -1)
                entries.append(entry);
        }
    }
    return entries;
}
