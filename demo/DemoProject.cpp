#include "demo/DemoProject.h"

#include "db/ColumnNames.h"
#include "db/ModelOps.h"
#include "db/ProjectFile.h"
#include "db/TarnNames.h"

#include <QDate>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <set>
#include <vector>

namespace DemoProject {
namespace {

constexpr double Missing = std::numeric_limits<double>::quiet_NaN();

// A 64-bit LCG with a fixed seed. The standard distributions differ between library vendors, so
// the numbers are derived here to make every run write the same basin on every platform.
class Rng {
public:
    explicit Rng(quint64 seed)
        : _state(seed)
    {
    }
    // Uniform in [0, 1), from the 53 best bits of the state.
    double uniform()
    {
        _state = _state * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(_state >> 11) * (1.0 / 9007199254740992.0);
    }
    double between(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // Uniform in [-1, 1).
    double signedUnit() { return 2.0 * uniform() - 1.0; }
    int below(int n) { return std::min(n - 1, int(uniform() * n)); }

private:
    quint64 _state;
};

double round2(double v)
{
    return std::round(v * 100.0) / 100.0;
}
double round3(double v)
{
    return std::round(v * 1000.0) / 1000.0;
}

// ---------------------------------------------------------------------------------------------
// Row writer: one prepared INSERT per table, rebound for every row.

enum Stmt {
    SiteStmt,
    WaterUserStmt,
    DataStmt,
    DistStmt,
    AttributeStmt,
    ValueStmt,
    SiteAttrStmt,
    WaterUserAttrStmt,
    ScenarioStmt,
    DemandChgStmt,
    DepletionChgStmt,
    EfficiencyChgStmt,
    ChgMemberStmt,
    SelectionStmt,
    PlotStmt,
    PlotScenarioStmt,
    CurveStmt,
    CurveFilterStmt,
    CurveMemberStmt,
    StmtCount
};

const QString& tableOf(Stmt stmt)
{
    using namespace TN;
    switch (stmt) {
    case SiteStmt:
        return AggDivTable;
    case WaterUserStmt:
        return WaterUserTable;
    case DataStmt:
        return WaterUserDataTable;
    case DistStmt:
        return WaterUserDistTable;
    case AttributeStmt:
        return AttributeTable;
    case ValueStmt:
        return AttrValidValTable;
    case SiteAttrStmt:
        return AggDivAttrTable;
    case WaterUserAttrStmt:
        return WaterUserAttrTable;
    case ScenarioStmt:
        return ScenarioTable;
    case DemandChgStmt:
        return DemandChgTable;
    case DepletionChgStmt:
        return DepletionChgTable;
    case EfficiencyChgStmt:
        return EfficiencyChgTable;
    case ChgMemberStmt:
        return DemandChgWaterUserTable;
    case SelectionStmt:
        return DemandSelectionTable;
    case PlotStmt:
        return PlotTable;
    case PlotScenarioStmt:
        return PlotScenarioTable;
    case CurveStmt:
        return PlotCurveTable;
    case CurveFilterStmt:
        return PlotCurveFilterTable;
    case CurveMemberStmt:
    case StmtCount:
        break;
    }
    return PlotCurveWaterUserTable;
}

// Every generator row gives the values of all columns after the key, in file order. The columns
// are named as the file names them, so the examples can be written into files made by another
// schema script.
QString statementText(Stmt stmt, const ColumnNames& columns)
{
    const QString& table = tableOf(stmt);
    QStringList names = columns.names(table);
    if (!names.isEmpty())
        names.removeFirst();
    QStringList quoted;
    QStringList marks;
    for (const QString& name : qAsConst(names)) {
        quoted.append(ColumnNames::quoted(name));
        marks.append(QStringLiteral("?"));
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(table, quoted.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

// The first failure is kept and every later insert does nothing, so the generators stay free of
// error plumbing; the caller checks status() once before committing.
class Writer {
public:
    explicit Writer(QSqlDatabase& db)
    {
        ColumnNames columns;
        _status = columns.read(db);
        _queries.reserve(StmtCount);
        for (int i = 0; i < StmtCount; ++i) {
            _queries.emplace_back(db);
            if (_status.isOk() && !_queries.back().prepare(statementText(Stmt(i), columns)))
                _status = _queries.back().lastError().text();
        }
    }

    const TARN::okstat& status() const { return _status; }

    // Inserts one row and returns its key, or 0 once anything has failed.
    qint64 insert(Stmt stmt, std::initializer_list<QVariant> values)
    {
        if (_status.failed())
            return 0;
        QSqlQuery& query = _queries[stmt];
        int pos = 0;
        for (const QVariant& value : values)
            query.bindValue(pos++, value);
        if (!query.exec()) {
            _status = query.lastError().text();
            return 0;
        }
        return query.lastInsertId().toLongLong();
    }

private:
    std::vector<QSqlQuery> _queries;
    TARN::okstat _status;
};

QVariant nullKey()
{
    return QVariant(QVariant::LongLong);
}
QVariant keyOrNull(qint64 key)
{
    return key ? QVariant(key) : nullKey();
}

// ---------------------------------------------------------------------------------------------
// Water user profiles.

enum class Use { Irrigation, Municipal, Industrial, Power, Other };

struct UseProfile {
    std::array<double, 12> dist; // percent, multiples of 0.25 so the sum is exactly 100
    double divLo, divHi; // diversion of the first year, KAF/yr
    double effLo, effHi; // depletion / diversion
    double growth; // trend of the diversion per year
    double variability; // year-to-year spread of the diversion
};

const UseProfile& profile(Use use)
{
    // Irrigation peaks in July; towns in late summer (lawns); industry runs flat all year.
    static const UseProfile irrigation { { 0, 0, 1.5, 6, 12.5, 18, 22, 19.5, 12.5, 6, 2, 0 }, 20,
        90, 0.38, 0.62, -0.002, 0.12 };
    static const UseProfile municipal { { 6.5, 6, 6.75, 7.5, 9, 10.5, 11.75, 11.25, 9.5, 8, 6.75,
                                            6.5 },
        10, 40, 0.30, 0.45, 0.018, 0.04 };
    static const UseProfile industrial { { 8.25, 8, 8.25, 8.25, 8.5, 8.5, 8.75, 8.75, 8.25, 8.25, 8,
                                             8.25 },
        5, 18, 0.58, 0.78, 0.006, 0.05 };
    static const UseProfile power { { 7, 6.75, 7, 7.5, 8.5, 9.75, 11, 11, 9.25, 7.75, 7, 7.5 }, 10,
        25, 0.65, 0.78, 0.003, 0.06 };
    static const UseProfile other { { 5.5, 5.5, 7, 9, 10, 10.5, 10.5, 10, 9, 8.5, 8, 6.5 }, 2, 8,
        0.45, 0.70, 0.0, 0.08 };
    switch (use) {
    case Use::Irrigation:
        return irrigation;
    case Use::Municipal:
        return municipal;
    case Use::Industrial:
        return industrial;
    case Use::Power:
        return power;
    case Use::Other:
        break;
    }
    return other;
}

// Varies a profile by moving whole quarter percents between months, which keeps every value a
// multiple of 0.25 and therefore the sum exactly 100 in binary floating point.
std::array<double, 12> jitteredDist(const std::array<double, 12>& base, Rng& rng)
{
    std::array<double, 12> dist = base;
    for (int moves = 0; moves < 3; ++moves) {
        const int from = rng.below(12);
        const int to = rng.below(12);
        const double amount = 0.25 * (1 + rng.below(4));
        if (from != to && dist[from] >= amount + 1.0 && dist[to] > 0.0) {
            dist[from] -= amount;
            dist[to] += amount;
        }
    }
    return dist;
}

// Which of diversion, depletion and efficiency a water user reports; the calculation derives the
// third when one is left out.
enum class Reported { All, DiversionEfficiency, DepletionEfficiency, DiversionDepletion };

// Holes in a water user's record, as real data sets have them.
enum class Gaps {
    None,
    MissingRows, // two years without a row
    EmptyRow, // one year whose row holds no value
    Salinity, // a few years without a salinity pick-up
    LateStart, // all-NULL rows until the user started diverting
};

bool isMassMethod(int salinityMethod)
{
    return salinityMethod == 1 || salinityMethod == 4;
}

// Writes the water user's yearly rows and returns the depletion of each year (missing where the
// file has none), which the demand changes are sized from.
std::vector<double> writeYears(Writer& w, Rng& rng, qint64 waterUserId, Use use, int salinityMethod,
    Reported reported, Gaps gaps, int firstYear, int lastYear)
{
    const UseProfile& p = profile(use);
    const int years = lastYear - firstYear + 1;
    const double base = rng.between(p.divLo, p.divHi);
    const double eff0 = rng.between(p.effLo, p.effHi);
    const double effTrend = rng.between(0.0, 0.003); // lining and sprinklers raise efficiency
    const double conc = rng.between(180.0, 850.0); // mg/l picked up by the return flow

    std::set<int> noRow, emptyRow, noSalinity;
    int startYear = firstYear;
    const int interior = std::max(1, years - 6);
    switch (gaps) {
    case Gaps::None:
        break;
    case Gaps::MissingRows: {
        const int y = firstYear + 3 + rng.below(interior);
        noRow = { y, y + 1 };
        break;
    }
    case Gaps::EmptyRow:
        emptyRow = { firstYear + 3 + rng.below(interior) };
        break;
    case Gaps::Salinity:
        for (int i = 0; i < 3; ++i)
            noSalinity.insert(firstYear + 2 + rng.below(interior));
        break;
    case Gaps::LateStart:
        startYear = firstYear + years / 3;
        break;
    }

    std::vector<double> depletions(size_t(years), Missing);
    for (int year = firstYear; year <= lastYear; ++year) {
        const int t = year - firstYear;
        double div
            = round2(base * std::pow(1.0 + p.growth, t) * (1.0 + p.variability * rng.signedUnit()));
        double eff = round3(std::clamp(eff0 + effTrend * t + 0.015 * rng.signedUnit(), 0.3, 0.8));
        double dep = div * eff;
        double sal = isMassMethod(salinityMethod)
            ? std::round((div - dep) * 1.2335 * conc * (1.0 + 0.1 * rng.signedUnit())) // tons/yr
            : std::round(conc * (1.0 + 0.08 * rng.signedUnit())); // mg/l
        if (noRow.count(year))
            continue;
        if (year < startYear || emptyRow.count(year)) {
            div = dep = eff = sal = Missing;
        } else {
            depletions[size_t(t)] = dep;
            if (noSalinity.count(year))
                sal = Missing;
            switch (reported) {
            case Reported::All:
                break;
            case Reported::DiversionEfficiency:
                dep = Missing;
                break;
            case Reported::DepletionEfficiency:
                div = Missing;
                break;
            case Reported::DiversionDepletion:
                eff = Missing;
                break;
            }
        }
        w.insert(DataStmt,
            { waterUserId, year, TARN::fromDouble(div), TARN::fromDouble(dep),
                TARN::fromDouble(eff), TARN::fromDouble(sal) });
    }
    return depletions;
}

void writeDist(Writer& w, qint64 waterUserId, const std::array<double, 12>& c)
{
    w.insert(DistStmt,
        { waterUserId, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11] });
}

// "Highline Ditch Company" -> "HighlineDitchCompany": model object names carry no spaces.
QString riffleName(const QString& name)
{
    QString out;
    for (const QChar c : name) {
        if (c.isLetterOrNumber())
            out.append(c);
    }
    return out;
}

// An attribute with its "Unassigned" default first, then the given values.
struct Attr {
    qint64 id = 0;
    std::vector<qint64> values; // values[0] is "Unassigned"
};

Attr writeAttribute(Writer& w, const QString& name, int type, const QStringList& values)
{
    Attr attr;
    attr.id = w.insert(AttributeStmt, { 1, name, type });
    attr.values.push_back(w.insert(ValueStmt, { attr.id, TN::DefaultAttrValue }));
    for (const QString& value : values)
        attr.values.push_back(w.insert(ValueStmt, { attr.id, value }));
    return attr;
}

constexpr int SiteAttrType = 1;
constexpr int WaterUserAttrType = 2;

enum ChangeType { PercentChange = 1, AmountChange = 2, NewAmount = 3, BaselineYear = 4 };
enum CalcMethod { BaselinePlusChanges = 1, InterpolateChanges = 2 };
enum CurveType { DepletionCurve = 1, DiversionCurve = 2, SalinityCurve = 3 };

// ---------------------------------------------------------------------------------------------
// The demo: the Silverbend River, a made-up snowmelt basin with farms above and towns below.

struct DemoSite {
    const char* name;
    const char* riffle;
    int method;
    int subbasin; // value index of "Subbasin" (0 = Unassigned)
    int district; // value index of "Water District"
    const char* notes;
};

const DemoSite demoSites[] = {
    { "Upper Silverbend Diversions", "UpperSilverbendAggDiv", 1, 1, 1,
        "Ditches above the Aspen Park gage." },
    { "Willow Creek Ditches", "WillowCreekAggDiv", 2, 1, 1, "" },
    { "Granite Canyon Canal", "GraniteCanyonAggDiv", 3, 2, 2,
        "Salinity measured at the canal headgate." },
    { "Meadowlark Valley Diversions", "MeadowlarkValleyAggDiv", 4, 2, 2,
        "Drains remove salt to evaporation ponds." },
    { "Red Mesa Irrigation District", "RedMesaAggDiv", 1, 2, 2, "" },
    { "Pinecrest Municipal Intake", "PinecrestAggDiv", 3, 3, 3, "" },
    { "Lower Silverbend Diversions", "LowerSilverbendAggDiv", 2, 3, 3, "" },
    { "Saltbush Flats Drain Area", "SaltbushFlatsAggDiv", 4, 3, 0,
        "District boundary under review." },
};
constexpr int demoSiteCount = int(sizeof(demoSites) / sizeof(demoSites[0]));

struct DemoUser {
    int site;
    const char* name;
    Use use;
    int useType; // value index of "Use Type" (0 = Unassigned)
    int priority; // value index of "Water Right Priority"
    Reported reported;
    Gaps gaps;
};

constexpr Reported All = Reported::All;
constexpr Reported DivEff = Reported::DiversionEfficiency;
constexpr Reported DepEff = Reported::DepletionEfficiency;
constexpr Reported DivDep = Reported::DiversionDepletion;

// Use Type values: 1 Irrigation, 2 Municipal, 3 Industrial, 4 Other.
const DemoUser demoUsers[] = {
    { 0, "Highline Ditch Company", Use::Irrigation, 1, 1, All, Gaps::None },
    { 0, "Aspen Park Ranches", Use::Irrigation, 1, 2, DivEff, Gaps::MissingRows },
    { 0, "Silverbend Town Water", Use::Municipal, 2, 1, All, Gaps::None },
    { 0, "Upper Basin Stock Water", Use::Other, 4, 2, DivDep, Gaps::EmptyRow },
    { 1, "Willow Creek Ditch", Use::Irrigation, 1, 1, All, Gaps::Salinity },
    { 1, "Beaver Meadows Ditch", Use::Irrigation, 1, 2, DepEff, Gaps::None },
    { 1, "Willow Creek Fish Hatchery", Use::Other, 4, 1, All, Gaps::None },
    { 2, "Granite Canyon Canal Company", Use::Irrigation, 1, 1, All, Gaps::EmptyRow },
    { 2, "Canyon Orchards", Use::Irrigation, 1, 2, DivEff, Gaps::None },
    { 2, "Granite Falls Municipal", Use::Municipal, 2, 1, All, Gaps::None },
    { 2, "Granite Quarry Works", Use::Industrial, 3, 2, DivDep, Gaps::MissingRows },
    { 3, "Meadowlark Ditch", Use::Irrigation, 1, 1, All, Gaps::None },
    { 3, "Prairie Dog Lateral", Use::Irrigation, 1, 2, All, Gaps::Salinity },
    { 3, "Meadowlark Sugar Mill", Use::Industrial, 3, 2, DepEff, Gaps::None },
    { 4, "Red Mesa North Lateral", Use::Irrigation, 1, 1, All, Gaps::None },
    { 4, "Red Mesa South Lateral", Use::Irrigation, 1, 1, DivEff, Gaps::EmptyRow },
    { 4, "Mesa Verde Farms", Use::Irrigation, 1, 2, All, Gaps::None },
    { 4, "Red Mesa Generating Station", Use::Power, 3, 2, All, Gaps::None },
    { 5, "Pinecrest City Water", Use::Municipal, 2, 1, All, Gaps::None },
    { 5, "Pinecrest Parks and Golf", Use::Municipal, 2, 2, DivDep, Gaps::None },
    { 5, "Pinecrest Industrial Park", Use::Industrial, 3, 2, All, Gaps::MissingRows },
    { 5, "Cedar Hills Water District", Use::Municipal, 2, 0, DepEff, Gaps::None },
    { 6, "Lower Valley Canal", Use::Irrigation, 1, 1, All, Gaps::None },
    { 6, "Cottonwood Bottoms Ditch", Use::Irrigation, 1, 2, All, Gaps::Salinity },
    { 6, "Riverside Dairy", Use::Other, 4, 2, DivEff, Gaps::None },
    { 6, "Cottonwood Ethanol Plant", Use::Industrial, 3, 2, All, Gaps::LateStart },
    { 7, "Saltbush Flats Farms", Use::Irrigation, 1, 1, All, Gaps::None },
    { 7, "Alkali Wash Lateral", Use::Irrigation, 1, 2, DivDep, Gaps::EmptyRow },
    { 7, "Saltbush Wildlife Refuge", Use::Other, 0, 1, All, Gaps::None },
    { 7, "Desert Bloom Nursery", Use::Irrigation, 1, 2, All, Gaps::MissingRows },
};
constexpr int demoUserCount = int(sizeof(demoUsers) / sizeof(demoUsers[0]));

class DemoBuilder {
public:
    DemoBuilder(Writer& writer, int firstYear, int lastYear)
        : _w(writer)
        , _first(firstYear)
        , _last(lastYear)
    {
    }

    void build()
    {
        writeAttributes();
        writeSites();
        writeWaterUsers();
        writeScenarios();
        writePlots();
    }

private:
    void writeAttributes()
    {
        _subbasin = writeAttribute(_w, QStringLiteral("Subbasin"), SiteAttrType,
            { QStringLiteral("Headwaters"), QStringLiteral("Middle Valley"),
                QStringLiteral("Lower Valley") });
        _district = writeAttribute(_w, QStringLiteral("Water District"), SiteAttrType,
            { QStringLiteral("District 7"), QStringLiteral("District 12"),
                QStringLiteral("District 21") });
        _useType = writeAttribute(_w, QStringLiteral("Use Type"), WaterUserAttrType,
            { QStringLiteral("Irrigation"), QStringLiteral("Municipal"),
                QStringLiteral("Industrial"), QStringLiteral("Other") });
        _priority = writeAttribute(_w, QStringLiteral("Water Right Priority"), WaterUserAttrType,
            { QStringLiteral("Senior"), QStringLiteral("Junior") });
    }

    void writeSites()
    {
        for (int i = 0; i < demoSiteCount; ++i) {
            const DemoSite& s = demoSites[i];
            const qint64 id = _w.insert(SiteStmt,
                { 1, s.method, QString::fromUtf8(s.name), QString::fromUtf8(s.riffle),
                    QString::fromUtf8(s.notes), i + 1 });
            _siteIds.push_back(id);
            _w.insert(SiteAttrStmt, { _subbasin.id, id, _subbasin.values[size_t(s.subbasin)] });
            _w.insert(SiteAttrStmt, { _district.id, id, _district.values[size_t(s.district)] });
        }
    }

    qint64 writeWaterUser(const DemoUser& u, qint64 scenarioId, int ord)
    {
        const QString name = QString::fromUtf8(u.name);
        const qint64 id = _w.insert(WaterUserStmt,
            { _siteIds[size_t(u.site)], keyOrNull(scenarioId), name, riffleName(name), QString(),
                ord });
        _depletions.push_back(writeYears(
            _w, _rng, id, u.use, demoSites[u.site].method, u.reported, u.gaps, _first, _last));
        writeDist(_w, id, jitteredDist(profile(u.use).dist, _rng));
        _w.insert(WaterUserAttrStmt, { _useType.id, id, _useType.values[size_t(u.useType)] });
        _w.insert(WaterUserAttrStmt, { _priority.id, id, _priority.values[size_t(u.priority)] });
        return id;
    }

    void writeWaterUsers()
    {
        std::vector<int> ord(size_t(demoSiteCount), 0);
        for (const DemoUser& u : demoUsers)
            _userIds.push_back(writeWaterUser(u, 0, ++ord[size_t(u.site)]));
    }

    // Baseline total depletion of the given demo water users in a year (missing values skipped).
    double totalDepletion(const std::vector<int>& users, int year) const
    {
        double total = 0.0;
        for (int u : users) {
            const double d = _depletions[size_t(u)][size_t(year - _first)];
            if (!std::isnan(d))
                total += d;
        }
        return total;
    }

    qint64 writeScenario(
        const char* name, const char* shortName, const char* description, const char* date)
    {
        return _w.insert(ScenarioStmt,
            { 1, QString::fromUtf8(name), QString::fromUtf8(shortName),
                QString::fromUtf8(description), QStringLiteral("demo"), QString::fromUtf8(date),
                QString::fromUtf8(date) });
    }

    qint64 writeChange(qint64 scenario, const char* name, const char* description, const char* date,
        int depletionMethod, int efficiencyMethod, const std::vector<int>& users,
        bool usesFilters = false)
    {
        const qint64 id = _w.insert(DemandChgStmt,
            { scenario, QString::fromUtf8(name), QString::fromUtf8(description),
                QString::fromUtf8(date), depletionMethod, efficiencyMethod, usesFilters ? 1 : 0 });
        for (int u : users)
            _w.insert(ChgMemberStmt, { id, _userIds[size_t(u)] });
        return id;
    }

    void yearly(Stmt stmt, qint64 change, int from, int to, int type, double value)
    {
        for (int year = from; year <= to; ++year)
            _w.insert(stmt, { change, year, type, value });
    }

    // Baseline water users of the sites in the given subbasin with the given use type: what a
    // stored filter on those two values selects.
    std::vector<int> usersMatching(int subbasin, int useType) const
    {
        std::vector<int> users;
        for (int i = 0; i < demoUserCount; ++i) {
            if (demoSites[demoUsers[i].site].subbasin == subbasin
                && demoUsers[i].useType == useType)
                users.push_back(i);
        }
        return users;
    }

    std::vector<int> usersWhere(bool (*pred)(const DemoUser&)) const
    {
        std::vector<int> users;
        for (int i = 0; i < demoUserCount; ++i) {
            if (pred(demoUsers[i]))
                users.push_back(i);
        }
        return users;
    }

    void writeScenarios()
    {
        const int middleValley = 2;
        const int irrigation = 1;

        // Drought: a filtered curtailment and a hand-picked conservation programme.
        _drought = writeScenario("Drought Response", "Drought",
            "Curtailed irrigation and municipal conservation during a "
            "prolonged drought.",
            "2024-02-12");
        const qint64 curtail = writeChange(_drought, "Middle Valley irrigation curtailment",
            "Junior and senior irrigators of the Middle Valley cut depletion by 15%.", "2024-02-12",
            BaselinePlusChanges, BaselinePlusChanges, usersMatching(middleValley, irrigation),
            true);
        _w.insert(SelectionStmt, { curtail, _subbasin.id, _subbasin.values[middleValley] });
        _w.insert(SelectionStmt, { curtail, _useType.id, _useType.values[irrigation] });
        yearly(DepletionChgStmt, curtail, 2012, _last, PercentChange, -15.0);
        yearly(EfficiencyChgStmt, curtail, 2012, _last, AmountChange, 0.05);

        const std::vector<int> towns = { 2, 9, 18 };
        const qint64 conserve = writeChange(_drought, "Municipal conservation",
            "Watering restrictions in the three largest towns.", "2024-02-14", BaselinePlusChanges,
            BaselinePlusChanges, towns);
        yearly(DepletionChgStmt, conserve, 2015, _last, PercentChange, -8.0);
        yearly(EfficiencyChgStmt, conserve, 2015, _last, PercentChange, 3.0);

        // Growth: Pinecrest's totals are given for a few years and interpolated between them.
        _growth = writeScenario("Municipal Growth", "Growth",
            "Pinecrest area growth and new industrial contracts.", "2024-03-07");
        const std::vector<int> pinecrest = { 18, 19, 21 };
        const qint64 plan = writeChange(_growth, "Pinecrest growth plan",
            "Total depletion targets of the Pinecrest master plan.", "2024-03-07",
            InterpolateChanges, BaselinePlusChanges, pinecrest);
        for (int year : { _first, 2000, 2010, _last }) {
            const double growth = 1.0 + 0.012 * (year - _first);
            _w.insert(DepletionChgStmt,
                { plan, year, NewAmount, round2(totalDepletion(pinecrest, year) * growth) });
        }
        yearly(EfficiencyChgStmt, plan, 2010, _last, PercentChange, 5.0);

        const std::vector<int> industry = { 10, 13, 20 };
        const qint64 contracts = writeChange(_growth, "Industrial water contracts",
            "Added supply for industry, with recycling raising efficiency every year.",
            "2024-03-09", BaselinePlusChanges, InterpolateChanges, industry);
        yearly(DepletionChgStmt, contracts, 2010, _last, AmountChange, 3.5);
        // Efficiency is interpolated from the changed values only, so every year gets one.
        for (int year = _first; year <= _last; ++year) {
            const double eff = 0.70 + 0.08 * (year - _first) / double(std::max(1, _last - _first));
            _w.insert(EfficiencyChgStmt, { contracts, year, NewAmount, round3(eff) });
        }

        // A data centre that exists only in this scenario. It is in no demand change: a change
        // needs the baseline results of its water users, which a scenario-only user lacks.
        const DemoUser dataCentre { 5, "Pinecrest Data Center", Use::Industrial, 3, 2, All,
            Gaps::LateStart };
        _scenarioUser = writeWaterUser(dataCentre, _growth, 1);

        // Repeat: the demands of twenty years earlier, and two later retirements.
        _repeat = writeScenario("Repeat 1990s Demands", "Repeat1990s",
            "Upper basin demands of 1991-2000 repeated in 2011-2020.", "2024-04-01");
        const std::vector<int> upper = { 0, 1, 2, 3, 4, 5, 6 };
        const qint64 repeat = writeChange(_repeat, "Repeat 1990s demands",
            "Each year takes the demand of twenty years earlier.", "2024-04-01",
            BaselinePlusChanges, BaselinePlusChanges, upper);
        for (int year = std::max(_first + 20, 2011); year <= _last; ++year) {
            _w.insert(DepletionChgStmt, { repeat, year, BaselineYear, year - 20 });
            _w.insert(EfficiencyChgStmt, { repeat, year, BaselineYear, year - 20 });
        }
        // Newer than the repeat change, so it wins for Aspen Park Ranches, which both select.
        const qint64 retire = writeChange(_repeat, "Retirements",
            "Aspen Park Ranches sold and dried up; the generating "
            "station closes.",
            "2024-05-20", BaselinePlusChanges, BaselinePlusChanges, { 1, 17 });
        yearly(DepletionChgStmt, retire, 2018, _last, NewAmount, 0.0);
    }

    qint64 writeCurve(qint64 plot, const char* name, int type, const std::vector<int>& users)
    {
        const qint64 id = _w.insert(CurveStmt, { plot, QString::fromUtf8(name), type });
        for (int u : users)
            _w.insert(CurveMemberStmt, { id, _userIds[size_t(u)] });
        return id;
    }

    void writePlots()
    {
        const qint64 demand = _w.insert(PlotStmt,
            { QStringLiteral("Irrigation and Municipal Demand"),
                QStringLiteral("Baseline against the drought "
                               "and growth scenarios.") });
        for (qint64 scenario : { qint64(0), _drought, _growth })
            _w.insert(PlotScenarioStmt, { demand, keyOrNull(scenario) });
        const qint64 irrigation = writeCurve(demand, "Irrigation Depletion", DepletionCurve,
            usersWhere([](const DemoUser& u) { return u.useType == 1; }));
        _w.insert(CurveFilterStmt, { irrigation, _useType.id, _useType.values[1] });
        writeCurve(demand, "Municipal Diversion", DiversionCurve,
            usersWhere([](const DemoUser& u) { return u.useType == 2; }));

        const qint64 salinity = _w.insert(PlotStmt,
            { QStringLiteral("Salinity Loading"), QStringLiteral("Salt pick-up by unit kind.") });
        for (qint64 scenario : { qint64(0), _repeat })
            _w.insert(PlotScenarioStmt, { salinity, keyOrNull(scenario) });
        // A salinity curve sums pick-ups, so tons/yr and mg/l sites go into separate curves.
        writeCurve(salinity, "Salt Mass (tons/yr)", SalinityCurve,
            usersWhere([](const DemoUser& u) { return isMassMethod(demoSites[u.site].method); }));
        writeCurve(salinity, "Salt Concentration (mg/l)", SalinityCurve,
            usersWhere([](const DemoUser& u) { return !isMassMethod(demoSites[u.site].method); }));
        writeCurve(salinity, "Lower Valley Diversion", DiversionCurve,
            usersWhere([](const DemoUser& u) { return demoSites[u.site].subbasin == 3; }));
    }

    Writer& _w;
    Rng _rng { 20240307 };
    int _first;
    int _last;
    Attr _subbasin, _district, _useType, _priority;
    std::vector<qint64> _siteIds;
    std::vector<qint64> _userIds;
    std::vector<std::vector<double>> _depletions; // per water user, in write order
    qint64 _drought = 0, _growth = 0, _repeat = 0, _scenarioUser = 0;
};

// ---------------------------------------------------------------------------------------------
// The benchmark basin: regular, big, with only a sprinkling of gaps.

constexpr int LargeUsersPerSite = 5;

struct LargeShape {
    int sites;
    int firstYear;
    int lastYear;
    int scenarios;
};
constexpr LargeShape Benchmark { 500, 1981, 2100, 3 };
constexpr LargeShape Stress { 1000, 1951, 2100, 20 };

void buildLarge(Writer& w, const LargeShape& shape)
{
    Rng rng(1981);
    const Attr basin = writeAttribute(w, QStringLiteral("Subbasin"), SiteAttrType,
        { QStringLiteral("North Fork"), QStringLiteral("South Fork"), QStringLiteral("Main Stem"),
            QStringLiteral("Delta") });
    const Attr state = writeAttribute(w, QStringLiteral("State"), SiteAttrType,
        { QStringLiteral("Upper State"), QStringLiteral("Lower State") });
    const Attr useType = writeAttribute(w, QStringLiteral("Use Type"), WaterUserAttrType,
        { QStringLiteral("Irrigation"), QStringLiteral("Municipal"), QStringLiteral("Industrial"),
            QStringLiteral("Other") });
    const Attr priority = writeAttribute(w, QStringLiteral("Water Right Priority"),
        WaterUserAttrType, { QStringLiteral("Senior"), QStringLiteral("Junior") });

    // Three irrigators, a town and one more user per site.
    const Use uses[LargeUsersPerSite]
        = { Use::Irrigation, Use::Irrigation, Use::Irrigation, Use::Municipal, Use::Industrial };
    const Use fifth[3] = { Use::Industrial, Use::Power, Use::Other };
    const int useValue[] = { 1, 2, 3, 3, 4 }; // by Use: Irrigation .. Other

    std::vector<qint64> users;
    users.reserve(shape.sites * LargeUsersPerSite);
    for (int s = 0; s < shape.sites; ++s) {
        const int method = s % 4 + 1;
        const qint64 site = w.insert(SiteStmt,
            { 1, method, QStringLiteral("Agg Diversion %1").arg(s + 1, 3, 10, QLatin1Char('0')),
                QStringLiteral("AggDiv%1").arg(s + 1, 3, 10, QLatin1Char('0')), QString(), s + 1 });
        w.insert(SiteAttrStmt, { basin.id, site, basin.values[size_t(1 + s * 4 / shape.sites)] });
        w.insert(
            SiteAttrStmt, { state.id, site, state.values[size_t(s % 7 == 0 ? 0 : 1 + s % 2)] });
        for (int k = 0; k < LargeUsersPerSite; ++k) {
            const int n = s * LargeUsersPerSite + k;
            const Use use = k == 4 ? fifth[s % 3] : uses[k];
            const QString name
                = QStringLiteral("Water User %1-%2").arg(s + 1, 3, 10, QLatin1Char('0')).arg(k + 1);
            const qint64 id = w.insert(
                WaterUserStmt, { site, nullKey(), name, riffleName(name), QString(), k + 1 });
            users.push_back(id);
            const Gaps gaps = n % 50 == 7 ? Gaps::EmptyRow
                : n % 80 == 13            ? Gaps::MissingRows
                                          : Gaps::None;
            const Reported reported = n % 10 == 3 ? Reported::DiversionEfficiency : Reported::All;
            writeYears(w, rng, id, use, method, reported, gaps, shape.firstYear, shape.lastYear);
            writeDist(w, id, jitteredDist(profile(use).dist, rng));
            w.insert(
                WaterUserAttrStmt, { useType.id, id, useType.values[size_t(useValue[int(use)])] });
            w.insert(WaterUserAttrStmt, { priority.id, id, priority.values[size_t(1 + n % 2)] });
        }
    }

    // Each scenario changes a different fifth of the water users (the first five; later ones
    // repeat them), split into two changes.
    const char* names[3] = { "Climate Warming", "Conservation", "Population Growth" };
    const char* shorts[3] = { "Warm", "Conserve", "Growth" };
    std::vector<qint64> scenarios;
    for (int sc = 0; sc < shape.scenarios; ++sc) {
        const QString date = QDate(2024, 1, 1).addMonths(sc).toString(Qt::ISODate);
        const QString name
            = sc < 3 ? QString::fromUtf8(names[sc]) : QStringLiteral("Scenario %1").arg(sc + 1);
        const QString shortName
            = sc < 3 ? QString::fromUtf8(shorts[sc]) : QStringLiteral("S%1").arg(sc + 1);
        const qint64 scenario = w.insert(ScenarioStmt,
            { 1, name, shortName, QStringLiteral("Benchmark scenario."), QStringLiteral("bench"),
                date, date });
        scenarios.push_back(scenario);
        const qint64 percent = w.insert(DemandChgStmt,
            { scenario, QStringLiteral("Irrigation %1").arg(shortName), QString(), date,
                BaselinePlusChanges, BaselinePlusChanges, 0 });
        const qint64 targets = w.insert(DemandChgStmt,
            { scenario, QStringLiteral("Targets %1").arg(shortName), QString(), date,
                InterpolateChanges, BaselinePlusChanges, 0 });
        for (size_t n = size_t(sc % 5); n < users.size(); n += 5)
            w.insert(ChgMemberStmt, { (n / 5) % 2 ? targets : percent, users[n] });
        for (int year = 2025; year <= shape.lastYear; ++year) {
            const double t = year - 2025;
            w.insert(DepletionChgStmt, { percent, year, PercentChange, (sc % 3 - 1) * 0.2 * t });
            w.insert(EfficiencyChgStmt, { percent, year, AmountChange, 0.001 * t });
            if (year % 25 == 0)
                w.insert(DepletionChgStmt,
                    { targets, year, NewAmount, (4000.0 + 40.0 * sc * t) * shape.sites / 500 });
        }
        w.insert(DepletionChgStmt, { targets, shape.firstYear, BaselineYear, shape.firstYear });
        w.insert(EfficiencyChgStmt, { targets, 2050, BaselineYear, 2000 });
    }

    const qint64 plot = w.insert(PlotStmt, { QStringLiteral("Basin Totals"), QString() });
    w.insert(PlotScenarioStmt, { plot, nullKey() });
    for (qint64 scenario : scenarios)
        w.insert(PlotScenarioStmt, { plot, scenario });
    const qint64 curve
        = w.insert(CurveStmt, { plot, QStringLiteral("North Fork Depletion"), DepletionCurve });
    for (size_t n = 0; n < users.size() / 4; ++n)
        w.insert(CurveMemberStmt, { curve, users[n] });
}

// ---------------------------------------------------------------------------------------------

// Makes the empty project, then fills it in one transaction. A failure removes the file again, so
// a half-made example never looks like a finished one.
template<typename Fill>
TARN::okstat createFilled(const QString& path, const QString& schema, int firstYear, int lastYear,
    const QString& description, Fill fill)
{
    TARN::okstat status = ProjectFile::create(path, firstYear, lastYear, description, schema);
    if (status.failed())
        return status;
    {
        QSqlDatabase db = ProjectFile::openConnection(path, &status);
        if (status.isOk() && !db.transaction())
            status = db.lastError().text();
        if (status.isOk()) {
            {
                Writer writer(db);
                fill(writer);
                status = writer.status();
            }
            if (status.isOk() && !db.commit())
                status = db.lastError().text();
            if (status.failed())
                db.rollback();
        }
        ProjectFile::closeConnection(db);
    }
    if (status.failed())
        QFile::remove(path);
    return status;
}

} // namespace

TARN::okstat createDemo(const QString& path, const QString& schema)
{
    const int first = 1990;
    const int last = 2020;
    return createFilled(path, schema, first, last,
        QStringLiteral("Silverbend River demo basin: eight aggregate diversions, "
                       "thirty water users and three scenarios."),
        [&](Writer& w) { DemoBuilder(w, first, last).build(); });
}

TARN::okstat createLarge(const QString& path, const QString& schema)
{
    return createFilled(path, schema, Benchmark.firstYear, Benchmark.lastYear,
        QStringLiteral("Benchmark basin: 500 aggregate diversions, 2,500 water "
                       "users, 1981-2100."),
        [](Writer& w) { buildLarge(w, Benchmark); });
}

TARN::okstat createStress(const QString& path)
{
    return createFilled(path, QString(), Stress.firstYear, Stress.lastYear,
        QStringLiteral("Stress basin: 1,000 aggregate diversions, 5,000 water users, 1951-2100, "
                       "20 scenarios."),
        [](Writer& w) { buildLarge(w, Stress); });
}

} // namespace DemoProject
