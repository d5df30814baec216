#include "cli/CliCommands.h"

#include "calc/ValueExplainer.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"

#include <QSqlQuery>

#include <cstdio>
#include <memory>

namespace Cli {

namespace {

struct Found {
    int id = 0;
    QVariant scenarioID; // water users: null for a baseline water user
};

// The rows whose ID, or else whose first name column, or else whose second one equals text.
QList<Found> lookUp(const QString& table, const QString& key, const QStringList& names,
    const QString& extra, const QString& text)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    const QString select = QStringLiteral("SELECT %1%2 FROM %3 WHERE %4 = ? ORDER BY %1")
                               .arg(key, extra.isEmpty() ? QString() : QStringLiteral(", ") + extra,
                                   table, QStringLiteral("%1"));
    auto rows = [&](const QString& column, const QVariant& value) {
        QList<Found> found;
        query.prepare(select.arg(column));
        query.addBindValue(value);
        if (query.exec()) {
            while (query.next())
                found.append(
                    { query.value(0).toInt(), extra.isEmpty() ? QVariant() : query.value(1) });
        }
        query.finish();
        return found;
    };
    int id = 0;
    if (parseInt(text, id)) {
        const QList<Found> byID = rows(key, id);
        if (!byID.isEmpty())
            return byID;
    }
    for (const QString& column : names) {
        const QList<Found> byName = rows(column, text);
        if (!byName.isEmpty())
            return byName;
    }
    return {};
}

QString idList(const QList<Found>& found)
{
    QStringList ids;
    for (const Found& item : found)
        ids.append(QString::number(item.id));
    return ids.join(QStringLiteral(", "));
}

int runExplain(const CliCommand& self, const QStringList& args)
{
    QString file;
    QString waterUser;
    QString site;
    QString scenario;
    QString valueName;
    int year = 0;
    int month = 0;
    bool haveYear = false;
    bool json = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const bool hasValue = i + 1 < args.size();
        auto needs = [&](const char* what) {
            return usageError(self, QStringLiteral("%1 needs %2.").arg(arg, QLatin1String(what)));
        };
        if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg == QLatin1String("--water-user")) {
            if (!hasValue)
                return needs("a water user's ID, Riffle name or name");
            waterUser = args.at(++i);
        } else if (arg == QLatin1String("--site")) {
            if (!hasValue)
                return needs("a site's ID, Riffle name or name");
            site = args.at(++i);
        } else if (arg == QLatin1String("--scenario")) {
            if (!hasValue)
                return needs("a scenario's ID or name");
            scenario = args.at(++i);
        } else if (arg == QLatin1String("--value")) {
            if (!hasValue)
                return needs("diversion, depletion, efficiency or salinity");
            valueName = args.at(++i);
        } else if (arg == QLatin1String("--year")) {
            if (!hasValue || !parseInt(args.at(++i), year))
                return needs("a year");
            haveYear = true;
        } else if (arg == QLatin1String("--month")) {
            if (!hasValue || !parseInt(args.at(++i), month) || month < 1 || month > 12)
                return needs("a month from 1 to 12");
        } else if (arg.startsWith(QLatin1String("--")) || !file.isEmpty()) {
            return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(arg));
        } else {
            file = arg;
        }
    }
    if (file.isEmpty() || !haveYear || waterUser.isEmpty() == site.isEmpty())
        return usageError(
            self, QStringLiteral("FILE, --year and one of --water-user and --site are required."));

    ValueExplainer::Request request;
    request.year = year;
    request.month = month;
    if (!site.isEmpty()) {
        request.owner = CalcTrace::Site;
        if (!valueName.isEmpty() && ValueExplainer::kindOf(valueName) != 3)
            return usageError(self, QStringLiteral("A site has only its salinity to explain."));
    } else if (!valueName.isEmpty()) {
        request.kind = ValueExplainer::kindOf(valueName);
        if (request.kind < 0)
            return usageError(self,
                QStringLiteral("--value takes diversion, depletion, efficiency or salinity, not "
                               "\"%1\".")
                    .arg(valueName));
    }
    if (month && request.owner == CalcTrace::WaterUser && request.kind != 0 && request.kind != 1)
        return usageError(self,
            QStringLiteral("--month explains a monthly diversion or depletion; the %1 is yearly.")
                .arg(valueName));

    const std::unique_ptr<TarnDbMgr> closer(TarnDbMgr::instance());
    if (!openProjectOrSay(file))
        return 2;

    if (!scenario.isEmpty()) {
        const QList<Found> found = lookUp(TN::ScenarioTable, TN::ScenarioID,
            { TN::ScenarioName, TN::ScenarioShortName }, QString(), scenario);
        if (found.isEmpty()) {
            err(QStringLiteral("There is no scenario \"%1\": no scenario has that ID or name.")
                    .arg(scenario));
            return 2;
        }
        if (found.size() > 1) {
            err(QStringLiteral("Several scenarios are called \"%1\" (IDs %2): give the ID.")
                    .arg(scenario, idList(found)));
            return 2;
        }
        request.scenarioID = found.first().id;
    }

    if (request.owner == CalcTrace::Site) {
        const QList<Found> found = lookUp(
            TN::AggDivTable, TN::AggDivID, { TN::RiffleName, TN::SiteName }, QString(), site);
        if (found.isEmpty()) {
            err(QStringLiteral("There is no site \"%1\": no site has that ID, Riffle name or name.")
                    .arg(site));
            return 2;
        }
        if (found.size() > 1) {
            err(QStringLiteral("Several sites are called \"%1\" (IDs %2): give the ID.")
                    .arg(site, idList(found)));
            return 2;
        }
        request.id = found.first().id;
    } else {
        QList<Found> found = lookUp(TN::WaterUserTable, TN::WaterUserID,
            { TN::RiffleName, TN::WaterUserName }, TN::ScenarioID, waterUser);
        if (found.isEmpty()) {
            err(QStringLiteral("There is no water user \"%1\": no water user has that ID, Riffle "
                               "name or name.")
                    .arg(waterUser));
            return 2;
        }
        // Of water users sharing a name, the one this run holds.
        if (found.size() > 1) {
            QList<Found> inRun;
            for (const Found& item : qAsConst(found)) {
                if (item.scenarioID.isNull() || item.scenarioID.toInt() == request.scenarioID)
                    inRun.append(item);
            }
            if (inRun.size() != 1) {
                err(QStringLiteral("Several water users are called \"%1\" (IDs %2): give the ID.")
                        .arg(waterUser, idList(inRun.isEmpty() ? found : inRun)));
                return 2;
            }
            found = inRun;
        }
        request.id = found.first().id;
    }

    const ValueExplainer::Explanation explanation = ValueExplainer::explain(request);
    if (explanation.status.failed()) {
        err(explanation.status.text());
        return explanation.notFound ? 2 : 1;
    }
    const QByteArray text = json ? explanation.json() : explanation.text().toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
    return explanation.matches ? 0 : 1;
}

} // namespace

QList<CliCommand> explainCommands()
{
    QList<CliCommand> list;
    list.append({ QStringLiteral("explain"),
        QStringLiteral("Show, step by step, how one computed value came to be what it is."),
        QStringLiteral(
            "tarnhelm-cli explain FILE --water-user W --year Y [--month M] [--scenario S] "
            "[--value KIND] [--json]\n"
            "       tarnhelm-cli explain FILE --site A --year Y [--month M] [--scenario S] "
            "[--json]\n\n"
            "Prints one line per step, in the order the calculation took them: input, gap-fill, "
            "change,\nderived, monthly, salinity, stored.\n\n"
            "  --water-user W  a water user's ID, Riffle name or name\n"
            "  --site A        a site's ID, Riffle name or name: explains its salinity\n"
            "  --year Y        a year of the project's time range\n"
            "  --month M       1 to 12: the monthly value instead of the yearly one\n"
            "  --scenario S    a scenario's ID or name; without it, the baseline\n"
            "  --value KIND    diversion, depletion (the default), efficiency (the efficiency "
            "ratio)\n"
            "                  or salinity (the salinity pick-up); monthly values exist for "
            "diversion\n"
            "                  and depletion only\n"
            "  --json          the steps with their numbers as JSON\n\n"
            "Exit status: 0 when the stored value equals the computed one, 1 when it differs or "
            "none\nis stored, 2 for a usage error or a water user, site, scenario or year that "
            "does not exist."),
        {} });
    list[0].run = [self = list[0]](const QStringList& a) { return runExplain(self, a); };
    return list;
}

} // namespace Cli
