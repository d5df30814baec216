#include "demo/WaterUserRows.h"

#include "db/ModelOps.h"
#include "db/TarnNames.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace DemoProject {

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

bool isMassMethod(int salinityMethod)
{
    return salinityMethod == 1 || salinityMethod == 4;
}

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

QString riffleName(const QString& name)
{
    QString out;
    for (const QChar c : name) {
        if (c.isLetterOrNumber())
            out.append(c);
    }
    return out;
}

Attr writeAttribute(Writer& w, const QString& name, int type, const QStringList& values)
{
    Attr attr;
    attr.id = w.insert(AttributeStmt, { 1, name, type });
    attr.values.push_back(w.insert(ValueStmt, { attr.id, TN::DefaultAttrValue }));
    for (const QString& value : values)
        attr.values.push_back(w.insert(ValueStmt, { attr.id, value }));
    return attr;
}

} // namespace DemoProject
