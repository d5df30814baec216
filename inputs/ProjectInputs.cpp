#include "inputs/ProjectInputs.h"

#include "inputs/InputsLayout.h"

#include "db/AttributeDAO.h"
#include "db/BaselineDAO.h"
#include "db/InputsDAO.h"
#include "db/TarnDbMgr.h"

namespace Inputs {

QStringList monthColumns()
{
    return { QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
        QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"), QStringLiteral("Jul"),
        QStringLiteral("Aug"), QStringLiteral("Sep"), QStringLiteral("Oct"), QStringLiteral("Nov"),
        QStringLiteral("Dec") };
}

const Sheet* findSheet(const Book& book, const QString& name)
{
    for (const Sheet& sheet : book)
        if (sheet.name.trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return &sheet;
    return nullptr;
}

QString waterUserKey(const QString& siteRiffle, const QString& riffleName)
{
    return siteRiffle + QChar(0x1f) + riffleName;
}

int AttributeInfo::valueId(const QString& text) const
{
    for (const AttrValidVal& value : values)
        if (value.AttrVal == text)
            return value.AttrValidValID;
    return 0;
}

TARN::okstat ProjectInputs::read()
{
    TarnDbMgr* manager = TarnDbMgr::instance();
    const QSqlDatabase& db = manager->database();
    TARN::okstat status = manager->baselineDAO()->getBaseline(baseline);
    if (status.failed())
        return status;

    QList<AttributeDAO::AttributeValueRow> rows;
    status = manager->attributeDAO()->getAttributeValues(rows);
    if (status.failed())
        return status;
    attributes.clear();
    for (const AttributeDAO::AttributeValueRow& row : rows) {
        if (attributes.isEmpty() || attributes.last().id != row.AttrID)
            attributes.append({ row.AttrID, row.AttrName, row.AttrTypeID, {} });
        if (!row.AttrValidValID.isNull())
            attributes.last().values.append(
                { row.AttrValidValID.toInt(), row.AttrID, row.AttrVal });
    }

    if ((status = InputsDAO::readSites(db, sites)).failed()
        || (status = InputsDAO::readBaselineWaterUsers(db, waterUsers)).failed()
        || (status = InputsDAO::readDistributions(db, coefficients)).failed())
        return status;

    QList<OwnerAttrValue> values;
    if ((status = AttributeDAO::readSiteValues(db, values)).failed())
        return status;
    siteValues.clear();
    for (const OwnerAttrValue& value : values)
        siteValues[value.ownerId].insert(value.AttrID, value.AttrVal);
    values.clear();
    if ((status = AttributeDAO::readWaterUserValues(db, values)).failed())
        return status;
    waterUserValues.clear();
    for (const OwnerAttrValue& value : values)
        waterUserValues[value.ownerId].insert(value.AttrID, value.AttrVal);

    WaterUserDataList data;
    if ((status = InputsDAO::readYearlyData(db, data)).failed())
        return status;
    yearly.clear();
    for (const WaterUserData& row : data)
        yearly[row.WaterUserID].insert(row.Year, row);

    _siteIndex.clear();
    for (int i = 0; i < sites.size(); ++i)
        _siteIndex.insert(sites.at(i).RiffleName, i);
    _waterUserIndex.clear();
    for (int i = 0; i < waterUsers.size(); ++i)
        _waterUserIndex.insert(
            waterUserKey(waterUsers.at(i).aggDiv.RiffleName, waterUsers.at(i).RiffleName), i);
    return readScenarios();
}

QList<const AttributeInfo*> ProjectInputs::attributesOf(int typeId) const
{
    QList<const AttributeInfo*> list;
    for (const AttributeInfo& attribute : attributes)
        if (attribute.typeId == typeId)
            list.append(&attribute);
    return list;
}

const AttributeInfo* ProjectInputs::attribute(const QString& name, int typeId) const
{
    for (const AttributeInfo& attribute : attributes)
        if (attribute.typeId == typeId && attribute.name == name)
            return &attribute;
    return nullptr;
}

int ProjectInputs::siteIndex(const QString& riffleName) const
{
    return _siteIndex.value(riffleName, -1);
}

int ProjectInputs::waterUserIndex(const QString& siteRiffle, const QString& riffleName) const
{
    return _waterUserIndex.value(waterUserKey(siteRiffle, riffleName), -1);
}

} // namespace Inputs
