#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <limits>

// Plain value records of the project file. A key of 0 means the row is not stored yet; a missing
// measured value is a quiet NaN.

namespace TARN {

inline double nan()
{
    return std::numeric_limits<double>::quiet_NaN();
}

enum AttrTypeId { AttrTypeAggDiv = 1, AttrTypeWaterUser = 2 };
enum UnitKind { UnitKindNone = 0, UnitKindMass = 1, UnitKindConcentration = 2 };
enum CurveDataTypeId { CurveDepletion = 1, CurveDiversion = 2, CurveSalinity = 3 };
enum ChangeTypeId {
    ChangePercent = 1,
    ChangeAmount = 2,
    ChangeNewAmount = 3,
    ChangeBaselineYear = 4
};
enum CalcMethodId { CalcBaselinePlusChanges = 1, CalcInterpolateChanges = 2 };

// Fixed maps: attribute type 1 "AggDiv", 2 "WaterUser"; output naming 1 "Requested",
// 2 "Scheduled". Unknown ids give an empty name.
QString attrTypeName(int typeId);
QString outputTypeName(int outputTypeId);

} // namespace TARN

struct SalinityMethodInfo {
    int id = 0;
    QString label;
    QString slotName;
    int unitKind = 0;

    // From the fixed map of the four methods; an unknown id gives id 0, empty texts, kind 0.
    static SalinityMethodInfo fromId(int id);
};

struct AggDiv {
    int AggDivID = 0;
    int BaselineID = 1;
    SalinityMethodInfo salinityMethod;
    QString SiteName;
    QString RiffleName;
    QString Notes;
    int Ord = 0;
};

struct WaterUser {
    int WaterUserID = 0;
    AggDiv aggDiv;
    int ScenarioID = 0;
    QString WaterUserName;
    QString RiffleName;
    QString Notes;
    int Ord = 0;
};

struct WaterUserData {
    int id = 0;
    int WaterUserID = 0;
    int Year = 0;
    double DiversionReq = TARN::nan();
    double DepletionReq = TARN::nan();
    double EfficiencyRatio = TARN::nan();
    double SalinityPickup = TARN::nan();

    bool isEmpty() const;
};

struct Attribute {
    int AttrID = 0;
    int BaselineID = 1;
    QString AttrName;
    int typeId = 0;
    QString typeName;

    void setType(int id);
};

struct AttrValidVal {
    int AttrValidValID = 0;
    int AttrID = 0;
    QString AttrVal;
};

struct AggDivAttr {
    int id = 0;
    Attribute attribute;
    int AggDivID = 0;
    AttrValidVal value;
};

struct WaterUserAttr {
    int id = 0;
    Attribute attribute;
    int WaterUserID = 0;
    AttrValidVal value;
};

struct Baseline {
    int BaselineID = 0;
    QString Description;
    QString ToolUserName;
    QString CreatedDate;
    QString ModifiedDate;
    int StartYear = 0;
    int EndYear = 0;
    int outputTypeId = 0;
    QString outputTypeName;
    QByteArray PasswordHash;
};

struct AttrSelection {
    int AttrID = 0;
    QString AttrName;
    int typeId = 0;
    QString typeName;
    int AttrValidValID = 0;
    QString AttrVal;
};

struct PlotCurve {
    int PlotCurveID = 0;
    int PlotID = 0;
    QString Name;
    int CurveDataTypeID = 0;
    SalinityMethodInfo salinityMethod;
};

// One attribute value a site or a water user holds.
struct OwnerAttrValue {
    int ownerId = 0; // AggDivID or WaterUserID
    int AttrID = 0;
    QString AttrVal; // empty for an assignment without a valid value
};

// A site or a water user by its Riffle name (AggDivID: a water user's site).
struct RiffleMember {
    int id = 0;
    int AggDivID = 0;
    QString RiffleName;
};

// A site with its baseline water users.
struct SiteWaterUsers {
    AggDiv site;
    QList<WaterUser> waterUsers;
};

using AggDivList = QList<AggDiv>;
using WaterUserList = QList<WaterUser>;
using WaterUserDataList = QList<WaterUserData>;
using AttributeList = QList<Attribute>;
using AttrValidValList = QList<AttrValidVal>;
using AttrSelectionList = QList<AttrSelection>;
