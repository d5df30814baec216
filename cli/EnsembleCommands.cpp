#include "cli/CliCommands.h"
#include "cli/ProgressLine.h"

#include "db/EnsembleData.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "ensemble/EnsemblePlan.h"
#include "ensemble/MemberRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace Cli {

namespace {

const QString PlanCopyName = QStringLiteral("plan.json");

bool readFile(const QString& path, const QString& what, QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        err(QStringLiteral("Unable to read the %1 %2: %3").arg(what, path, file.errorString()));
        return false;
    }
    data = file.readAll();
    return true;
}

bool readPlan(const QString& path, EnsemblePlan& plan)
{
    QByteArray text;
    if (!readFile(path, QStringLiteral("plan"), text))
        return false;
    const TARN::okstat read = EnsemblePlan::fromText(text, path, plan);
    if (read.failed())
        err(read.text());
    return read.isOk();
}

bool parseMember(const CliArgs& args, int& member)
{
    return args.isSet(QStringLiteral("member"))
        && parseInt(args.value(QStringLiteral("member")), member) && member >= 0;
}

// What is wrong with PROJECT PLAN --member K, as the commands on one member take them; empty
// when nothing is (member then holds K).
QString memberArgumentsProblem(const CliArgs& args, int& member)
{
    if (args.positional().size() != 2)
        return QStringLiteral("PROJECT and PLAN are required.");
    if (!parseMember(args, member))
        return QStringLiteral("--member needs a member number (0, 1, ...).");
    return {};
}

// Reads the plan at path, which must have the member asked for; false when it cannot be read or
// has no such member (already said).
bool readPlanWithMember(const QString& path, int member, EnsemblePlan& plan)
{
    if (!readPlan(path, plan))
        return false;
    if (member >= plan.memberCount()) {
        err(QStringLiteral("%1 has members 0 to %2; there is no member %3.")
                .arg(path, QString::number(plan.memberCount() - 1), QString::number(member)));
        return false;
    }
    return true;
}

int runPlan(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    if (files.size() != 1)
        return usageError(self, QStringLiteral("One PROJECT file is required."));
    int scenarioID = 0;
    int members = 0;
    if (!parseInt(args.value(QStringLiteral("scenario")), scenarioID))
        return usageError(self, QStringLiteral("--scenario needs the template scenario's ID."));
    if (!parseInt(args.value(QStringLiteral("members")), members) || members < 1)
        return usageError(self, QStringLiteral("--members needs a count of at least 1."));
    bool seedOk = false;
    const quint64 seed = args.value(QStringLiteral("seed")).toULongLong(&seedOk);
    if (!seedOk)
        return usageError(self,
            QStringLiteral("--seed needs a whole number from 0 to %1.")
                .arg(std::numeric_limits<quint64>::max()));
    const QString method = args.isSet(QStringLiteral("method"))
        ? args.value(QStringLiteral("method"))
        : QStringLiteral("lhs");
    if (method != QLatin1String("lhs") && method != QLatin1String("uniform"))
        return usageError(
            self, QStringLiteral("--method is lhs or uniform, not \"%1\".").arg(method));
    if (!args.isSet(QStringLiteral("vary")))
        return usageError(self, QStringLiteral("--vary SPEC.json is required."));

    EnsemblePlan plan;
    plan.method = method;
    plan.seed = seed;
    QByteArray spec;
    if (!readFile(args.value(QStringLiteral("vary")), QStringLiteral("variation spec"), spec))
        return 1;
    TARN::okstat status = EnsemblePlan::readSpec(
        spec, QFileInfo(args.value(QStringLiteral("vary"))).fileName(), plan.vary);
    if (status.failed()) {
        err(status.text());
        return 1;
    }

    const std::unique_ptr<TarnDbMgr> closer(TarnDbMgr::instance());
    const QString& file = files.first();
    if (!openProjectReadOnlyOrSay(file))
        return CannotOpen;
    QList<QPair<int, QString>> scenarios;
    status = closer->scenarioDAO()->getScenarioNames(scenarios);
    for (const auto& scenario : qAsConst(scenarios)) {
        if (scenario.first == scenarioID)
            plan.scenarioName = scenario.second;
    }
    if (status.isOk() && plan.scenarioName.isEmpty())
        status = QStringLiteral("%1 has no scenario with ID %2.").arg(file).arg(scenarioID);
    QList<EnsembleData::Change> changes;
    if (status.isOk())
        status = EnsembleData::scenarioChanges(closer->database(), scenarioID, changes);
    if (status.isOk())
        status = EnsemblePlan::resolve(plan.vary, changes, plan.scenarioName);
    if (status.isOk())
        status = ProjectIdentity::inputHash(closer->database(), plan.inputHash);
    if (status.failed()) {
        err(status.text());
        return 1;
    }
    plan.projectFile = QFileInfo(file).fileName();
    plan.scenarioID = scenarioID;
    plan.draw(members);
    const QByteArray text = plan.toText();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
    return 0;
}

// DIR/plan.json: the plan the members in DIR belong to, for summarize. Members of another plan
// are refused rather than mixed in.
TARN::okstat keepPlanCopy(const QString& dir, const EnsemblePlan& plan)
{
    const QString path = QDir(dir).filePath(PlanCopyName);
    if (QFileInfo::exists(path)) {
        QFile file(path);
        EnsemblePlan kept;
        if (file.open(QIODevice::ReadOnly)
            && EnsemblePlan::fromText(file.readAll(), path, kept).isOk()) {
            if (kept.hash() == plan.hash())
                return {};
            return QStringLiteral("%1 holds the members of another plan (%2); give each plan an "
                                  "output folder of its own.")
                .arg(dir, path);
        }
    }
    return writeFileAtomically(path, plan.toText());
}

int runMember(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    int member = 0;
    if (const QString problem = memberArgumentsProblem(args, member); !problem.isEmpty())
        return usageError(self, problem);
    if (!args.isSet(QStringLiteral("out")))
        return usageError(self, QStringLiteral("--out DIR is required."));
    const QString dir = args.value(QStringLiteral("out"));
    EnsemblePlan plan;
    if (!readPlanWithMember(files.at(1), member, plan))
        return 1;

    const std::unique_ptr<TarnDbMgr> closer(TarnDbMgr::instance());
    const QString& file = files.first();
    if (!openProjectReadOnlyOrSay(file))
        return CannotOpen;
    MemberRun run(plan);
    run.setMonthly(args.isSet(QStringLiteral("xlsx")));
    ProgressLine progress;
    run.setStatusHandler([&progress](const CalcStatusInfo& info) { progress.show(info); });
    TARN::okstat status = run.run(member);
    progress.clear();
    if (status.isOk() && !QDir().mkpath(dir))
        status = QStringLiteral("Unable to make the folder %1.").arg(dir);
    if (status.isOk())
        status = keepPlanCopy(dir, plan);
    const QString csv = QDir(dir).filePath(QStringLiteral("member-%1.csv").arg(member));
    if (status.isOk())
        status = writeFileAtomically(csv, run.csv());
    const QString xlsx = QDir(dir).filePath(QStringLiteral("member-%1.xlsx").arg(member));
    if (status.isOk() && args.isSet(QStringLiteral("xlsx")))
        status = run.writeWorkbook(xlsx, member);
    if (status.failed()) {
        err(QStringLiteral("Member %1: %2").arg(QString::number(member), status.text()));
        return 1;
    }
    out(QStringLiteral("Wrote %1").arg(csv));
    if (args.isSet(QStringLiteral("xlsx")))
        out(QStringLiteral("Wrote %1").arg(xlsx));
    return 0;
}

int runMaterialize(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    int member = 0;
    if (const QString problem = memberArgumentsProblem(args, member); !problem.isEmpty())
        return usageError(self, problem);
    const QString name = args.value(QStringLiteral("name")).trimmed();
    if (name.isEmpty())
        return usageError(self, QStringLiteral("--name needs the new scenario's name."));
    EnsemblePlan plan;
    if (!readPlanWithMember(files.at(1), member, plan))
        return 1;

    const std::unique_ptr<TarnDbMgr> manager(TarnDbMgr::instance());
    const QString& file = files.first();
    if (!openProjectOrSay(file))
        return CannotOpen;
    TARN::okstat status = plan.checkProject(manager->database(), file);
    QList<QPair<int, QString>> scenarios;
    if (status.isOk())
        status = manager->scenarioDAO()->getScenarioNames(scenarios);
    for (const auto& scenario : qAsConst(scenarios)) {
        // Scenario names name the workbook's sheets: two alike would write into one.
        if (status.isOk() && scenario.second.compare(name, Qt::CaseInsensitive) == 0)
            status = QStringLiteral("A scenario named \"%1\" exists already. Choose another name.")
                         .arg(name);
    }
    if (status.failed()) {
        err(status.text());
        return 1;
    }

    int copy = 0;
    status = manager->beginTransaction();
    if (status.isOk())
        status = manager->scenarioDAO()->copyScenario(plan.scenarioID, name, copy);
    QList<EnsembleData::Change> changes;
    if (status.isOk())
        status = EnsembleData::scenarioChanges(manager->database(), copy, changes);
    const std::vector<double>& values = plan.values.at(size_t(member));
    for (int d = 0; d < plan.vary.size() && status.isOk(); ++d) {
        const Variation& v = plan.vary.at(d);
        // The copy's changes keep their names (the plan refused names that are not unique).
        int id = 0;
        for (const EnsembleData::Change& change : qAsConst(changes)) {
            if (change.name == v.change)
                id = change.id;
        }
        if (id == 0) {
            status = QStringLiteral("The copy has no demand change named \"%1\".").arg(v.change);
        } else if (v.kind == Variation::YearValue) {
            status = EnsembleData::setChangeValue(
                manager->database(), id, v.depletion, v.year, values.at(size_t(d)));
        } else {
            if (v.depletion)
                status = EnsembleData::scaleChangeValues(
                    manager->database(), id, true, values.at(size_t(d)));
            if (status.isOk() && v.efficiency)
                status = EnsembleData::scaleChangeValues(
                    manager->database(), id, false, values.at(size_t(d)));
        }
    }
    if (status.isOk())
        status = manager->commit();
    if (status.failed()) {
        // Nothing of a copy that failed stays: the whole of it was one transaction.
        if (manager->inTransaction())
            manager->rollback();
        err(QStringLiteral("Member %1 could not be written as a scenario: %2")
                .arg(QString::number(member), status.text()));
        return 1;
    }
    out(QStringLiteral("Wrote member %1 of \"%2\" as scenario \"%3\" (ID %4). Compute it with: "
                       "tarnhelm-cli recalc %5 --scenario %4")
            .arg(QString::number(member), plan.scenarioName, name, QString::number(copy), file));
    return 0;
}

} // namespace

QList<CliCommand> ensembleCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("ensemble plan"),
        QStringLiteral("Write a plan of seeded variants (members) of a scenario to standard "
                       "output, as JSON."),
        QStringLiteral("tarnhelm-cli ensemble plan PROJECT --scenario ID --vary SPEC.json "
                       "--members N --seed S [--method lhs|uniform]"),
        { { QStringLiteral("scenario"), QStringLiteral("ID"),
              QStringLiteral("the template scenario"), QStringLiteral("--scenario needs an ID.") },
            { QStringLiteral("vary"), QStringLiteral("SPEC.json"),
                QStringLiteral("what varies, within which bounds: {\"vary\": [{\"change\": NAME, "
                               "\"kind\": \"depletion\",\n\"year\": 2030, \"min\": 10, \"max\": "
                               "60}, {\"change\": NAME, \"factor\": {\"min\": 0.5, \"max\": "
                               "1.5}}]}"),
                QStringLiteral("--vary needs a file.") },
            { QStringLiteral("members"), QStringLiteral("N"), QStringLiteral("how many members"),
                QStringLiteral("--members needs a count.") },
            { QStringLiteral("seed"), QStringLiteral("S"),
                QStringLiteral("the generator's seed: the same seed gives the same plan"),
                QStringLiteral("--seed needs a number.") },
            { QStringLiteral("method"), QStringLiteral("METHOD"),
                QStringLiteral("lhs (Latin hypercube, the default) or uniform"),
                QStringLiteral("--method needs lhs or uniform.") } },
        {}, {}, &runPlan });
    list.append({ QStringLiteral("ensemble run"),
        QStringLiteral("Compute one member of a plan in memory, reading the project only, and "
                       "write DIR/member-K.csv (and with --xlsx its monthly workbook)."),
        QStringLiteral("tarnhelm-cli ensemble run PROJECT PLAN --member K --out DIR [--xlsx]"),
        { { QStringLiteral("member"), QStringLiteral("K"), QStringLiteral("the member, from 0"),
              QStringLiteral("--member needs a member number.") },
            { QStringLiteral("out"), QStringLiteral("DIR"),
                QStringLiteral("the folder of the plan's outputs"),
                QStringLiteral("--out needs a folder.") },
            { QStringLiteral("xlsx"), {},
                QStringLiteral("also write the member's monthly sheet as DIR/member-K.xlsx") } },
        {}, {}, &runMember });
    list.append(ensembleSummaryCommand());
    list.append({ QStringLiteral("ensemble materialize"),
        QStringLiteral("Write one member of a plan into the project as a scenario of its own (a "
                       "copy of the template with the member's values)."),
        QStringLiteral("tarnhelm-cli ensemble materialize PROJECT PLAN --member K --name NAME"),
        { { QStringLiteral("member"), QStringLiteral("K"), QStringLiteral("the member, from 0"),
              QStringLiteral("--member needs a member number.") },
            { QStringLiteral("name"), QStringLiteral("NAME"),
                QStringLiteral("the new scenario's name"),
                QStringLiteral("--name needs a name.") } },
        {}, {}, &runMaterialize });
    return list;
}

} // namespace Cli
