#include "demo/Basins.h"
#include "demo/WaterUserRows.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

namespace DemoProject {

namespace {

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

} // namespace

void buildSilverbend(Writer& w, int firstYear, int lastYear)
{
    DemoBuilder(w, firstYear, lastYear).build();
}

} // namespace DemoProject
