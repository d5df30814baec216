#include "calc/EditStepEffect.h"

#include <QHash>
#include <QSet>

#include <algorithm>

using EditSteps::RowChange;

namespace {

// Column positions the file format fixes; the names of most of them are free.
constexpr int Owner = 1; // the parent's key in every child table
constexpr int SiteName = 3;
constexpr int WaterUserSite = 1;
constexpr int WaterUserScenario = 2;
constexpr int WaterUserName = 3;
constexpr int AssignedOwner = 2; // the site or water user of an attribute assignment
constexpr int AttrName = 2;
constexpr int DemandChgName = 2;
constexpr int ScenarioName = 2;
constexpr int ScenarioShortName = 3;
constexpr int ScenarioDescription = 4;
constexpr int PlotName = 1;
constexpr int PlotDescription = 2;
constexpr int PlotCurveName = 2;
constexpr int Ord = 6; // of sites and water users
constexpr int StartYear = 5;
constexpr int EndYear = 6;
constexpr int PasswordHash = 8;
// More subjects than this in one part of a name are counted, not listed.
constexpr int ListedSubjects = 4;

QString verbOf(RowChange::Op op)
{
    switch (op) {
    case RowChange::Insert:
        return QStringLiteral("added");
    case RowChange::Delete:
        return QStringLiteral("deleted");
    default:
        return QStringLiteral("edited");
    }
}

QString quoted(const QString& kind, const QVariant& name, qint64 key)
{
    const QString text = name.toString().trimmed();
    if (text.isEmpty())
        return QStringLiteral("%1 %2").arg(kind).arg(key);
    return QStringLiteral("%1 \"%2\"").arg(kind, text);
}

// An update of a site or water user that changed nothing but its place in the list (the
// baseline dialog numbers them anew on every save): it changes no result.
bool onlyOrder(const RowChange& row)
{
    if (row.op != RowChange::Update || !row.changed(Ord))
        return false;
    for (int column = 1; column < row.after.size(); ++column) {
        if (column != Ord && row.changed(column))
            return false;
    }
    return true;
}

// The rows a step changed, with the file behind them for what the changeset lacks.
class Rows {
public:
    Rows(const QList<RowChange>& rows, QSqlDatabase& db)
        : _db(db)
    {
        for (const RowChange& row : rows)
            _step.insert(keyOf(row.table, row.key), &row);
    }

    const RowChange* inStep(const QString& table, qint64 key) const
    {
        return _step.value(keyOf(table, key), nullptr);
    }

    QVariant value(const QString& table, qint64 key, int column)
    {
        if (const RowChange* row = inStep(table, key); row && row->value(column).isValid())
            return row->value(column);
        const QString id = keyOf(table, key);
        auto cached = _file.find(id);
        if (cached == _file.end()) {
            QVector<QVariant> values;
            EditSteps::readRow(_db, table, key, values);
            cached = _file.insert(id, values);
        }
        return column < cached->size() ? cached->at(column) : QVariant();
    }

private:
    static QString keyOf(const QString& table, qint64 key)
    {
        return table + QLatin1Char('/') + QString::number(key);
    }

    QSqlDatabase& _db;
    QHash<QString, const RowChange*> _step;
    QHash<QString, QVector<QVariant>> _file;
};

// The parts of a step's name: the baseline, each scenario, each plot, in the order met.
class Name {
public:
    // The subject of a part: "water user "Ditch 4"", with what happened to it.
    void subject(const QString& part, const QString& subject, const QString& verb)
    {
        Part& p = partNamed(part);
        const int at = p.subjects.indexOf(subject);
        if (at < 0) {
            p.subjects.append(subject);
            p.verbs.append(verb);
        } else if (verb != QLatin1String("edited")) {
            p.verbs[at] = verb;
        }
    }
    // What happened to the part's own row (a scenario or plot added or deleted, say).
    void own(const QString& part, const QString& verb)
    {
        Part& p = partNamed(part);
        if (p.own.isEmpty() || verb != QLatin1String("edited"))
            p.own = verb;
    }
    // An edit of the part's own row that the planner made ("renamed from "Dry""), listed
    // before the part's subjects.
    void ownEdit(const QString& part, const QString& what)
    {
        Part& p = partNamed(part);
        if (!p.ownEdits.contains(what))
            p.ownEdits.append(what);
    }

    QString text() const
    {
        // The baseline leads, then a scenario or plot added or deleted (what the planner did),
        // then parts only edited along with it (a plot that lost a deleted scenario).
        QList<const Part*> ordered;
        for (const bool along : { false, true }) {
            for (const Part& part : _parts) {
                const bool own = part.addedOrDeleted() || part.title == QLatin1String("Baseline");
                if (own != along)
                    ordered.append(&part);
            }
        }
        QStringList parts;
        for (const Part* each : qAsConst(ordered)) {
            const Part& part = *each;
            // An added or deleted scenario or plot takes everything in it along.
            if (part.addedOrDeleted() || (part.subjects.isEmpty() && part.ownEdits.isEmpty())) {
                parts.append(QStringLiteral("%1 %2").arg(
                    part.title, part.own.isEmpty() ? QStringLiteral("edited") : part.own));
                continue;
            }
            // What was added or deleted leads; edits follow, each group in the order met, and
            // the lists' renumbering comes last, so that the planner's own edits show.
            QList<int> order;
            for (const QString& verb : { QStringLiteral("added"), QStringLiteral("deleted") }) {
                for (int i = 0; i < part.verbs.size(); ++i) {
                    if (part.verbs.at(i) == verb)
                        order.append(i);
                }
            }
            for (const bool renumbering : { false, true }) {
                for (int i = 0; i < part.verbs.size(); ++i) {
                    if (!order.contains(i)
                        && part.subjects.at(i).startsWith(QLatin1String("order of "))
                            == renumbering)
                        order.append(i);
                }
            }
            QStringList all = part.ownEdits;
            for (const int i : qAsConst(order))
                all.append(QStringLiteral("%1 %2").arg(part.subjects.at(i), part.verbs.at(i)));
            const int shown = all.size() > ListedSubjects ? ListedSubjects - 1 : all.size();
            QStringList listed = all.mid(0, shown);
            if (shown < all.size())
                listed.append(QStringLiteral("%1 more").arg(all.size() - shown));
            parts.append(
                QStringLiteral("%1: %2").arg(part.title, listed.join(QLatin1String(", "))));
        }
        return parts.join(QLatin1String("; "));
    }

private:
    struct Part {
        QString title;
        QString own;
        QStringList ownEdits;
        QStringList subjects;
        QStringList verbs;
        bool addedOrDeleted() const
        {
            return own == QLatin1String("added") || own == QLatin1String("deleted");
        }
    };
    Part& partNamed(const QString& title)
    {
        for (Part& part : _parts) {
            if (part.title == title)
                return part;
        }
        _parts.append(Part { title, QString(), {}, {}, {} });
        return _parts.last();
    }
    QList<Part> _parts;
};

class Reading {
public:
    Reading(const QList<RowChange>& rows, QSqlDatabase& db)
        : _changes(rows)
        , _rows(rows, db)
    {
    }

    EditStepEffect read()
    {
        // Water users and sites before their rows, so that a child row of a water user the
        // step added or deleted leaves that entry as it is.
        // The baseline row first: a changed time range leads the name.
        for (const RowChange& row : _changes) {
            if (row.table == QLatin1String("Baseline"))
                baselineRow(row);
        }
        for (const RowChange& row : _changes) {
            if (row.table == QLatin1String("AggDiv"))
                site(row);
        }
        for (const RowChange& row : _changes) {
            if (row.table == QLatin1String("WaterUser"))
                waterUser(row);
        }
        for (const RowChange& row : _changes) {
            if (row.table != QLatin1String("Baseline"))
                other(row);
        }
        _effect.text = _name.text();
        for (const int scenario : qAsConst(_scenarios))
            _effect.scenarios.append(scenario);
        std::sort(_effect.scenarios.begin(), _effect.scenarios.end());
        return _effect;
    }

private:
    QString scenarioPart(qint64 scenario)
    {
        return quoted(QStringLiteral("Scenario"),
            _rows.value(QStringLiteral("Scenario"), scenario, ScenarioName), scenario);
    }

    void scenarioTouched(qint64 scenario)
    {
        // A deleted scenario's results went with it.
        const RowChange* own = _rows.inStep(QStringLiteral("Scenario"), scenario);
        if (!own || own->op != RowChange::Delete)
            _scenarios.insert(static_cast<int>(scenario));
    }

    void baselineSubject(const QString& subject, const QString& verb)
    {
        _effect.touchesBaseline = true;
        _name.subject(QStringLiteral("Baseline"), subject, verb);
    }

    void waterUser(const RowChange& row)
    {
        if (onlyOrder(row)) {
            baselineSubject(QStringLiteral("order of water users"), QStringLiteral("changed"));
            return;
        }
        const QString table = QStringLiteral("WaterUser");
        const QVariant scenario = _rows.value(table, row.key, WaterUserScenario);
        const QString name = _rows.value(table, row.key, WaterUserName).toString();
        const QString subject = quoted(QStringLiteral("water user"), name, row.key);
        if (!scenario.isNull() && scenario.isValid()) {
            // A water user of one scenario only.
            _name.subject(scenarioPart(scenario.toLongLong()), subject, verbOf(row.op));
            scenarioTouched(scenario.toLongLong());
            return;
        }
        const bool moved = row.op == RowChange::Update && row.changed(WaterUserSite);
        baselineSubject(subject, moved ? QStringLiteral("moved") : verbOf(row.op));
        const int id = static_cast<int>(row.key);
        const int site = _rows.value(table, row.key, WaterUserSite).toInt();
        switch (row.op) {
        case RowChange::Insert:
            _effect.baseline.waterUserAdded(site, id, name);
            break;
        case RowChange::Delete:
            _effect.baseline.waterUserDeleted(site, id, name);
            break;
        case RowChange::Update:
            if (row.changed(WaterUserSite)) {
                const int from = row.before.value(WaterUserSite).toInt();
                const int to = row.after.value(WaterUserSite).toInt();
                _effect.baseline.aggDivsTouched(from, to);
                _effect.baseline.waterUserEdited(to, id, name);
            } else {
                _effect.baseline.waterUserEdited(site, id, name);
            }
            break;
        }
    }

    void site(const RowChange& row)
    {
        if (onlyOrder(row)) {
            baselineSubject(QStringLiteral("order of sites"), QStringLiteral("changed"));
            return;
        }
        const QString name = _rows.value(QStringLiteral("AggDiv"), row.key, SiteName).toString();
        baselineSubject(quoted(QStringLiteral("site"), name, row.key), verbOf(row.op));
        // A deleted site's results went with it; its water users have entries of their own.
        if (row.op != RowChange::Delete)
            _effect.baseline.aggDivEdited(static_cast<int>(row.key), name);
    }

    // A row that belongs to a water user: its yearly data, coefficients or attribute values.
    void waterUserPart(qint64 waterUser)
    {
        const QString table = QStringLiteral("WaterUser");
        if (const RowChange* own = _rows.inStep(table, waterUser);
            own && own->op != RowChange::Update)
            return;
        const QVariant scenario = _rows.value(table, waterUser, WaterUserScenario);
        const QString name = _rows.value(table, waterUser, WaterUserName).toString();
        const QString subject = quoted(QStringLiteral("water user"), name, waterUser);
        if (!scenario.isNull() && scenario.isValid()) {
            _name.subject(scenarioPart(scenario.toLongLong()), subject, verbOf(RowChange::Update));
            scenarioTouched(scenario.toLongLong());
            return;
        }
        baselineSubject(subject, verbOf(RowChange::Update));
        const int site = _rows.value(table, waterUser, WaterUserSite).toInt();
        _effect.baseline.waterUserEdited(site, static_cast<int>(waterUser), name);
    }

    void demandChangePart(const RowChange& row, qint64 demandChange)
    {
        const QString table = QStringLiteral("DemandChg");
        const qint64 scenario = _rows.value(table, demandChange, Owner).toLongLong();
        const QString subject = quoted(QStringLiteral("demand change"),
            _rows.value(table, demandChange, DemandChgName), demandChange);
        const RowChange* own = _rows.inStep(table, demandChange);
        const RowChange::Op op = own ? own->op : RowChange::Update;
        _name.subject(scenarioPart(scenario), subject, verbOf(row.table == table ? row.op : op));
        scenarioTouched(scenario);
    }

    void plotPart(const RowChange& row, qint64 plot, const QString& subject)
    {
        const QString part = quoted(
            QStringLiteral("Plot"), _rows.value(QStringLiteral("Plot"), plot, PlotName), plot);
        if (subject.isEmpty()) {
            _name.own(part, verbOf(row.op));
            ownEdits(part, row, PlotName, -1, PlotDescription);
        } else
            _name.subject(part, subject, verbOf(RowChange::Update));
    }

    // The planner's edits of a scenario's or plot's own row: its name (with the one it had),
    // short name or description. Other columns (the dates of the last save) go unnamed.
    void ownEdits(
        const QString& part, const RowChange& row, int name, int shortName, int description)
    {
        if (row.op != RowChange::Update)
            return;
        if (row.changed(name)) {
            const QString before = row.before.value(name).toString().trimmed();
            _name.ownEdit(part,
                before.isEmpty() ? QStringLiteral("renamed")
                                 : QStringLiteral("renamed from \"%1\"").arg(before));
        }
        if (shortName >= 0 && row.changed(shortName))
            _name.ownEdit(part, QStringLiteral("short name changed"));
        if (row.changed(description))
            _name.ownEdit(part, QStringLiteral("description changed"));
    }

    void baselineRow(const RowChange& row)
    {
        if (row.changed(StartYear) || row.changed(EndYear)) {
            baselineSubject(QStringLiteral("time range"), QStringLiteral("changed"));
            _effect.baseline.setFullRecalculation();
        }
        if (row.changed(PasswordHash))
            baselineSubject(QStringLiteral("password"), QStringLiteral("changed"));
        // The description and dates change with every save; they name the step only alone.
        _effect.touchesBaseline = true;
        _name.own(QStringLiteral("Baseline"), verbOf(row.op));
    }

    void other(const RowChange& row)
    {
        const QString& table = row.table;
        // Sites and water users were read first; the baseline row too.
        if (table == QLatin1String("AggDiv") || table == QLatin1String("WaterUser"))
            return;
        // An update carries only what it changed: the rest comes from the file.
        const qint64 owner = _rows.value(table, row.key, Owner).toLongLong();
        const qint64 assigned = _rows.value(table, row.key, AssignedOwner).toLongLong();
        if (table == QLatin1String("WaterUserData") || table == QLatin1String("WaterUserDist")) {
            waterUserPart(owner);
        } else if (table == QLatin1String("WaterUserAttr")) {
            waterUserPart(assigned);
        } else if (table == QLatin1String("AggDivAttr")) {
            const qint64 site = assigned;
            const RowChange* own = _rows.inStep(QStringLiteral("AggDiv"), site);
            if (own && own->op != RowChange::Update)
                return;
            const QString name = _rows.value(QStringLiteral("AggDiv"), site, SiteName).toString();
            baselineSubject(quoted(QStringLiteral("site"), name, site), verbOf(RowChange::Update));
            _effect.baseline.aggDivEdited(static_cast<int>(site), name);
        } else if (table == QLatin1String("Attribute")) {
            baselineSubject(
                quoted(QStringLiteral("attribute"), _rows.value(table, row.key, AttrName), row.key),
                verbOf(row.op));
        } else if (table == QLatin1String("AttrValidVal")) {
            const RowChange* attribute = _rows.inStep(QStringLiteral("Attribute"), owner);
            if (!attribute || attribute->op == RowChange::Update)
                baselineSubject(
                    quoted(QStringLiteral("attribute"),
                        _rows.value(QStringLiteral("Attribute"), owner, AttrName), owner),
                    verbOf(RowChange::Update));
        } else if (table == QLatin1String("Scenario")) {
            const QString part = scenarioPart(row.key);
            _name.own(part, verbOf(row.op));
            ownEdits(part, row, ScenarioName, ScenarioShortName, ScenarioDescription);
            scenarioTouched(row.key);
        } else if (table == QLatin1String("DemandChg")) {
            demandChangePart(row, row.key);
        } else if (table == QLatin1String("DepletionChg") || table == QLatin1String("EfficiencyChg")
            || table == QLatin1String("DemandChgWaterUser")
            || table == QLatin1String("DemandSelection")) {
            demandChangePart(row, owner);
        } else if (table == QLatin1String("Plot")) {
            plotPart(row, row.key, QString());
        } else if (table == QLatin1String("PlotCurve")) {
            plotPart(row, owner,
                quoted(
                    QStringLiteral("curve"), _rows.value(table, row.key, PlotCurveName), row.key));
        } else if (table == QLatin1String("PlotScenario")) {
            plotPart(row, owner, QStringLiteral("scenarios"));
        } else if (table == QLatin1String("PlotCurveFilter")
            || table == QLatin1String("PlotCurveWaterUser")) {
            const QString curves = QStringLiteral("PlotCurve");
            plotPart(row, _rows.value(curves, owner, Owner).toLongLong(),
                quoted(QStringLiteral("curve"), _rows.value(curves, owner, PlotCurveName), owner));
        }
    }

    const QList<RowChange>& _changes;
    Rows _rows;
    Name _name;
    QSet<int> _scenarios;
    EditStepEffect _effect;
};

} // namespace

EditStepEffect EditStepEffect::of(const QList<RowChange>& rows, QSqlDatabase& db)
{
    return Reading(rows, db).read();
}
