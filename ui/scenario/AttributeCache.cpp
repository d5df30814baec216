#include "ui/scenario/AttributeCache.h"

#include "db/AttributeDAO.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"

#include <algorithm>

quint64 AttributeCache::_currentGeneration = 0;

AttributeCache& AttributeCache::instance()
{
    static AttributeCache cache;
    return cache;
}

void AttributeCache::invalidate()
{
    ++_currentGeneration;
}

bool AttributeCache::isCurrent() const
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    return _loaded && !_changed && _source && _source == mgr->attributeDAO() && _path == mgr->path()
        && _generation == _currentGeneration;
}

void AttributeCache::clear()
{
    _values.clear();
    _valueIds.clear();
    _valueCounts.clear();
    _siteAttributes.clear();
    _waterUserAttributes.clear();
    _loaded = false;
    for (const QMetaObject::Connection& watch : qAsConst(_watches))
        QObject::disconnect(watch);
    _watches.clear();
}

void AttributeCache::watchModels()
{
    AttributeDAO* dao = TarnDbMgr::instance()->attributeDAO();
    if (!dao)
        return;
    // Any edit of the attribute or valid value model (an added attribute, a re-selection after
    // a delete) makes the next panel read the tables again.
    const auto markChanged = [this] { _changed = true; };
    for (QAbstractItemModel* model : { static_cast<QAbstractItemModel*>(dao->attributeModel()),
             static_cast<QAbstractItemModel*>(dao->attrValidValModel()) }) {
        if (!model)
            continue;
        _watches << QObject::connect(model, &QAbstractItemModel::modelReset, model, markChanged)
                 << QObject::connect(model, &QAbstractItemModel::rowsInserted, model, markChanged)
                 << QObject::connect(model, &QAbstractItemModel::rowsRemoved, model, markChanged)
                 << QObject::connect(model, &QAbstractItemModel::dataChanged, model, markChanged);
    }
}

TARN::okstat AttributeCache::ensureLoaded(const QString& typeText)
{
    if (isCurrent())
        return {};
    clear();
    TarnDbMgr* mgr = TarnDbMgr::instance();
    ++_loadCount;

    QList<AttributeDAO::AttributeValueRow> rows;
    const TARN::okstat read = mgr->attributeDAO()
        ? mgr->attributeDAO()->getAttributeValues(rows)
        : TARN::okstat(QStringLiteral("no project is open"));
    if (read.failed())
        return QStringLiteral("Error querying the %1 attributes: %2").arg(typeText, read.text());

    for (const AttributeDAO::AttributeValueRow& row : qAsConst(rows)) {
        const int attrId = row.AttrID;
        if (row.AttrTypeID == TARN::AttrTypeAggDiv)
            _siteAttributes.insert(attrId);
        else
            _waterUserAttributes.insert(attrId);
        // An attribute without values comes once with a NULL value; it offers nothing to pick.
        if (row.AttrValidValID.isNull())
            continue;
        Value value;
        value.AttrID = attrId;
        value.AttrName = row.AttrName;
        value.AttrValidValID = row.AttrValidValID.toInt();
        value.AttrVal = row.AttrVal;
        _values.insert(value.AttrValidValID, value);
        ++_valueCounts[attrId];
    }
    const QList<int> ids = _values.keys();
    _valueIds = QVector<int>(ids.begin(), ids.end());
    std::sort(_valueIds.begin(), _valueIds.end());

    _source = mgr->attributeDAO();
    _path = mgr->path();
    _generation = _currentGeneration;
    _changed = false;
    _loaded = true;
    watchModels();
    return {};
}
