#pragma once

#include "db/InputsDAO.h"
#include "db/Records.h"
#include "db/okstat.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QVector>

namespace Inputs {

// One attribute with its valid values, in key order.
struct AttributeInfo {
    int id = 0;
    QString name;
    int typeId = 0;
    QList<AttrValidVal> values;

    int valueId(const QString& text) const; // 0 when it has no such value
};

// What an input book holds, read from the open project: the baseline row, the attributes, the
// sites and baseline water users with their attribute values, coefficients and yearly rows.
struct ProjectInputs {
    Baseline baseline;
    QList<AttributeInfo> attributes;
    AggDivList sites;
    WaterUserList waterUsers;
    QHash<int, QHash<int, QString>> siteValues; // AggDivID -> AttrID -> value
    QHash<int, QHash<int, QString>> waterUserValues; // WaterUserID -> AttrID -> value
    QHash<int, QVector<double>> coefficients; // WaterUserID -> January..December
    QHash<int, QMap<int, WaterUserData>> yearly; // WaterUserID -> year -> row

    // The scenarios: their rows, demand changes with yearly changes, members and filters, and
    // the water users they have of their own (whose coefficients, values and yearly rows are
    // in the maps above).
    QList<ScenarioRow> scenarios;
    QList<DemandChgRow> changes;
    QList<ChangeValueRow> changeValues;
    QList<QPair<int, int>> changeMembers; // DemandChgID, WaterUserID
    QList<QVector<int>> changeFilters; // DemandChgID, AttrID, AttrValidValID
    QHash<int, QString> changeTypes; // ChangeTypeID -> name
    QHash<int, QString> calcMethods; // CalcMethodID -> name
    WaterUserList scenarioWaterUsers;

    // Reads them through the data-access objects of the project the manager has open.
    TARN::okstat read();

    // Reads the scenarios as well (ProjectScenarios.cpp).
    TARN::okstat readScenarios();

    // The attributes of one kind (TARN::AttrTypeAggDiv or AttrTypeWaterUser), in key order.
    QList<const AttributeInfo*> attributesOf(int typeId) const;
    const AttributeInfo* attribute(const QString& name, int typeId) const;
    // Indexes of sites by Riffle name and of water users by site and Riffle name; -1 when
    // there is none.
    int siteIndex(const QString& riffleName) const;
    int waterUserIndex(const QString& siteRiffle, const QString& riffleName) const;
    // Any water user (baseline or a scenario's) by key; null when there is none.
    const WaterUser* waterUserById(int waterUserId) const;
    // The attribute and value names of keys; empty when unknown.
    QString attributeName(int attrId) const;
    QString valueName(int attrValidValId) const;

private:
    QHash<QString, int> _siteIndex;
    QHash<QString, int> _waterUserIndex;
    QHash<int, const WaterUser*> _byId;
};

// "SITE\x1fWATERUSER": the key of a water user in maps.
QString waterUserKey(const QString& siteRiffle, const QString& riffleName);

} // namespace Inputs
