#pragma once

#include "db/okstat.h"

#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVector>

// The attributes and valid values of the open project, as the attribute filter panels show
// them. Shared by all panels and read by the first panel set up after a change: after another
// project was opened, after invalidate(), or after the attribute or valid value tables of the
// data-access object changed. Keyed by id, so the size does not depend on how large the ids of a
// file are.
class AttributeCache {
public:
    struct Value {
        int AttrID = 0;
        QString AttrName;
        int AttrValidValID = 0;
        QString AttrVal;
    };

    static AttributeCache& instance();

    // Reads the tables unless the cache is current; typeText names the asking panel in the
    // error message.
    TARN::okstat ensureLoaded(const QString& typeText);
    // Marks the cache out of date; the next panel re-reads it.
    static void invalidate();

    bool isLoaded() const { return _loaded; }
    // Number of reads so far.
    int loadCount() const { return _loadCount; }

    // Valid value ids in ascending order.
    const QVector<int>& valueIds() const { return _valueIds; }
    Value value(int attrValidValId) const { return _values.value(attrValidValId); }
    int valueCount(int attrId) const { return _valueCounts.value(attrId); }
    // Site attributes for panel type 0, water user attributes (every other type) for 1.
    const QSet<int>& attributesOfPanel(int panelType) const
    {
        return panelType == 0 ? _siteAttributes : _waterUserAttributes;
    }

private:
    AttributeCache() = default;
    bool isCurrent() const;
    void clear();
    void watchModels();

    QHash<int, Value> _values;
    QVector<int> _valueIds;
    QHash<int, int> _valueCounts;
    QSet<int> _siteAttributes;
    QSet<int> _waterUserAttributes;

    bool _loaded = false;
    bool _changed = false;
    int _loadCount = 0;
    // What the cache was read from: the access object of that open (replaced by every open of
    // another file), the file path and the change generation.
    QPointer<QObject> _source;
    QString _path;
    quint64 _generation = 0;
    QList<QMetaObject::Connection> _watches;

    static quint64 _currentGeneration;
};
