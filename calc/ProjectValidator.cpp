#include "calc/ProjectValidator.h"

#include "calc/ProjectCheckData.h"
#include "calc/ResultsCheck.h"
#include "db/TarnDbMgr.h"
#include "workbook/CellFormat.h"

#include "calc/DemandMath.h"
#include "calc/ScenarioChanges.h"

#include <QMap>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

using Severity = ValidationFinding::Severity;

struct RuleInfo {
    const char* id;
    Severity severity;
};

// Report order.
constexpr RuleInfo Rules[] = {
    { "results-current", ValidationFinding::Fail },
    { "coefficients-sum", ValidationFinding::Fail },
    { "efficiency-range", ValidationFinding::Fail },
    { "zero-efficiency", ValidationFinding::Warn },
    { "negative-value", ValidationFinding::Fail },
    { "not-a-number", ValidationFinding::Warn },
    { "depletion-exceeds-diversion", ValidationFinding::Warn },
    { "missing-years", ValidationFinding::Warn },
    { "no-data", ValidationFinding::Warn },
    { "riffle-names", ValidationFinding::Fail },
    { "sheet-names", ValidationFinding::Fail },
    { "shadowed-changes", ValidationFinding::Warn },
    { "empty-selection", ValidationFinding::Warn },
    { "change-years-outside-range", ValidationFinding::Warn },
    { "ineffective-method", ValidationFinding::Warn },
};

int ruleIndex(const QString& rule)
{
    for (int i = 0; i < int(std::size(Rules)); ++i) {
        if (rule == QLatin1String(Rules[i].id))
            return i;
    }
    return int(std::size(Rules));
}

QString quotedName(const QString& name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString number(double value)
{
    return QString::number(value, 'g', 12);
}

const char* const MonthNames[] = { "January", "February", "March", "April", "May", "June", "July",
    "August", "September", "October", "November", "December" };

// The input rules: what the planner entered, read once from the file.
class InputRules {
public:
    InputRules(const ProjectCheckData& data, QList<ValidationFinding>& findings)
        : _data(data)
        , _findings(findings)
    {
    }

    void run()
    {
        coefficients();
        enteredValues();
        textValues();
        riffleNames();
        sheetNames();
        changes();
    }

private:
    ValidationFinding& add(const QString& rule, const ProjectCheckData::WaterUser* waterUser,
        const QString& message, int year = 0)
    {
        ValidationFinding finding;
        finding.rule = rule;
        finding.severity = ProjectValidator::severityOf(rule);
        finding.message = message;
        finding.year = year;
        if (waterUser) {
            finding.scenarioID = waterUser->scenarioID;
            finding.scenarioName = _data.scenarioName(waterUser->scenarioID);
            finding.site = _data.siteRiffleName(waterUser->aggDivID);
            finding.waterUser = waterUser->riffleName;
        }
        _findings.append(finding);
        return _findings.last();
    }

    void coefficients()
    {
        for (const ProjectCheckData::WaterUser& user : _data.waterUsers) {
            const auto dist = _data.distributions.constFind(user.id);
            if (dist == _data.distributions.cend()) {
                add(QStringLiteral("coefficients-sum"), &user,
                    QStringLiteral("%1 has no monthly coefficients.").arg(user.label()));
                continue;
            }
            QStringList problems;
            double sum = 0;
            for (int month = 0; month < 12; ++month) {
                const double value = dist->at(month);
                const QString name = QLatin1String(MonthNames[month]);
                if (std::isnan(value)) {
                    problems.append(QStringLiteral("the %1 coefficient is missing").arg(name));
                    continue;
                }
                if (value < 0) {
                    problems.append(QStringLiteral("the %1 coefficient is negative (%2)")
                                        .arg(name, number(value)));
                }
                sum += value;
            }
            if (problems.isEmpty() && std::abs(sum - 100.0) > DemandMath::CoefficientSumTolerance)
                problems.append(QStringLiteral("they sum to %1, not 100").arg(number(sum)));
            if (!problems.isEmpty()) {
                add(QStringLiteral("coefficients-sum"), &user,
                    QStringLiteral("The monthly coefficients of %1: %2.")
                        .arg(user.label(), problems.join(QStringLiteral("; "))));
            }
        }
    }

    // Entered efficiency ratios and negative entered values: one finding per water user and
    // quantity, at the first year, counting the others.
    void enteredValues()
    {
        for (const ProjectCheckData::WaterUser& user : _data.waterUsers) {
            const QVector<ProjectCheckData::YearValues> rows = _data.yearly.value(user.id);
            struct Hit {
                int first = 0;
                int count = 0;
                double value = 0;
            };
            Hit efficiency;
            Hit zero;
            Hit negative[3];
            for (const ProjectCheckData::YearValues& row : rows) {
                if (!_data.inRange(row.year))
                    continue;
                // 0 is valid, as in the water user dialog: nothing of the diversion is consumed.
                const double e = row.values[2];
                Hit* hit = nullptr;
                if (e == 0.0)
                    hit = &zero;
                else if (!std::isnan(e) && !(e >= 0.0 && e <= 1.0))
                    hit = &efficiency;
                if (hit && hit->count++ == 0) {
                    hit->first = row.year;
                    hit->value = e;
                }
                const int kinds[3] = { 0, 1, 3 };
                for (int k = 0; k < 3; ++k) {
                    const double v = row.values[kinds[k]];
                    if (!std::isnan(v) && v < 0 && negative[k].count++ == 0) {
                        negative[k].first = row.year;
                        negative[k].value = v;
                    }
                }
            }
            if (efficiency.count) {
                add(QStringLiteral("efficiency-range"), &user,
                    QStringLiteral("%1 has an entered efficiency ratio of %2 in %3%4; it must be "
                                   "at least 0 and at most 1.")
                        .arg(user.label(), number(efficiency.value),
                            QString::number(efficiency.first), moreYears(efficiency.count)),
                    efficiency.first);
            }
            if (zero.count) {
                add(QStringLiteral("zero-efficiency"), &user,
                    QStringLiteral("%1 has an entered efficiency ratio of 0 in %2%3: its depletion "
                                   "is 0 there (nothing of the diversion is consumed), unless its "
                                   "diversion is 0 as well.")
                        .arg(user.label(), QString::number(zero.first), moreYears(zero.count)),
                    zero.first);
            }
            const char* const names[3] = { "diversion", "depletion", "salinity pick-up" };
            for (int k = 0; k < 3; ++k) {
                if (!negative[k].count)
                    continue;
                add(QStringLiteral("negative-value"), &user,
                    QStringLiteral("%1 has an entered %2 of %3 in %4%5.")
                        .arg(user.label(), QLatin1String(names[k]), number(negative[k].value),
                            QString::number(negative[k].first), moreYears(negative[k].count)),
                    negative[k].first);
            }
        }
    }

    // Text in a number column reads as a missing value: said once per water user.
    void textValues()
    {
        const char* const names[4]
            = { "diversion", "depletion", "efficiency ratio", "salinity pick-up" };
        for (const ProjectCheckData::WaterUser& user : _data.waterUsers) {
            const auto texts = _data.texts.constFind(user.id);
            if (texts == _data.texts.cend())
                continue;
            const ProjectCheckData::TextValue& first = texts->first();
            const int more = texts->size() - 1;
            add(QStringLiteral("not-a-number"), &user,
                QStringLiteral("%1 has the text \"%2\" as its %3 of %4%5; text is no number, so "
                               "the calculation takes the value as missing.")
                    .arg(user.label(), first.text, QLatin1String(names[first.kind]),
                        QString::number(first.year),
                        more == 0       ? QString()
                            : more == 1 ? QStringLiteral(" (and text in one more cell)")
                                        : QStringLiteral(" (and text in %1 more cells)").arg(more)),
                first.year);
        }
    }

    static QString moreYears(int count)
    {
        if (count <= 1)
            return QString();
        return count == 2 ? QStringLiteral(" and one more year")
                          : QStringLiteral(" and %1 more years").arg(count - 1);
    }

    void riffleNames()
    {
        const QString rule = QStringLiteral("riffle-names");
        // Sites: the Riffle name heads every column of the site in the workbook.
        QMap<QString, QStringList> sitesByName;
        for (const ProjectCheckData::Site& site : _data.sites) {
            if (site.riffleName.trimmed().isEmpty()) {
                ValidationFinding& finding = add(rule, nullptr,
                    QStringLiteral("Site %1 has no Riffle name.").arg(quotedName(site.name)));
                finding.site = site.riffleName;
            } else {
                sitesByName[site.riffleName].append(site.name);
                separatorProblem(site.riffleName, QStringLiteral("site"), nullptr, site.riffleName);
            }
        }
        for (auto it = sitesByName.cbegin(); it != sitesByName.cend(); ++it) {
            if (it.value().size() < 2)
                continue;
            ValidationFinding& finding = add(rule, nullptr,
                QStringLiteral("%1 sites share the Riffle name %2 (%3); their workbook columns "
                               "would collide.")
                    .arg(QString::number(it.value().size()), quotedName(it.key()),
                        it.value().join(QStringLiteral(", "))));
            finding.site = it.key();
        }

        for (const ProjectCheckData::WaterUser& user : _data.waterUsers) {
            if (user.riffleName.trimmed().isEmpty())
                add(rule, &user,
                    QStringLiteral("Water user %1 has no Riffle name.").arg(quotedName(user.name)));
            else
                separatorProblem(user.riffleName, QStringLiteral("water user"), &user, QString());
        }
        // Water users of one site: the baseline's among themselves, and each scenario's own
        // water users against the baseline's and each other.
        QMap<QPair<int, QString>, QList<const ProjectCheckData::WaterUser*>> baselineNames;
        for (const ProjectCheckData::WaterUser& user : _data.waterUsers) {
            if (user.scenarioID == 0 && !user.riffleName.trimmed().isEmpty())
                baselineNames[{ user.aggDivID, user.riffleName }].append(&user);
        }
        for (const auto& users : qAsConst(baselineNames)) {
            if (users.size() > 1)
                duplicateWaterUsers(users, 0);
        }
        for (const ProjectCheckData::Scenario& scenario : _data.scenarios) {
            QMap<QPair<int, QString>, QList<const ProjectCheckData::WaterUser*>> names;
            for (const ProjectCheckData::WaterUser& user : _data.waterUsers) {
                if (user.scenarioID == scenario.id && !user.riffleName.trimmed().isEmpty())
                    names[{ user.aggDivID, user.riffleName }].append(&user);
            }
            for (auto it = names.begin(); it != names.end(); ++it) {
                QList<const ProjectCheckData::WaterUser*> users
                    = baselineNames.value(it.key()) + it.value();
                if (users.size() > 1)
                    duplicateWaterUsers(users, scenario.id);
            }
        }
    }

    void duplicateWaterUsers(const QList<const ProjectCheckData::WaterUser*>& users, int scenarioID)
    {
        QStringList names;
        for (const ProjectCheckData::WaterUser* user : users)
            names.append(quotedName(user->name));
        const ProjectCheckData::WaterUser& first = *users.first();
        ValidationFinding& finding = add(QStringLiteral("riffle-names"), &first,
            QStringLiteral("%1 water users of site %2 share the Riffle name %3 (%4).")
                .arg(QString::number(users.size()),
                    quotedName(_data.siteRiffleName(first.aggDivID)), quotedName(first.riffleName),
                    names.join(QStringLiteral(", "))));
        finding.scenarioID = scenarioID;
        finding.scenarioName = _data.scenarioName(scenarioID);
    }

    void separatorProblem(const QString& name, const QString& kind,
        const ProjectCheckData::WaterUser* user, const QString& site)
    {
        if (!name.contains(QLatin1Char(':')) && !name.contains(QLatin1Char('.')))
            return;
        ValidationFinding& finding = add(QStringLiteral("riffle-names"), user,
            QStringLiteral("The %1 Riffle name %2 holds \":\" or \".\", which the workbook's "
                           "column names use as separators.")
                .arg(kind, quotedName(name)));
        if (!user)
            finding.site = site;
    }

    void sheetNames()
    {
        const QString rule = QStringLiteral("sheet-names");
        QMap<QString, QStringList> byFolded;
        for (const ProjectCheckData::Scenario& scenario : _data.scenarios) {
            const QString problem = Workbook::XlCell::sheetNameProblem(scenario.name);
            if (!problem.isEmpty()) {
                ValidationFinding& finding = add(rule, nullptr,
                    QStringLiteral("The scenario name %1 cannot be a workbook sheet name: %2.")
                        .arg(quotedName(scenario.name), problem));
                finding.scenarioID = scenario.id;
                finding.scenarioName = scenario.name;
            }
            byFolded[scenario.name.toCaseFolded()].append(scenario.name);
        }
        const QString baselineSheet = QStringLiteral("Baseline Monthly Data");
        for (const ProjectCheckData::Scenario& scenario : _data.scenarios) {
            const QString folded = scenario.name.toCaseFolded();
            QString clash;
            if (folded == baselineSheet.toCaseFolded())
                clash = QStringLiteral("the baseline's sheet %1").arg(quotedName(baselineSheet));
            else if (byFolded.value(folded).size() > 1)
                clash = QStringLiteral("another scenario's name");
            if (clash.isEmpty())
                continue;
            ValidationFinding& finding = add(rule, nullptr,
                QStringLiteral("The scenario name %1 equals %2 ignoring case; both cannot be "
                               "sheets of one workbook.")
                    .arg(quotedName(scenario.name), clash));
            finding.scenarioID = scenario.id;
            finding.scenarioName = scenario.name;
        }
    }

    void changes()
    {
        for (const ProjectCheckData::Scenario& scenario : _data.scenarios) {
            QList<const ProjectCheckData::DemandChange*> changes;
            for (const ProjectCheckData::DemandChange& change : _data.changes) {
                if (change.scenarioID == scenario.id)
                    changes.append(&change);
            }
            // The change that applies to a water user is the newest that selects it.
            std::sort(changes.begin(), changes.end(),
                [](const ProjectCheckData::DemandChange* a,
                    const ProjectCheckData::DemandChange* b) {
                    if (a->createdDate != b->createdDate)
                        return a->createdDate > b->createdDate;
                    return a->id > b->id;
                });
            QMap<int, QList<const ProjectCheckData::DemandChange*>> byWaterUser;
            for (const ProjectCheckData::DemandChange* change : qAsConst(changes)) {
                for (const int waterUserID : change->waterUsers)
                    byWaterUser[waterUserID].append(change);
            }
            QSet<int> applying;
            for (auto it = byWaterUser.cbegin(); it != byWaterUser.cend(); ++it) {
                applying.insert(it.value().first()->id);
                if (it.value().size() < 2)
                    continue;
                const ProjectCheckData::WaterUser* user = _data.waterUser(it.key());
                QStringList shadowed;
                for (int i = 1; i < it.value().size(); ++i)
                    shadowed.append(changeLabel(*it.value().at(i)));
                ValidationFinding& finding = add(QStringLiteral("shadowed-changes"), user,
                    QStringLiteral("%1 is selected by %2 demand changes: %3 applies (the newest); "
                                   "%4 %5 shadowed.")
                        .arg(user ? user->label() : QStringLiteral("Water user %1").arg(it.key()),
                            QString::number(it.value().size()), changeLabel(*it.value().first()),
                            shadowed.join(QStringLiteral(", ")),
                            shadowed.size() == 1 ? QStringLiteral("is") : QStringLiteral("are")));
                finding.scenarioID = scenario.id;
                finding.scenarioName = scenario.name;
            }
            for (const ProjectCheckData::DemandChange* change : qAsConst(changes)) {
                ValidationFinding* finding = nullptr;
                if (change->waterUsers.isEmpty()) {
                    finding = &add(QStringLiteral("empty-selection"), nullptr,
                        QStringLiteral("Demand change %1 selects no water user.")
                            .arg(changeLabel(*change)));
                } else if (!applying.contains(change->id)) {
                    finding = &add(QStringLiteral("shadowed-changes"), nullptr,
                        QStringLiteral("Demand change %1 applies to none of its %2 water users: "
                                       "newer changes select them all.")
                            .arg(changeLabel(*change), QString::number(change->waterUsers.size())));
                }
                if (finding) {
                    finding->scenarioID = scenario.id;
                    finding->scenarioName = scenario.name;
                }
                outsideYears(*change, scenario);
                ineffectiveMethod(*change, scenario);
            }
        }
    }

    void outsideYears(
        const ProjectCheckData::DemandChange& change, const ProjectCheckData::Scenario& scenario)
    {
        QList<int> outside;
        for (const int year : change.changedYears) {
            if (!_data.inRange(year))
                outside.append(year);
        }
        if (outside.isEmpty())
            return;
        ValidationFinding& finding = add(QStringLiteral("change-years-outside-range"), nullptr,
            QStringLiteral("Demand change %1 has changes for %2, outside the baseline years %3; "
                           "the calculation never uses them.")
                .arg(changeLabel(change), ProjectCheckData::yearRanges(outside),
                    QStringLiteral("%1\u2013%2")
                        .arg(QString::number(_data.firstYear), QString::number(_data.lastYear))));
        finding.scenarioID = scenario.id;
        finding.scenarioName = scenario.name;
        finding.year = outside.first();
    }

    // Efficiency gaps are interpolated only when the depletion is: with the depletion on the
    // baseline, an efficiency method that interpolates leaves the years without a change
    // empty, and their efficiency ratio follows from the depletion and the diversion.
    void ineffectiveMethod(
        const ProjectCheckData::DemandChange& change, const ProjectCheckData::Scenario& scenario)
    {
        using namespace ScenarioChanges;
        if (change.depletionMethod != BaselinePlusChanges
            || change.efficiencyMethod != InterpolateChanges)
            return;
        ValidationFinding& finding = add(QStringLiteral("ineffective-method"), nullptr,
            QStringLiteral("Demand change %1 has the efficiency method \"%2\" with the depletion "
                           "method \"%3\": its efficiency changes are not interpolated (only a "
                           "depletion method that interpolates fills the years between), so in "
                           "the years without an efficiency change the efficiency ratio is derived "
                           "from the changed depletion and the baseline diversion.")
                .arg(changeLabel(change), calcMethodName(InterpolateChanges),
                    calcMethodName(BaselinePlusChanges)));
        finding.scenarioID = scenario.id;
        finding.scenarioName = scenario.name;
    }

    static QString changeLabel(const ProjectCheckData::DemandChange& change)
    {
        return change.name.isEmpty()
            ? QStringLiteral("%1 (unnamed)").arg(change.id)
            : QStringLiteral("%1 (%2)").arg(quotedName(change.name), QString::number(change.id));
    }

    const ProjectCheckData& _data;
    QList<ValidationFinding>& _findings;
};

} // namespace

ProjectValidator::ProjectValidator(QObject* parent)
    : QThread(parent)
{
}

ProjectValidator::~ProjectValidator()
{
    wait();
}

QStringList ProjectValidator::rules()
{
    QStringList ids;
    for (const RuleInfo& rule : Rules)
        ids.append(QLatin1String(rule.id));
    return ids;
}

ValidationFinding::Severity ProjectValidator::severityOf(const QString& rule)
{
    const int index = ruleIndex(rule);
    return index < int(std::size(Rules)) ? Rules[index].severity : ValidationFinding::Fail;
}

int ProjectValidator::count(ValidationFinding::Severity severity) const
{
    return int(std::count_if(_findings.cbegin(), _findings.cend(),
        [severity](const ValidationFinding& finding) { return finding.severity == severity; }));
}

TARN::okstat ProjectValidator::check()
{
    _findings.clear();
    CalcStatusInfo info;
    info.target = QStringLiteral("Project check");
    info.status = QStringLiteral("Reading the project");
    emit calcStatus(info);

    QSqlDatabase& db = TarnDbMgr::instance()->database();
    ProjectCheckData data;
    TARN::okstat status = data.read(db);
    if (status.failed())
        return status;

    if (!_options.resultsOnly)
        InputRules(data, _findings).run();

    ResultsCheck results(data, _options.resultsOnly, _options.runs, _findings);
    if (_options.threads > 0)
        results.setThreadCount(_options.threads);
    QObject::connect(&results, &ResultsCheck::calcStatus, this, &ProjectValidator::calcStatus,
        Qt::DirectConnection);
    status = results.run();
    if (status.failed())
        return status;

    // Report order: by rule, then by run, site, water user and year.
    std::stable_sort(_findings.begin(), _findings.end(),
        [](const ValidationFinding& a, const ValidationFinding& b) {
            const int ra = ruleIndex(a.rule);
            const int rb = ruleIndex(b.rule);
            if (ra != rb)
                return ra < rb;
            if (a.scenarioID != b.scenarioID)
                return a.scenarioID < b.scenarioID;
            if (a.site != b.site)
                return a.site < b.site;
            if (a.waterUser != b.waterUser)
                return a.waterUser < b.waterUser;
            return a.year < b.year;
        });
    foldRepeats();
    emit calcStatus(CalcStatusInfo());
    return {};
}

void ProjectValidator::run()
{
    TARN::okstat result;
    try {
        result = check();
    } catch (const std::exception& e) {
        result = QStringLiteral("Unable to check the project: %1").arg(QString::fromUtf8(e.what()));
    }
    emit calcFinished(result);
}
