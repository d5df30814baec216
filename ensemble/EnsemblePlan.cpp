#include "ensemble/EnsemblePlan.h"

#include "ensemble/Sampling.h"
#include "workbook/Sha256.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace {

const QString Format = QStringLiteral("tarnhelm-ensemble-plan");
constexpr int Version = 1;
const QString GeneratorName = QStringLiteral("xoshiro256** seeded by SplitMix64");

QString kindName(bool depletion)
{
    return depletion ? QStringLiteral("depletion") : QStringLiteral("efficiency");
}

} // namespace

QString Variation::label() const
{
    if (kind == YearValue)
        return QStringLiteral("%1 %2 %3").arg(change, kindName(depletion), QString::number(year));
    if (depletion && efficiency)
        return QStringLiteral("%1 factor").arg(change);
    return QStringLiteral("%1 %2 factor").arg(change, kindName(depletion));
}

void Variation::apply(double value, ScenarioChanges::DemandChange& target) const
{
    if (target.id != changeID)
        return;
    if (kind == YearValue) {
        ScenarioChanges::ChangeMap& map = depletion ? target.depletion : target.efficiency;
        const auto it = map.find(year);
        if (it != map.end())
            it->value = value;
        return;
    }
    for (ScenarioChanges::ChangeMap* map : { &target.depletion, &target.efficiency }) {
        if ((map == &target.depletion && !depletion) || (map == &target.efficiency && !efficiency))
            continue;
        for (auto it = map->begin(); it != map->end(); ++it) {
            if (it->type != ScenarioChanges::BaselineYear && it->type != ScenarioChanges::NoChange)
                it->value *= value;
        }
    }
}

QJsonObject EnsemblePlan::toJson() const
{
    QJsonArray varyList;
    for (const Variation& v : vary) {
        QJsonObject item;
        item.insert(QStringLiteral("change"), v.change);
        item.insert(QStringLiteral("changeId"), v.changeID);
        item.insert(QStringLiteral("label"), v.label());
        if (v.kind == Variation::YearValue) {
            item.insert(QStringLiteral("kind"), kindName(v.depletion));
            item.insert(QStringLiteral("year"), v.year);
            item.insert(QStringLiteral("min"), v.min);
            item.insert(QStringLiteral("max"), v.max);
        } else {
            QJsonObject factor;
            factor.insert(QStringLiteral("min"), v.min);
            factor.insert(QStringLiteral("max"), v.max);
            item.insert(QStringLiteral("factor"), factor);
            if (v.depletion != v.efficiency)
                item.insert(QStringLiteral("kind"), kindName(v.depletion));
        }
        varyList.append(item);
    }
    QJsonArray members;
    for (size_t k = 0; k < values.size(); ++k) {
        QJsonArray memberValues;
        for (const double value : values[k])
            memberValues.append(value);
        members.append(QJsonObject {
            { QStringLiteral("member"), int(k) }, { QStringLiteral("values"), memberValues } });
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), Format);
    root.insert(QStringLiteral("version"), Version);
    root.insert(QStringLiteral("project"),
        QJsonObject { { QStringLiteral("file"), projectFile },
            { QStringLiteral("inputSha256"), QString::fromLatin1(inputHash) } });
    root.insert(QStringLiteral("scenario"),
        QJsonObject {
            { QStringLiteral("id"), scenarioID }, { QStringLiteral("name"), scenarioName } });
    // The seed as text: a JSON number holds 53 bits, a seed 64.
    root.insert(QStringLiteral("sampling"),
        QJsonObject { { QStringLiteral("generator"), GeneratorName },
            { QStringLiteral("seed"), QString::number(seed) },
            { QStringLiteral("method"), method } });
    root.insert(QStringLiteral("vary"), varyList);
    root.insert(QStringLiteral("members"), members);
    return root;
}

QByteArray EnsemblePlan::toText() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Indented);
}

QByteArray EnsemblePlan::hash() const
{
    return Workbook::Sha256::hexDigest(QJsonDocument(toJson()).toJson(QJsonDocument::Compact));
}

namespace {

// Reads one variation of a spec or plan; problem says what is wrong with it.
bool readVariation(const QJsonObject& item, Variation& v, QString& problem)
{
    v.change = item.value(QStringLiteral("change")).toString();
    if (v.change.isEmpty()) {
        problem = QStringLiteral("\"change\" must name a demand change");
        return false;
    }
    const QJsonValue kind = item.value(QStringLiteral("kind"));
    if (!kind.isUndefined() && kind != QLatin1String("depletion")
        && kind != QLatin1String("efficiency")) {
        problem = QStringLiteral("\"kind\" must be \"depletion\" or \"efficiency\"");
        return false;
    }
    QJsonObject bounds = item;
    if (item.contains(QStringLiteral("factor"))) {
        v.kind = Variation::Factor;
        bounds = item.value(QStringLiteral("factor")).toObject();
        v.depletion = kind.isUndefined() || kind == QLatin1String("depletion");
        v.efficiency = kind.isUndefined() || kind == QLatin1String("efficiency");
    } else {
        v.kind = Variation::YearValue;
        if (kind.isUndefined()) {
            problem = QStringLiteral("\"kind\" (\"depletion\" or \"efficiency\") is required with "
                                     "\"year\"; or give a \"factor\"");
            return false;
        }
        v.depletion = kind == QLatin1String("depletion");
        const QJsonValue year = item.value(QStringLiteral("year"));
        if (!year.isDouble() || year.toDouble() != std::floor(year.toDouble())) {
            problem = QStringLiteral("\"year\" must be a whole number");
            return false;
        }
        v.year = year.toInt();
    }
    const QJsonValue min = bounds.value(QStringLiteral("min"));
    const QJsonValue max = bounds.value(QStringLiteral("max"));
    if (!min.isDouble() || !max.isDouble()) {
        problem = QStringLiteral("\"min\" and \"max\" must be numbers");
        return false;
    }
    v.min = min.toDouble();
    v.max = max.toDouble();
    if (!(v.min <= v.max) || !std::isfinite(v.min) || !std::isfinite(v.max)) {
        problem
            = QStringLiteral("\"min\" (%1) must not be above \"max\" (%2)").arg(v.min).arg(v.max);
        return false;
    }
    v.changeID = item.value(QStringLiteral("changeId")).toInt();
    return true;
}

TARN::okstat parseObject(const QByteArray& text, const QString& where, QJsonObject& root)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        const int line = text.left(error.offset).count('\n') + 1;
        return QStringLiteral("%1 is not valid JSON: %2 at line %3.")
            .arg(where, error.errorString(), QString::number(line));
    }
    if (!document.isObject())
        return QStringLiteral("%1 must hold one JSON object.").arg(where);
    root = document.object();
    return {};
}

} // namespace

TARN::okstat EnsemblePlan::readSpec(
    const QByteArray& text, const QString& file, QList<Variation>& vary)
{
    QJsonObject root;
    if (const TARN::okstat parsed = parseObject(text, file, root); parsed.failed())
        return parsed;
    const QJsonArray list = root.value(QStringLiteral("vary")).toArray();
    if (list.isEmpty())
        return QStringLiteral("%1 varies nothing: give a \"vary\" list of demand change values.")
            .arg(file);
    vary.clear();
    for (int i = 0; i < list.size(); ++i) {
        Variation v;
        QString problem;
        if (!list.at(i).isObject() || !readVariation(list.at(i).toObject(), v, problem)) {
            return QStringLiteral("%1, \"vary\" entry %2: %3.")
                .arg(file, QString::number(i + 1),
                    problem.isEmpty() ? QStringLiteral("must be an object") : problem);
        }
        vary.append(v);
    }
    return {};
}

TARN::okstat EnsemblePlan::resolve(
    QList<Variation>& vary, const QList<EnsembleData::Change>& changes, const QString& scenarioName)
{
    for (Variation& v : vary) {
        const EnsembleData::Change* found = nullptr;
        for (const EnsembleData::Change& change : changes) {
            if (change.name.compare(v.change, Qt::CaseInsensitive) != 0)
                continue;
            if (found)
                return QStringLiteral("Scenario \"%1\" has two demand changes named \"%2\"; "
                                      "rename one so that the plan names one change.")
                    .arg(scenarioName, v.change);
            found = &change;
        }
        if (!found) {
            QStringList names;
            for (const EnsembleData::Change& change : changes)
                names.append(QStringLiteral("\"%1\"").arg(change.name));
            return QStringLiteral("Scenario \"%1\" has no demand change named \"%2\" (it has %3).")
                .arg(scenarioName, v.change,
                    names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", ")));
        }
        v.change = found->name;
        v.changeID = found->id;
        if (v.kind == Variation::YearValue) {
            const QList<int>& years = v.depletion ? found->depletionYears : found->efficiencyYears;
            if (!years.contains(v.year)) {
                return QStringLiteral("The demand change \"%1\" has no %2 change for %3; vary one "
                                      "of the years it changes (%4), or a factor on all of them.")
                    .arg(v.change, kindName(v.depletion), QString::number(v.year),
                        years.isEmpty() ? QStringLiteral("none")
                                        : QStringLiteral("%1 to %2")
                                              .arg(QString::number(years.first()),
                                                  QString::number(years.last())));
            }
        }
    }
    return {};
}

TARN::okstat EnsemblePlan::draw(int members)
{
    const Sampling::Method how = method == QLatin1String("uniform")
        ? Sampling::Method::Uniform
        : Sampling::Method::LatinHypercube;
    const auto u = Sampling::sample(how, members, int(vary.size()), seed);
    values.assign(size_t(members), std::vector<double>(size_t(vary.size())));
    for (int k = 0; k < members; ++k) {
        for (int d = 0; d < vary.size(); ++d) {
            values[size_t(k)][size_t(d)]
                = Sampling::scale(u[size_t(k)][size_t(d)], vary.at(d).min, vary.at(d).max);
        }
    }
    return {};
}

TARN::okstat EnsemblePlan::checkProject(QSqlDatabase& db, const QString& file) const
{
    QByteArray hash;
    const TARN::okstat hashed = ProjectIdentity::inputHash(db, hash);
    if (hashed.failed())
        return hashed;
    if (hash == inputHash)
        return {};
    return QStringLiteral("The inputs of %1 are not those the plan was made from (%2): the "
                          "project was edited since, or it is another project. Make a new plan "
                          "with tarnhelm-cli ensemble plan.")
        .arg(QFileInfo(file).fileName(), projectFile);
}

void EnsemblePlan::applyMember(int member, ScenarioChanges::DemandChange& change) const
{
    const std::vector<double>& memberValues = values.at(size_t(member));
    for (int d = 0; d < vary.size(); ++d)
        vary.at(d).apply(memberValues.at(size_t(d)), change);
}

TARN::okstat EnsemblePlan::fromText(
    const QByteArray& text, const QString& where, EnsemblePlan& plan)
{
    QJsonObject root;
    if (const TARN::okstat parsed = parseObject(text, where, root); parsed.failed())
        return parsed;
    if (root.value(QStringLiteral("format")).toString() != Format)
        return QStringLiteral("%1 is not an ensemble plan (make one with tarnhelm-cli ensemble "
                              "plan).")
            .arg(where);
    if (root.value(QStringLiteral("version")).toInt() != Version)
        return QStringLiteral("%1 is a plan of version %2; this program reads version %3.")
            .arg(where, QString::number(root.value(QStringLiteral("version")).toInt()),
                QString::number(Version));
    const QJsonObject project = root.value(QStringLiteral("project")).toObject();
    plan.projectFile = project.value(QStringLiteral("file")).toString();
    plan.inputHash = project.value(QStringLiteral("inputSha256")).toString().toLatin1();
    const QJsonObject scenario = root.value(QStringLiteral("scenario")).toObject();
    plan.scenarioID = scenario.value(QStringLiteral("id")).toInt();
    plan.scenarioName = scenario.value(QStringLiteral("name")).toString();
    const QJsonObject sampling = root.value(QStringLiteral("sampling")).toObject();
    plan.method = sampling.value(QStringLiteral("method")).toString();
    bool seedOk = false;
    plan.seed = sampling.value(QStringLiteral("seed")).toString().toULongLong(&seedOk);
    if (!seedOk || plan.scenarioID <= 0 || plan.inputHash.isEmpty())
        return QStringLiteral("%1 is incomplete: its project, scenario or seed is missing.")
            .arg(where);
    plan.vary.clear();
    const QJsonArray vary = root.value(QStringLiteral("vary")).toArray();
    for (int i = 0; i < vary.size(); ++i) {
        Variation v;
        QString problem;
        if (!readVariation(vary.at(i).toObject(), v, problem))
            return QStringLiteral("%1, \"vary\" entry %2: %3.")
                .arg(where, QString::number(i + 1), problem);
        plan.vary.append(v);
    }
    const QJsonArray members = root.value(QStringLiteral("members")).toArray();
    plan.values.assign(size_t(members.size()), {});
    for (int k = 0; k < members.size(); ++k) {
        const QJsonObject member = members.at(k).toObject();
        const QJsonArray list = member.value(QStringLiteral("values")).toArray();
        if (member.value(QStringLiteral("member")).toInt(-1) != k || list.size() != vary.size())
            return QStringLiteral("%1: member %2 is not the plan's member %2 with %3 values.")
                .arg(where, QString::number(k), QString::number(vary.size()));
        for (const QJsonValue& value : list) {
            if (!value.isDouble())
                return QStringLiteral("%1: member %2 holds a value that is not a number.")
                    .arg(where, QString::number(k));
            plan.values[size_t(k)].push_back(value.toDouble());
        }
    }
    return {};
}

namespace ProjectIdentity {

TARN::okstat inputHash(QSqlDatabase& db, QByteArray& hash)
{
    Workbook::Sha256 sha;
    QByteArray buffer;
    // Each value tagged with its kind and lengths given, so that no two row sets run together.
    const auto addInt = [&buffer](qint64 v) {
        char bytes[8];
        qToLittleEndian(v, bytes);
        buffer.append(bytes, 8);
    };
    QString lastTable;
    const TARN::okstat status
        = EnsembleData::visitInputRows(db, [&](const QString& table, const QVector<QVariant>& row) {
              if (table != lastTable) {
                  const QByteArray name = table.toUtf8();
                  buffer.append('T');
                  addInt(name.size());
                  buffer.append(name);
                  lastTable = table;
              }
              buffer.append('R');
              for (const QVariant& value : row) {
                  if (value.isNull()) {
                      buffer.append('N');
                  } else if (value.type() == QVariant::Double) {
                      const double d = value.toDouble();
                      qint64 bits = 0;
                      std::memcpy(&bits, &d, sizeof bits);
                      buffer.append('D');
                      addInt(bits);
                  } else if (value.type() == QVariant::LongLong || value.type() == QVariant::Int) {
                      buffer.append('I');
                      addInt(value.toLongLong());
                  } else if (value.type() == QVariant::ByteArray) {
                      const QByteArray bytes = value.toByteArray();
                      buffer.append('B');
                      addInt(bytes.size());
                      buffer.append(bytes);
                  } else {
                      const QByteArray text = value.toString().toUtf8();
                      buffer.append('S');
                      addInt(text.size());
                      buffer.append(text);
                  }
              }
              if (buffer.size() > (1 << 16)) {
                  sha.addData(buffer.constData(), size_t(buffer.size()));
                  buffer.clear();
              }
          });
    if (status.failed())
        return status;
    sha.addData(buffer.constData(), size_t(buffer.size()));
    hash = sha.result().toHex();
    if (hash.isEmpty())
        return QStringLiteral("The project's inputs could not be hashed (libcrypto failed).");
    return {};
}

} // namespace ProjectIdentity
