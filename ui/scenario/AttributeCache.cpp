#include "ui/scenario/AttributeCache.h"

#include "db/AttributeDAO.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"

#include <QSqlError>
#include <QSqlQuery>

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

    QSqlQuery query(mgr->database());
    const QString sql
        = QStringLiteral("select A.%1, A.%2, A.%3, AVV.%4, AVV.%5 from %6 A left join %7 AVV "
                         "on A.%1 = AVV.%8 order by A.%1, AVV.%4")
              .arg(TN::AttrID, TN::AttrName, TN::AttrTypeID, TN::AttrValidValID, TN::AttrVal,
                  TN::AttributeTable, TN::AttrValidValTable, TN::AttrID);
    if (!query.exec(sql))
        return QStringLiteral("Error querying the %1 attributes: %2")
            .arg(typeText, query.lastError().text());

    while (query.next()) {
        const int attrId = query.value(0).toInt();
        const int typeId = query.value(2).toInt();
        if (typeId == TARN::AttrTypeAggDiv)
            _siteAttributes.insert(attrId);
        else
            _waterUserAttributes.insert(attrId);
        // An attribute without values comes once with a NULL value; it offers nothing to pick.
        if (query.value(3).isNull())
            continue;
        Value value;
        value.AttrID = attrId;
        value.AttrName = query.value(1).toString();
        value.AttrValidValID = query.value(3).toInt();
        value.AttrVal = query.value(4).toString();
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
