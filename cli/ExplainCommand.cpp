#include "cli/CliCommands.h"

#include "calc/ValueExplainer.h"
#include "db/AggDivDAO.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"

#include <cstdio>
#include <memory>

namespace Cli {

namespace {

QString idList(const QList<int>& ids)
{
    QStringList texts;
    for (const int id : ids)
        texts.append(QString::number(id));
    return texts.join(QStringLiteral(", "));
}

int runExplain(const CliCommand& self, const CliArgs& args)
{
    const QStringList files = args.positional();
    if (files.size() > 1)
        return usageError(self, QStringLiteral("Unexpected argument \"%1\".").arg(files.at(1)));
    const QString file = files.value(0);
    const QString waterUser = args.value(QStringLiteral("water-user"));
    const QString site = args.value(QStringLiteral("site"));
    const QString scenario = args.value(QStringLiteral("scenario"));
    const QString valueName = args.value(QStringLiteral("value"));
    const bool json = args.isSet(QStringLiteral("json"));
    const bool haveYear = args.isSet(QStringLiteral("year"));
    int year = 0;
    int month = 0;
    if (haveYear && !parseInt(args.value(QStringLiteral("year")), year))
        return usageError(self, QStringLiteral("--year needs a year."));
    if (args.isSet(QStringLiteral("month"))
        && (!parseInt(args.value(QStringLiteral("month")), month) || month < 1 || month > 12))
        return usageError(self, QStringLiteral("--month needs a month from 1 to 12."));
    if (file.isEmpty() || !haveYear || waterUser.isEmpty() == site.isEmpty())
        return usageError(
            self, QStringLiteral("FILE, --year and one of --water-user and --site are required."));

    ValueExplainer::Request request;
    request.year = year;
    request.month = month;
    if (!site.isEmpty()) {
        request.owner = CalcTrace::Site;
        if (!valueName.isEmpty() && ValueKinds::fromName(valueName) != ValueKind::SalinityPickup)
            return usageError(self, QStringLiteral("A site has only its salinity to explain."));
    } else if (!valueName.isEmpty()) {
        const std::optional<ValueKind> kind = ValueKinds::fromName(valueName);
        if (!kind)
            return usageError(self,
                QStringLiteral("--value takes diversion, depletion, efficiency or salinity, not "
                               "\"%1\".")
                    .arg(valueName));
        request.kind = *kind;
    }
    if (month && request.owner == CalcTrace::WaterUser && !ValueKinds::isMonthly(request.kind))
        return usageError(self,
            QStringLiteral("--month explains a monthly diversion or depletion; the %1 is yearly.")
                .arg(valueName));

    const std::unique_ptr<TarnDbMgr> closer(TarnDbMgr::instance());
    if (!openProjectOrSay(file))
        return CannotOpen;
    TarnDbMgr* manager = TarnDbMgr::instance();

    if (!scenario.isEmpty()) {
        const QList<int> found = manager->scenarioDAO()->findScenarios(scenario);
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
        request.scenarioID = found.first();
    }

    if (request.owner == CalcTrace::Site) {
        const QList<int> found = manager->aggDivDAO()->findSites(site);
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
        request.id = found.first();
    } else {
        // Each with its scenario: null for a baseline water user.
        using Found = QPair<int, QVariant>;
        QList<Found> found = manager->waterUserDAO()->findByKeyOrName(waterUser);
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
                if (item.second.isNull() || item.second.toInt() == request.scenarioID)
                    inRun.append(item);
            }
            if (inRun.size() != 1) {
                const QList<Found>& named = inRun.isEmpty() ? found : inRun;
                QList<int> ids;
                for (const Found& item : named)
                    ids.append(item.first);
                err(QStringLiteral("Several water users are called \"%1\" (IDs %2): give the ID.")
                        .arg(waterUser, idList(ids)));
                return 2;
            }
            found = inRun;
        }
        request.id = found.first().first;
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
    const auto option
        = [](const char* name, const char* value, const QString& description, const char* what) {
              return CliOption { QLatin1String(name), QLatin1String(value), description,
                  QStringLiteral("--%1 needs %2.").arg(QLatin1String(name), QLatin1String(what)) };
          };
    QList<CliCommand> list;
    list.append({ QStringLiteral("explain"),
        QStringLiteral("Show, step by step, how one computed value came to be what it is."),
        QStringLiteral(
            "tarnhelm-cli explain FILE --water-user W --year Y [--month M] [--scenario S] "
            "[--value KIND] [--json]\n"
            "       tarnhelm-cli explain FILE --site A --year Y [--month M] [--scenario S] "
            "[--json]"),
        { option("water-user", "W", QStringLiteral("a water user's ID, Riffle name or name"),
              "a water user's ID, Riffle name or name"),
            option("site", "A",
                QStringLiteral("a site's ID, Riffle name or name: explains its salinity"),
                "a site's ID, Riffle name or name"),
            option("year", "Y", QStringLiteral("a year of the project's time range"), "a year"),
            option("month", "M",
                QStringLiteral("1 to 12: the monthly value instead of the yearly one"),
                "a month from 1 to 12"),
            option("scenario", "S",
                QStringLiteral("a scenario's ID or name; without it, the baseline"),
                "a scenario's ID or name"),
            option("value", "KIND",
                QStringLiteral("diversion, depletion (the default), efficiency (the efficiency "
                               "ratio)\nor salinity (the salinity pick-up); monthly values exist "
                               "for diversion\nand depletion only"),
                "diversion, depletion, efficiency or salinity"),
            { QStringLiteral("json"), {},
                QStringLiteral("the steps with their numbers as JSON") } },
        QStringLiteral("Prints one line per step, in the order the calculation took them: input, "
                       "gap-fill, change,\nderived, monthly, salinity, stored."),
        QStringLiteral("Exit status: 0 when the stored value equals the computed one, 1 when it "
                       "differs or none\nis stored, 2 for a usage error or a water user, site, "
                       "scenario or year that does not exist."),
        &runExplain });
    return list;
}

} // namespace Cli
