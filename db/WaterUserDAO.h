#pragma once

#include "db/DaoBase.h"
#include "db/Records.h"
#include "db/okstat.h"

// One demand change or plot curve a water user belongs to.
struct WaterUserMembership {
    bool plotCurve = false;
    int ownerId = 0;
    QString ownerName;
};

// What would lose a water user that is deleted: a demand change or plot curve that selects it,
// or (for a site) the water user a scenario has of its own at that site.
struct WaterUserUse {
    enum Kind { DemandChange, PlotCurve, ScenarioWaterUser };
    Kind kind = DemandChange;
    QString waterUserName;
    QString ownerName; // the change or the curve; empty for a scenario's water user
    QString containerName; // the scenario or the plot
};

// A water user as lists name it: its key, site and name (the site's name where asked for).
struct WaterUserRef {
    int WaterUserID = 0;
    int AggDivID = 0;
    QString WaterUserName;
    QString SiteName;
};

// A water user's baseline results of one year that a demand change starts from
// (BaseYearlyWaterUser).
struct BaseYearlyValue {
    int WaterUserID = 0;
    int Year = 0;
    double DepletionValue = TARN::nan();
    double EfficiencyRatioValue = TARN::nan();
};

class WaterUserDAO : public DaoBase {
    Q_OBJECT

public:
    WaterUserDAO(QObject* parent, const QSqlDatabase& db);
    bool checkStructure() override;

    TarnRelationalTableModel* waterUserModel() const { return _waterUserModel; }
    TarnRelationalTableModel* waterUserAttrModel() const { return _waterUserAttrModel; }
    TarnRelationalTableModel* waterUserDistModel() const { return _waterUserDistModel; }
    TarnRelationalTableModel* waterUserDataModel() const { return _waterUserDataModel; }

    // No row leaves the record unchanged.
    TARN::okstat getWaterUser(int waterUserId, WaterUser& waterUser);
    // aggDivId 0: every site; scenarioId 0: the baseline water users, else only the scenario's
    // own water users.
    TARN::okstat getWaterUsers(WaterUserList& waterUsers, int aggDivId, int scenarioId);
    TARN::okstat saveWaterUsers(WaterUserList& waterUsers);
    TARN::okstat deleteWaterUser(const WaterUser& waterUser);
    TARN::okstat getWaterUserAttrs(int waterUserId, QList<WaterUserAttr>& attrs);
    TARN::okstat saveWaterUserAttrs(QList<WaterUserAttr>& attrs);

    // The yearly rows in year order; with fillMissingYears, an empty record for every baseline
    // year without a row.
    TARN::okstat getWaterUserData(WaterUserDataList& data, int waterUserId, bool fillMissingYears);
    // Replaces the water user's yearly rows by the records that carry a value; an empty list
    // keeps the stored rows.
    TARN::okstat saveWaterUserData(WaterUserDataList& data, int waterUserId);
    // Fits every water user's yearly rows to a new baseline range: rows outside it go, years of
    // it outside the old range get empty rows.
    TARN::okstat adjustTimeRange(
        int oldStartYear, int oldEndYear, int newStartYear, int newEndYear);

    // Gives every water user of the water user model an assignment of a new water user attribute.
    TARN::okstat assignDefaultValue(const Attribute& attribute, int attrValidValId);

    // Re-evaluates which demand changes and plot curves take in the water user through their
    // attribute filters (after it was created or moved to another site).
    TARN::okstat updateDemandChgMembership(const WaterUser& waterUser);
    TARN::okstat updatePlotCurveMembership(const WaterUser& waterUser);

    // The demand changes that select the water user, in id order.
    TARN::okstat getDemandChgIDs(int waterUserId, QList<int>& ids);
    // After the water user moved to another site (waterUser holds the new one): memberships of
    // changes and curves with an attribute filter are re-evaluated by the filter rule above;
    // hand-picked memberships of those without a filter are kept, except in a salinity curve
    // whose other members' sites measure salinity in the other kind of unit. dropped receives
    // the memberships that ended.
    TARN::okstat updateMembershipAfterMove(
        const WaterUser& waterUser, QList<WaterUserMembership>& dropped);

    // What uses the baseline water user, or the water users of the site (WaterUserUses.cpp),
    // ordered by water user name.
    TARN::okstat getWaterUserUses(int waterUserId, QList<WaterUserUse>& uses);
    TARN::okstat getSiteUses(int aggDivId, QList<WaterUserUse>& uses);
    // The baseline water users of every site whose name or Riffle name contains text (without
    // regard to case), in the order of the sites and of their water users (WaterUserUses.cpp).
    TARN::okstat findWaterUsers(const QString& text, WaterUserList& found);
    // The water users whose ID, or else Riffle name, or else name equals text, in ID order, each
    // with its scenario (null for a baseline water user) (WaterUserUses.cpp).
    QList<QPair<int, QVariant>> findByKeyOrName(const QString& text);
    // The baseline water users and, with a scenarioId other than 0, that scenario's own, in row
    // order, read on the connection given (an exporter's) (WaterUserUses.cpp).
    static TARN::okstat readRiffleMembers(
        const QSqlDatabase& db, int scenarioId, QList<RiffleMember>& waterUsers);

    // Makes a water user of the site (WaterUserLookups.cpp): the baseline's when scenarioId is
    // -1, else the scenario's own, placed after the site's last baseline water user, through the
    // water user model. A failure reverts the model and returns the text to show; newId is 0
    // when the row was made but its key cannot be read.
    TARN::okstat create(
        int aggDivId, int scenarioId, const QString& name, const QString& riffleName, int& newId);
    // The water user's site and name; false when it cannot be read.
    bool findWaterUser(int waterUserId, WaterUserRef& waterUser);
    // The baseline water users at the sites siteIds that hold a water user attribute value of
    // every group of valueGroups (AttributeDAO::filterQuery; not empty), with their site names,
    // by name then key.
    TARN::okstat getBaselineWaterUsers(const QList<int>& siteIds,
        const QList<QList<int>>& valueGroups, QList<WaterUserRef>& waterUsers);
    // The baseline yearly rows of the water users, in the table's order.
    TARN::okstat getBaseYearlyValues(
        const QList<int>& waterUserIds, QList<BaseYearlyValue>& values);

private:
    TARN::okstat readUses(
        const QString& where, int id, bool scenarioWaterUsers, QList<WaterUserUse>& uses);

    TarnRelationalTableModel* _waterUserModel;
    TarnRelationalTableModel* _waterUserAttrModel;
    TarnRelationalTableModel* _waterUserDistModel;
    TarnRelationalTableModel* _waterUserDataModel;
};
