#include "db/WaterUserDAO.h"

#include "db/DaoRows.h"
#include "db/ModelOps.h"
#include "db/PlotDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"

#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace {

// The statements and messages of one kind of filtered owner (demand change or plot curve).
struct Membership {
    QString removeSql;
    QString removeFailure;
    QString filterTable;
    QString filterAlias;
    QString ownerColumn;
    QString matchFailure;
    QString insertSql;
    QString ownerParam;
    QString addFailure;
};

// The owners whose filter names at least one site and one water user attribute and, for each
// attribute it names, lists the value that the site (:aggDivID) or the water user
// (:waterUserID) holds. Values listed for one attribute are alternatives; each half counts
// the matched attributes of its kind against the distinct attributes of that kind in the filter.
QString matchingOwnersSql(const Membership& kind)
{
    return QStringLiteral(
        "SELECT %4.%5 FROM AggDivAttr ada  INNER JOIN %3 %4   ON %4.AttrValidValID = "
        "ada.AttrValidValID  JOIN (   SELECT %4.%5, COUNT(DISTINCT %4.AttrID) AttrCount   "
        "FROM %3 %4   JOIN Attribute a ON a.AttrID = %4.AttrID   WHERE a.AttrTypeID = %1  "
        " GROUP BY %4.%5  ) ac on ac.%5 = %4.%5  WHERE ada.AggDivID = :aggDivID  GROUP BY "
        "%4.%5  HAVING COUNT(*) = ac.AttrCount INTERSECT SELECT %4.%5 FROM WaterUserAttr "
        "wua  INNER JOIN %3 %4   ON %4.AttrValidValID = wua.AttrValidValID  JOIN (   "
        "SELECT %4.%5, COUNT(DISTINCT %4.AttrID) AttrCount   FROM %3 %4   JOIN Attribute a "
        "ON a.AttrID = %4.AttrID   WHERE a.AttrTypeID = %2   GROUP BY %4.%5  ) ac on "
        "ac.%5 = %4.%5  WHERE wua.WaterUserID = :waterUserID  GROUP BY %4.%5  HAVING "
        "COUNT(*) = ac.AttrCount")
        .arg(QString::number(TARN::AttrTypeAggDiv), QString::number(TARN::AttrTypeWaterUser),
            kind.filterTable, kind.filterAlias, kind.ownerColumn);
}

// accept decides per matching owner whether the water user is inserted; its failure ends the
// update at once. Failed inserts do not stop the loop; they are reported together.
TARN::okstat updateMembership(const QSqlDatabase& db, const WaterUser& waterUser,
    const Membership& kind, const std::function<TARN::okstat(int, bool&)>& accept)
{
    const QString waterUserParam = QStringLiteral(":waterUserID");

    QSqlQuery remove(db);
    remove.prepare(kind.removeSql);
    remove.bindValue(waterUserParam, waterUser.WaterUserID);
    if (!remove.exec())
        return kind.removeFailure.arg(remove.lastError().text());

    QSqlQuery match(db);
    match.prepare(matchingOwnersSql(kind));
    match.bindValue(QStringLiteral(":aggDivID"), waterUser.aggDiv.AggDivID);
    match.bindValue(waterUserParam, waterUser.WaterUserID);
    if (!match.exec())
        return kind.matchFailure.arg(match.lastError().text());
    QList<int> ownerIds;
    while (match.next())
        ownerIds.append(match.value(0).toInt());
    match.finish();

    QStringList failures;
    QSqlQuery insert(db);
    insert.prepare(kind.insertSql);
    for (const int ownerId : qAsConst(ownerIds)) {
        bool take = true;
        const TARN::okstat status = accept(ownerId, take);
        if (status.failed())
            return status;
        if (!take)
            continue;
        insert.bindValue(kind.ownerParam, ownerId);
        insert.bindValue(waterUserParam, waterUser.WaterUserID);
        if (!insert.exec())
            failures.append(
                QStringLiteral("%1: %2").arg(insert.lastError().text(), QString::number(ownerId)));
    }
    if (!failures.isEmpty())
        return kind.addFailure.arg(failures.join(QLatin1Char('\n')));
    return {};
}

} // namespace

WaterUserDAO::WaterUserDAO(QObject* parent, const QSqlDatabase& db)
    : DaoBase(parent, db)
    , _waterUserModel(createModel(TN::WaterUserTable))
    , _waterUserAttrModel(createModel(TN::WaterUserAttrTable))
    , _waterUserDistModel(createModel(TN::WaterUserDistTable))
    , _waterUserDataModel(createModel(TN::WaterUserDataTable))
{
}

bool WaterUserDAO::checkStructure()
{
    setHeader(_waterUserModel, 3, QStringLiteral("Name"));
    setHeader(_waterUserDataModel, 3, QStringLiteral("Diversion"));
    setHeader(_waterUserDataModel, 4, QStringLiteral("Depletion"));
    setHeader(_waterUserDataModel, 5, QStringLiteral("Efficiency Ratio"));
    setHeader(_waterUserDataModel, 6, QStringLiteral("Salinity Pickup"));
    if (!selectModels({ _waterUserModel, _waterUserAttrModel, _waterUserDistModel }))
        return false;
    // A row per water user and year: nothing reads the table through this model (the yearly
    // data is read by water user; the model only adds rows), so it holds none. Fetching every
    // row would hold the window for a good part of a second on a large basin, and a select left
    // part-fetched keeps a statement running, whose read lock keeps every other program from
    // writing to the file while the project is merely open.
    _waterUserDataModel->setFilter(QStringLiteral("0"));
    return _waterUserDataModel->select();
}

TARN::okstat WaterUserDAO::getWaterUser(int waterUserId, WaterUser& waterUser)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("SELECT * FROM WaterUser wu LEFT JOIN AggDiv ad ON ad.AggDivID = "
                                 "wu.AggDivID WHERE wu.WaterUserID = :waterUserID"));
    query.bindValue(QStringLiteral(":waterUserID"), waterUserId);
    if (!query.exec())
        return query.lastError().text();
    if (query.next())
        waterUser = DaoRows::readWaterUser(query.record());
    return {};
}

TARN::okstat WaterUserDAO::getWaterUsers(WaterUserList& waterUsers, int aggDivId, int scenarioId)
{
    QString sql = QStringLiteral(
        "SELECT * FROM WaterUser wu LEFT JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID ");
    sql += scenarioId != 0 ? QStringLiteral("WHERE ScenarioID = :scenarioID")
                           : QStringLiteral("WHERE ScenarioID IS NULL");
    if (aggDivId != 0)
        sql += QStringLiteral(" AND wu.AggDivID = :aggDivID");
    QSqlQuery query(_db);
    query.prepare(sql);
    if (scenarioId != 0)
        query.bindValue(QStringLiteral(":scenarioID"), scenarioId);
    if (aggDivId != 0)
        query.bindValue(QStringLiteral(":aggDivID"), aggDivId);
    return DaoRows::loadWaterUsers(query, waterUsers);
}

TARN::okstat WaterUserDAO::saveWaterUsers(WaterUserList& waterUsers)
{
    return DaoRows::upsertEach(
        _db,
        QStringLiteral(
            "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName,  "
            "RiffleName, Notes, Ord) VALUES (:waterUserID, :aggDivID, :scenarioID, "
            ":waterUserName,  :riffleName, :notes, :ord) ON CONFLICT DO UPDATE SET AggDivID = "
            ":aggDivID,  ScenarioID = :scenarioID, WaterUserName = :waterUserName,  RiffleName = "
            ":riffleName, Notes = :notes, Ord = :ord"),
        waterUsers,
        [](QSqlQuery& query, const WaterUser& waterUser) {
            query.bindValue(
                QStringLiteral(":waterUserID"), DaoRows::idOrNull(waterUser.WaterUserID));
            query.bindValue(QStringLiteral(":aggDivID"), waterUser.aggDiv.AggDivID);
            query.bindValue(QStringLiteral(":scenarioID"), DaoRows::idOrNull(waterUser.ScenarioID));
            query.bindValue(QStringLiteral(":waterUserName"), waterUser.WaterUserName);
            query.bindValue(QStringLiteral(":riffleName"), waterUser.RiffleName);
            query.bindValue(QStringLiteral(":notes"), waterUser.Notes);
            query.bindValue(QStringLiteral(":ord"), waterUser.Ord);
        },
        [](WaterUser& waterUser) -> int& { return waterUser.WaterUserID; });
}

TARN::okstat WaterUserDAO::deleteWaterUser(const WaterUser& waterUser)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("DELETE FROM WaterUser WHERE WaterUserID = :waterUserID"));
    query.bindValue(QStringLiteral(":waterUserID"), waterUser.WaterUserID);
    if (!query.exec())
        return query.lastError().text();
    return {};
}

TARN::okstat WaterUserDAO::getWaterUserAttrs(int waterUserId, QList<WaterUserAttr>& attrs)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral(
        "SELECT * FROM WaterUserAttr wua LEFT JOIN Attribute a ON a.AttrID = wua.AttrID LEFT "
        "JOIN AttrValidVal avv ON avv.AttrValidValID = wua.AttrValidValID WHERE wua.WaterUserID "
        "= :waterUserID"));
    query.bindValue(QStringLiteral(":waterUserID"), waterUserId);
    if (!query.exec())
        return query.lastError().text();
    attrs.clear();
    while (query.next()) {
        const QSqlRecord row = query.record();
        WaterUserAttr attr;
        attr.id = row.value(0).toInt();
        attr.WaterUserID = row.value(2).toInt();
        attr.attribute = DaoRows::readAttribute(row, 4);
        attr.value = DaoRows::readValidVal(row, 8);
        attrs.append(attr);
    }
    return {};
}

TARN::okstat WaterUserDAO::saveWaterUserAttrs(QList<WaterUserAttr>& attrs)
{
    return DaoRows::upsertEachByOwner(
        _db,
        QStringLiteral("INSERT INTO WaterUserAttr (WaterUserAttrID, AttrID, WaterUserID, "
                       "AttrValidValID) VALUES (:waterUserAttrID, :attrID, :waterUserID, "
                       ":attrValidValID) ON CONFLICT DO UPDATE SET AttrValidValID = "
                       ":attrValidValID"),
        attrs,
        [](QSqlQuery& query, const WaterUserAttr& attr) {
            query.bindValue(QStringLiteral(":waterUserAttrID"), DaoRows::idOrNull(attr.id));
            query.bindValue(QStringLiteral(":attrID"), attr.attribute.AttrID);
            query.bindValue(QStringLiteral(":waterUserID"), attr.WaterUserID);
            query.bindValue(QStringLiteral(":attrValidValID"), attr.value.AttrValidValID);
        },
        [](WaterUserAttr& attr) -> int& { return attr.id; },
        QStringLiteral("SELECT WaterUserAttrID FROM WaterUserAttr WHERE WaterUserID = :waterUserID "
                       "AND AttrID = :attrID "
                       "ORDER BY WaterUserAttrID = :id DESC, WaterUserAttrID DESC LIMIT 1"),
        [](QSqlQuery& query, const WaterUserAttr& attr) {
            query.bindValue(QStringLiteral(":waterUserID"), attr.WaterUserID);
            query.bindValue(QStringLiteral(":attrID"), attr.attribute.AttrID);
            query.bindValue(QStringLiteral(":id"), attr.id);
        });
}

TARN::okstat WaterUserDAO::getWaterUserData(
    WaterUserDataList& data, int waterUserId, bool fillMissingYears)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("SELECT * FROM WaterUserData where WaterUserID = :waterUserID"));
    query.bindValue(QStringLiteral(":waterUserID"), waterUserId);
    if (!query.exec())
        return QStringLiteral("Unable to retrieve water user data: %1")
            .arg(query.lastError().text());

    // Built aside, so that a failure leaves the caller's list as it was.
    WaterUserDataList rows;
    QSet<int> years;
    while (query.next()) {
        WaterUserData row;
        row.id = query.value(0).toInt();
        row.WaterUserID = query.value(1).toInt();
        row.Year = query.value(2).toInt();
        row.DiversionReq = TARN::storedNumber(query.value(3));
        row.DepletionReq = TARN::storedNumber(query.value(4));
        row.EfficiencyRatio = TARN::storedNumber(query.value(5));
        row.SalinityPickup = TARN::storedNumber(query.value(6));
        rows.append(row);
        years.insert(row.Year);
    }

    if (fillMissingYears) {
        QSqlQuery range(_db);
        range.prepare(QStringLiteral(
            "SELECT StartYear, EndYear FROM Baseline where BaselineID = :baselineID"));
        range.bindValue(QStringLiteral(":baselineID"), 1);
        if (!range.exec() || !range.next())
            return QStringLiteral("Unable to retrieve baseline data: %1")
                .arg(range.lastError().text());
        const int endYear = range.value(1).toInt();
        for (int year = range.value(0).toInt(); year <= endYear; ++year) {
            if (years.contains(year))
                continue;
            WaterUserData empty;
            empty.WaterUserID = waterUserId;
            empty.Year = year;
            rows.append(empty);
        }
    }

    std::stable_sort(rows.begin(), rows.end(),
        [](const WaterUserData& a, const WaterUserData& b) { return a.Year < b.Year; });
    data = rows;
    return {};
}

TARN::okstat WaterUserDAO::saveWaterUserData(WaterUserDataList& data, int waterUserId)
{
    if (data.isEmpty())
        return {};
    QSqlQuery remove(_db);
    remove.prepare(QStringLiteral("DELETE FROM WaterUserData WHERE WaterUserID = :waterUserID"));
    remove.bindValue(QStringLiteral(":waterUserID"), waterUserId);
    if (!remove.exec())
        return remove.lastError().text();

    QSqlQuery insert(_db);
    insert.prepare(QStringLiteral(
        "INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq,  DepletionReq, "
        "EfficiencyRatio, SalinityPickup) VALUES (:waterUserID, :year, :diversionReq, "
        ":depletionReq,  :efficiencyRatio, :salinityPickup)"));
    for (WaterUserData& row : data) {
        if (row.isEmpty())
            continue;
        insert.bindValue(QStringLiteral(":waterUserID"), waterUserId);
        insert.bindValue(QStringLiteral(":year"), row.Year);
        insert.bindValue(QStringLiteral(":diversionReq"), TARN::fromDouble(row.DiversionReq));
        insert.bindValue(QStringLiteral(":depletionReq"), TARN::fromDouble(row.DepletionReq));
        insert.bindValue(QStringLiteral(":efficiencyRatio"), TARN::fromDouble(row.EfficiencyRatio));
        insert.bindValue(QStringLiteral(":salinityPickup"), TARN::fromDouble(row.SalinityPickup));
        if (!insert.exec())
            return insert.lastError().text();
        row.id = insert.lastInsertId().toInt();
        row.WaterUserID = waterUserId;
    }
    return {};
}

TARN::okstat WaterUserDAO::adjustTimeRange(
    int oldStartYear, int oldEndYear, int newStartYear, int newEndYear)
{
    QSqlQuery remove(_db);
    remove.prepare(
        QStringLiteral("DELETE FROM WaterUserData WHERE Year < :startYear OR Year > :endYear"));
    remove.bindValue(QStringLiteral(":startYear"), newStartYear);
    remove.bindValue(QStringLiteral(":endYear"), newEndYear);
    if (!remove.exec())
        return remove.lastError().text();

    // Only years of the new range that the old one lacked: when the ranges do not overlap, the
    // years between them are not created.
    QList<int> addedYears;
    for (int year = newStartYear; year <= newEndYear; ++year) {
        if (year < oldStartYear || year > oldEndYear)
            addedYears.append(year);
    }
    if (addedYears.isEmpty())
        return {};

    QSqlQuery ids(_db);
    if (!ids.exec(QStringLiteral("SELECT WaterUserID FROM WaterUser")))
        return ids.lastError().text();
    QList<int> waterUserIds;
    while (ids.next())
        waterUserIds.append(ids.value(0).toInt());
    ids.finish();

    QSqlQuery insert(_db);
    insert.prepare(QStringLiteral(
        "INSERT INTO WaterUserData (WaterUserID, Year) VALUES (:waterUserID, :year)"));
    for (const int waterUserId : qAsConst(waterUserIds)) {
        for (const int year : qAsConst(addedYears)) {
            insert.bindValue(QStringLiteral(":waterUserID"), waterUserId);
            insert.bindValue(QStringLiteral(":year"), year);
            if (!insert.exec())
                return insert.lastError().text();
        }
    }
    return {};
}

TARN::okstat WaterUserDAO::assignDefaultValue(const Attribute& attribute, int attrValidValId)
{
    return DaoRows::assignToEveryOwner(_waterUserModel, _waterUserAttrModel, attribute,
        attrValidValId, TARN::AttrTypeWaterUser, QStringLiteral("(Water user %1) %2"));
}

TARN::okstat WaterUserDAO::updateDemandChgMembership(const WaterUser& waterUser)
{
    const Membership demandChanges {
        QStringLiteral("DELETE FROM DemandChgWaterUser WHERE WaterUserID = :waterUserID"),
        QStringLiteral("Unable to remove water user from demand changes: %1"),
        TN::DemandSelectionTable,
        QStringLiteral("ds"),
        TN::DemandChgID,
        QStringLiteral("Unable to determine demand changes to add water user to: %1"),
        QStringLiteral("INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES "
                       "(:demandChgID, :waterUserID)"),
        QStringLiteral(":demandChgID"),
        QStringLiteral("Unable to add water user to the following demand changes: %1"),
    };
    return updateMembership(
        _db, waterUser, demandChanges, [](int, bool&) { return TARN::okstat(); });
}

TARN::okstat WaterUserDAO::updatePlotCurveMembership(const WaterUser& waterUser)
{
    const Membership plotCurves {
        QStringLiteral("DELETE FROM PlotCurveWaterUser WHERE WaterUserID = :waterUserID"),
        QStringLiteral("Unable to remove water user from plot curves: %1"),
        TN::PlotCurveFilterTable,
        QStringLiteral("pcf"),
        TN::PlotCurveID,
        QStringLiteral("Unable to determine plot curves to add water user to: %1"),
        QStringLiteral("INSERT INTO PlotCurveWaterUser (PlotCurveID, WaterUserID) VALUES "
                       "(:plotCurveID, :waterUserID)"),
        QStringLiteral(":plotCurveID"),
        QStringLiteral("Unable to add water user to the following plot curves: %1"),
    };
    // A salinity curve sums one kind of unit: a site of the other kind stays out.
    const int unitKind = waterUser.aggDiv.salinityMethod.unitKind;
    PlotDAO* plots = TarnDbMgr::instance()->plotDAO();
    return updateMembership(_db, waterUser, plotCurves, [plots, unitKind](int curveId, bool& take) {
        PlotCurve curve;
        const TARN::okstat status = plots->getPlotCurve(curveId, curve);
        take = !(curve.CurveDataTypeID == TARN::CurveSalinity
            && curve.salinityMethod.unitKind != unitKind);
        return status;
    });
}

namespace {

struct HeldMembership {
    WaterUserMembership membership;
    bool keep = false; // hand-picked in an owner without a filter, still sensible at the new site
};

// The demand changes and plot curves the water user belongs to now. The change's name is read
// by position: its column is the file's own.
TARN::okstat readMemberships(
    const QSqlDatabase& db, const WaterUser& waterUser, QList<HeldMembership>& held)
{
    held.clear();
    QSqlQuery changes(db);
    changes.prepare(QStringLiteral(
        "SELECT dc.*, EXISTS (SELECT 1 FROM DemandSelection ds WHERE ds.DemandChgID = "
        "dc.DemandChgID) FROM DemandChgWaterUser dcwu JOIN DemandChg dc ON dc.DemandChgID = "
        "dcwu.DemandChgID WHERE dcwu.WaterUserID = :waterUserID ORDER BY dc.DemandChgID"));
    changes.bindValue(QStringLiteral(":waterUserID"), waterUser.WaterUserID);
    if (!changes.exec())
        return changes.lastError().text();
    while (changes.next()) {
        const QSqlRecord row = changes.record();
        HeldMembership entry;
        entry.membership.ownerId = row.value(0).toInt();
        entry.membership.ownerName = row.value(2).toString();
        entry.keep = !row.value(row.count() - 1).toBool();
        held.append(entry);
    }

    QSqlQuery curves(db);
    curves.prepare(QStringLiteral(
        "SELECT pc.PlotCurveID, pc.Name, pc.CurveDataTypeID, EXISTS (SELECT 1 FROM "
        "PlotCurveFilter pcf WHERE pcf.PlotCurveID = pc.PlotCurveID), (SELECT ad.SalinityMethodID "
        "FROM PlotCurveWaterUser other JOIN WaterUser wu ON wu.WaterUserID = other.WaterUserID "
        "JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID WHERE other.PlotCurveID = pc.PlotCurveID AND "
        "other.WaterUserID <> :movedID LIMIT 1) FROM PlotCurveWaterUser pcwu JOIN PlotCurve "
        "pc ON pc.PlotCurveID = pcwu.PlotCurveID WHERE pcwu.WaterUserID = :waterUserID ORDER BY "
        "pc.PlotCurveID"));
    curves.bindValue(QStringLiteral(":movedID"), waterUser.WaterUserID);
    curves.bindValue(QStringLiteral(":waterUserID"), waterUser.WaterUserID);
    if (!curves.exec())
        return curves.lastError().text();
    const int unitKind = waterUser.aggDiv.salinityMethod.unitKind;
    while (curves.next()) {
        HeldMembership entry;
        entry.membership.plotCurve = true;
        entry.membership.ownerId = curves.value(0).toInt();
        entry.membership.ownerName = curves.value(1).toString();
        const bool salinity = curves.value(2).toInt() == TARN::CurveSalinity;
        const QVariant otherMethod = curves.value(4);
        const bool unitsAgree = !salinity || otherMethod.isNull()
            || SalinityMethodInfo::fromId(otherMethod.toInt()).unitKind == unitKind;
        entry.keep = !curves.value(3).toBool() && unitsAgree;
        held.append(entry);
    }
    return {};
}

bool holds(const QList<HeldMembership>& held, const WaterUserMembership& membership)
{
    return std::any_of(held.cbegin(), held.cend(), [&membership](const HeldMembership& entry) {
        return entry.membership.plotCurve == membership.plotCurve
            && entry.membership.ownerId == membership.ownerId;
    });
}

} // namespace

TARN::okstat WaterUserDAO::getDemandChgIDs(int waterUserId, QList<int>& ids)
{
    QSqlQuery query(_db);
    query.prepare(QStringLiteral("SELECT DISTINCT DemandChgID FROM DemandChgWaterUser WHERE "
                                 "WaterUserID = :waterUserID ORDER BY DemandChgID"));
    query.bindValue(QStringLiteral(":waterUserID"), waterUserId);
    if (!query.exec())
        return query.lastError().text();
    ids.clear();
    while (query.next())
        ids.append(query.value(0).toInt());
    return {};
}

TARN::okstat WaterUserDAO::updateMembershipAfterMove(
    const WaterUser& waterUser, QList<WaterUserMembership>& dropped)
{
    dropped.clear();
    QList<HeldMembership> before;
    TARN::okstat status = readMemberships(_db, waterUser, before);
    if (status.failed())
        return status;

    // The filter rule removes every membership first; the hand-picked ones are put back after.
    const TARN::okstat changes = updateDemandChgMembership(waterUser);
    const TARN::okstat curves = updatePlotCurveMembership(waterUser);

    QList<HeldMembership> after;
    status = readMemberships(_db, waterUser, after);
    if (status.failed())
        return status;
    QSqlQuery insertChange(_db);
    insertChange.prepare(QStringLiteral("INSERT INTO DemandChgWaterUser (DemandChgID, "
                                        "WaterUserID) VALUES (:demandChgID, :waterUserID)"));
    QSqlQuery insertCurve(_db);
    insertCurve.prepare(QStringLiteral("INSERT INTO PlotCurveWaterUser (PlotCurveID, "
                                       "WaterUserID) VALUES (:plotCurveID, :waterUserID)"));
    for (const HeldMembership& entry : qAsConst(before)) {
        if (holds(after, entry.membership))
            continue;
        if (entry.keep) {
            QSqlQuery& insert = entry.membership.plotCurve ? insertCurve : insertChange;
            insert.bindValue(entry.membership.plotCurve ? QStringLiteral(":plotCurveID")
                                                        : QStringLiteral(":demandChgID"),
                entry.membership.ownerId);
            insert.bindValue(QStringLiteral(":waterUserID"), waterUser.WaterUserID);
            if (!insert.exec())
                return insert.lastError().text();
            continue;
        }
        dropped.append(entry.membership);
    }
    return changes.failed() ? changes : curves;
}
