#include "ensemble/MemberRun.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/CalcObserver.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/AggDivDAO.h"
#include "db/BaselineDAO.h"
#include "db/ModelOps.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "export/DataExporter.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// The baseline as the project check computes it: every site compared with its stored rows.
class BaselineObserver : public CalcObserver {
public:
    void aggDivCalculated(int, const QString& riffleName,
        const std::vector<DemandMath::SiteSalinity>&,
        const ResultStore::Difference& difference) override
    {
        note(QStringLiteral("the salinity of site \"%1\"").arg(riffleName), difference);
    }
    void waterUserCalculated(int, const AggDivCalcData::WaterUserEntry& entry,
        const ResultStore::Difference& difference) override
    {
        note(QStringLiteral("water user \"%1\"").arg(entry.name), difference);
        const double* depletion = entry.series(AggDivCalcData::Depletion);
        ScenarioChanges::BaselineSeries& series = depletions[entry.id];
        series.depletion.assign(depletion, depletion + entry.yearCount);
        series.hasRow.assign(static_cast<size_t>(entry.yearCount), 1);
    }

    ScenarioChanges::BaselineSeriesMap depletions;
    int owners = 0;
    int stored = 0;
    int stale = 0;
    QString first; // the first one found stale, with how

private:
    void note(const QString& what, const ResultStore::Difference& difference)
    {
        ++owners;
        stored += difference.storedRows > 0 ? 1 : 0;
        if (difference.equal())
            return;
        if (++stale == 1) {
            first = difference.storedRows == 0
                ? QStringLiteral("%1 has no stored results").arg(what)
                : QStringLiteral("the stored results of %1 differ%2 from what its inputs give")
                      .arg(what,
                          difference.firstYear
                              ? QStringLiteral(" from %1 on").arg(difference.firstYear)
                              : QString());
        }
    }
};

// The member's scenario: what was computed, kept for the output.
class MemberObserver : public CalcObserver {
public:
    void aggDivCalculated(int aggDivID, const QString&,
        const std::vector<DemandMath::SiteSalinity>& salinity,
        const ResultStore::Difference&) override
    {
        sites.insert(aggDivID, salinity);
    }
    void waterUserCalculated(int aggDivID, const AggDivCalcData::WaterUserEntry& entry,
        const ResultStore::Difference&) override
    {
        waterUsers.insert(entry.id, entry);
        siteWaterUsers[aggDivID].append(entry.id);
    }

    QHash<int, std::vector<DemandMath::SiteSalinity>> sites;
    QHash<int, AggDivCalcData::WaterUserEntry> waterUsers;
    QHash<int, QList<int>> siteWaterUsers; // in the order computed
};

// The shortest text that reads back as the same double; "NaN" for a missing value.
void appendNumber(QByteArray& text, double value)
{
    if (std::isnan(value)) {
        text.append("NaN");
        return;
    }
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    text.append(buffer, int(end - buffer));
}

// A CSV field, quoted when it holds a comma, a quote or a line break.
QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

void MemberRun::follow(DemandCalculator& calculator, const QString& step)
{
    if (!_status)
        return;
    // runHere() emits on this thread: a direct connection.
    QObject::connect(
        &calculator, &DemandCalculator::calcStatus, [this, step](const CalcStatusInfo& info) {
            CalcStatusInfo shown = info;
            shown.target = step;
            _status(shown);
        });
}

TARN::okstat MemberRun::checkBaseline(ScenarioChanges::BaselineSeriesMap& depletions)
{
    BaselineChangeLog everything;
    everything.setFullRecalculation();
    BaselineDemandCalculator baseline;
    baseline.setCompareOnly(true);
    BaselineObserver observer;
    baseline.setObserver(&observer);
    follow(baseline, QStringLiteral("Checking the baseline"));
    baseline.initialize(&everything, false);
    const TARN::okstat computed = baseline.runHere();
    if (computed.failed())
        return QStringLiteral("The baseline could not be computed: %1").arg(computed.text());
    const QString file = TarnDbMgr::instance()->path();
    if (observer.stored == 0 && observer.owners > 0) {
        return QStringLiteral("The baseline of %1 has never been calculated; the members are "
                              "computed from its results. Run tarnhelm-cli recalc %1 first.")
            .arg(file);
    }
    if (observer.stale > 0) {
        return QStringLiteral("The baseline results of %1 are out of date (%2%3); the members are "
                              "computed from them. Run tarnhelm-cli recalc %1 first.")
            .arg(file, observer.first,
                observer.stale > 1
                    ? QStringLiteral(", and %1 more sites and water users").arg(observer.stale - 1)
                    : QString());
    }
    depletions = std::move(observer.depletions);
    return {};
}

TARN::okstat MemberRun::run(int member)
{
    _series.clear();
    if (member < 0 || member >= _plan.memberCount())
        return QStringLiteral("The plan has members 0 to %1; there is no member %2.")
            .arg(QString::number(_plan.memberCount() - 1), QString::number(member));
    TARN::okstat status
        = _plan.checkProject(TarnDbMgr::instance()->database(), TarnDbMgr::instance()->path());
    if (status.failed())
        return status;
    ScenarioChanges::BaselineSeriesMap depletions;
    status = checkBaseline(depletions);
    if (status.failed())
        return status;

    QSqlDatabase& db = TarnDbMgr::instance()->database();
    Baseline baseline;
    status = TarnDbMgr::instance()->baselineDAO()->getBaseline(baseline);
    if (status.failed())
        return status;
    _firstYear = baseline.StartYear;
    _lastYear = baseline.EndYear;

    BaselineChangeLog everything;
    everything.setFullRecalculation();
    ScenarioDemandCalculator scenario(_plan.scenarioID, _plan.scenarioName);
    scenario.setBaselineDepletions(&depletions);
    scenario.setDiscardResults(true);
    scenario.setChangeEdit([this, member](ScenarioChanges::DemandChange& change) {
        _plan.applyMember(member, change);
    });
    MemberObserver observer;
    scenario.setObserver(&observer);
    follow(scenario, QStringLiteral("Member %1").arg(member));
    scenario.initialize(&everything, false);
    status = scenario.runHere();
    if (status.failed())
        return status;

    DemandSlotNames slotNames;
    status = readDemandSlotNames(db, slotNames);
    if (status.failed())
        return status;
    QList<SiteWaterUsers> sites;
    status = AggDivDAO::readSitesWithWaterUsers(db, sites);
    if (status.failed())
        return status;

    // The columns of the scenario's monthly sheet, in its order.
    const int years = std::max(0, _lastYear - _firstYear + 1);
    for (const SiteWaterUsers& entry : qAsConst(sites)) {
        const auto salinity = observer.sites.constFind(entry.site.AggDivID);
        if (salinity == observer.sites.constEnd())
            continue;
        Series site;
        site.slot = QStringLiteral("%1.%2").arg(
            entry.site.RiffleName, entry.site.salinityMethod.slotName);
        for (int y = 0; y < years && y < int(salinity->size()); ++y) {
            site.yearly.push_back(salinity->at(size_t(y)).yearly);
            for (int month = 0; _monthly && month < 12; ++month)
                site.monthly.push_back(salinity->at(size_t(y)).monthly);
        }
        _series.push_back(std::move(site));
        // The site's baseline water users as the workbook orders them, then the scenario's own
        // ones, which the result tables hold but the workbook leaves out.
        QList<int> order;
        for (const WaterUser& user : entry.waterUsers)
            order.append(user.WaterUserID);
        const int baselineUsers = order.size();
        for (const int id : observer.siteWaterUsers.value(entry.site.AggDivID)) {
            if (!order.contains(id))
                order.append(id);
        }
        for (int u = 0; u < order.size(); ++u) {
            const auto computed = observer.waterUsers.constFind(order.at(u));
            if (computed == observer.waterUsers.constEnd())
                continue;
            const QString prefix
                = QStringLiteral("%1:%2.").arg(entry.site.RiffleName, computed->name);
            for (const int kind : { AggDivCalcData::Diversion, AggDivCalcData::Depletion }) {
                Series series;
                series.inWorkbook = u < baselineUsers;
                series.slot = prefix
                    + (kind == AggDivCalcData::Diversion ? slotNames.diversion
                                                         : slotNames.depletion);
                for (int y = 0; y < years && y < computed->yearCount; ++y) {
                    series.yearly.push_back(computed->value(kind, y));
                    for (int month = 1; _monthly && month <= 12; ++month)
                        series.monthly.push_back(
                            AggDivCalcData::monthlyValue(*computed, kind, y, month));
                }
                _series.push_back(std::move(series));
            }
        }
    }
    return {};
}

QByteArray MemberRun::csv() const
{
    QByteArray text("Slot,Year,Value\n");
    size_t lines = 0;
    for (const Series& series : _series)
        lines += series.yearly.size();
    text.reserve(int(std::min<size_t>(lines * 64, 1u << 30)));
    for (const Series& series : _series) {
        const QByteArray slot = csvField(series.slot).toUtf8() + ',';
        for (size_t y = 0; y < series.yearly.size(); ++y) {
            text.append(slot);
            text.append(QByteArray::number(_firstYear + int(y)));
            text.append(',');
            appendNumber(text, series.yearly[y]);
            text.append('\n');
        }
    }
    return text;
}

TARN::okstat writeFileAtomically(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Unable to write %1: %2").arg(path, file.errorString());
    if (file.write(data) != data.size() || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return QStringLiteral("Unable to write %1: %2").arg(path, error);
    }
    if (!file.commit())
        return QStringLiteral("Unable to write %1: %2").arg(path, file.errorString());
    return {};
}

TARN::okstat replaceFile(const QString& from, const QString& to)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        const QString error = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(from);
        return QStringLiteral("Unable to write %1: %2").arg(to, error);
    }
    return {};
}
