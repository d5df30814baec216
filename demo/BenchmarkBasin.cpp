#include "demo/Basins.h"
#include "demo/WaterUserRows.h"

#include <QDate>
#include <QString>

#include <vector>

namespace DemoProject {

namespace {

constexpr int LargeUsersPerSite = 5;

} // namespace

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

} // namespace DemoProject
