#include "inputs/InputsDiff.h"

#include "calc/DemandMath.h"

#include <cmath>

namespace Inputs {

namespace {

// Yes/No, as the book writes it, or the usual spellings of a truth value; -1 when neither.
int truth(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("yes") || t == QLatin1String("true") || t == QLatin1String("1"))
        return 1;
    if (t.isEmpty() || t == QLatin1String("no") || t == QLatin1String("false")
        || t == QLatin1String("0"))
        return 0;
    return -1;
}

} // namespace

int InputsDiff::scenarioId(const QString& name) const
{
    for (const ScenarioRow& scenario : _project.scenarios)
        if (scenario.name == name)
            return scenario.ScenarioID;
    return 0;
}

int InputsDiff::changeIndex(const QString& scenario, const QString& change) const
{
    const int id = scenarioId(scenario);
    int found = -1;
    for (int i = 0; id != 0 && i < _project.changes.size(); ++i)
        if (_project.changes.at(i).ScenarioID == id && _project.changes.at(i).name == change)
            found = found == -1 ? i : -2;
    return found;
}

void InputsDiff::touch(const QString& scenario)
{
    if (!_plan.touchedScenarios.contains(scenario))
        _plan.touchedScenarios.append(scenario);
}

void InputsDiff::scenarios()
{
    scenarioRows();
    changeRows();
    scenarioWaterUsers();
    changeContents();
}

void InputsDiff::scenarioRows()
{
    const Sheet* book = sheet(SheetName::Scenarios);
    if (!book)
        return;
    const QStringList columns { Column::Scenario, Column::ShortName, Column::Description,
        Column::UserName, Column::CreatedDate, Column::ModifiedDate };
    QList<int> at;
    for (const QString& column : columns)
        at.append(book->columnOf(column));
    if (at.first() < 0) {
        reject(book->name, -1, {}, QStringLiteral("The sheet needs the column Scenario."));
        return;
    }
    QHash<QString, int> seen;
    for (int r = 0; r < book->rows.size(); ++r) {
        const QString name = book->cell(r, at.at(0)).trimmed();
        if (name.isEmpty() || !uniqueKey(seen, name, *book, r))
            continue;
        const int id = scenarioId(name);
        ScenarioRow row;
        for (const ScenarioRow& scenario : _project.scenarios)
            if (scenario.ScenarioID == id)
                row = scenario;
        row.name = name;
        QString* fields[] = { nullptr, &row.shortName, &row.description, &row.userName,
            &row.createdDate, &row.modifiedDate };
        QList<FieldChange> changes;
        for (int c = 1; c < columns.size(); ++c) {
            if (at.at(c) < 0)
                continue;
            const QString text = book->cell(r, at.at(c));
            if (*fields[c] != text && !(id == 0 && text.isEmpty()))
                changes.append({ columns.at(c), *fields[c], text });
            *fields[c] = text;
        }
        if (id == 0) {
            if (row.shortName.isEmpty())
                row.shortName = name;
            _newScenarios.insert(name);
            _plan.scenarios.append({ row, true });
            _plan.items.append({ book->name, PreviewItem::Added, name, {}, {} });
            touch(name);
        } else if (!changes.isEmpty()) {
            _plan.scenarios.append({ row, false });
            _plan.items.append({ book->name, PreviewItem::Changed, name, changes, {} });
        }
    }
    for (const ScenarioRow& scenario : _project.scenarios)
        if (!seen.contains(scenario.name))
            _plan.items.append({ book->name, PreviewItem::NotInBook, scenario.name, {}, {} });
}

void InputsDiff::changeRows()
{
    const Sheet* book = sheet(SheetName::Changes);
    if (!book)
        return;
    const int scenarioColumn = book->columnOf(Column::Scenario);
    const int nameColumn = book->columnOf(Column::Change);
    if (scenarioColumn < 0 || nameColumn < 0) {
        reject(
            book->name, -1, {}, QStringLiteral("The sheet needs the columns Scenario and Change."));
        return;
    }
    const int descriptionColumn = book->columnOf(Column::Description);
    const int createdColumn = book->columnOf(Column::CreatedDate);
    const int depletionColumn = book->columnOf(Column::DepletionMethod);
    const int efficiencyColumn = book->columnOf(Column::EfficiencyMethod);
    const int filtersColumn = book->columnOf(Column::UsesFilters);
    QHash<QString, int> seen;
    for (int r = 0; r < book->rows.size(); ++r) {
        const QString scenario = book->cell(r, scenarioColumn).trimmed();
        const QString name = book->cell(r, nameColumn).trimmed();
        if (scenario.isEmpty() && name.isEmpty())
            continue;
        if (!uniqueKey(seen, key2(scenario, name), *book, r))
            continue;
        if (scenarioId(scenario) == 0 && !_newScenarios.contains(scenario)) {
            reject(book->name, r, Column::Scenario,
                QStringLiteral("Unknown scenario \"%1\".").arg(scenario));
            continue;
        }
        const int index = changeIndex(scenario, name);
        if (index == -2) {
            reject(book->name, r, Column::Change,
                QStringLiteral("The scenario has several demand changes named \"%1\": rename "
                               "them in the scenario dialog first.")
                    .arg(name));
            continue;
        }
        ChangePlan plan;
        plan.scenario = scenario;
        plan.isNew = index < 0;
        if (!plan.isNew)
            plan.row = _project.changes.at(index);
        const DemandChgRow old = plan.row;
        plan.row.name = name;
        bool ok = true;
        if (descriptionColumn >= 0)
            plan.row.description = book->cell(r, descriptionColumn);
        if (createdColumn >= 0)
            plan.row.createdDate = book->cell(r, createdColumn);
        const auto method = [&](int column, int& id) {
            if (column < 0 || book->cell(r, column).trimmed().isEmpty())
                return;
            id = lookupId(_project.calcMethods, book->cell(r, column));
            if (id == 0) {
                reject(book->name, r, book->header.value(column),
                    QStringLiteral("Unknown method \"%1\".").arg(book->cell(r, column)));
                ok = false;
            }
        };
        method(depletionColumn, plan.row.depletionMethod);
        method(efficiencyColumn, plan.row.efficiencyMethod);
        if (filtersColumn >= 0) {
            const int uses = truth(book->cell(r, filtersColumn));
            if (uses < 0) {
                reject(book->name, r, Column::UsesFilters,
                    QStringLiteral("\"%1\" is neither Yes nor No.")
                        .arg(book->cell(r, filtersColumn)));
                ok = false;
            }
            plan.row.usesFilters = uses == 1;
        }
        if (!ok)
            continue;
        _knownChanges.insert(key2(scenario, name));
        QList<FieldChange> changes;
        if (old.description != plan.row.description)
            changes.append({ Column::Description, old.description, plan.row.description });
        if (old.createdDate != plan.row.createdDate)
            changes.append({ Column::CreatedDate, old.createdDate, plan.row.createdDate });
        if (old.depletionMethod != plan.row.depletionMethod)
            changes.append(
                { Column::DepletionMethod, _project.calcMethods.value(old.depletionMethod),
                    _project.calcMethods.value(plan.row.depletionMethod) });
        if (old.efficiencyMethod != plan.row.efficiencyMethod)
            changes.append(
                { Column::EfficiencyMethod, _project.calcMethods.value(old.efficiencyMethod),
                    _project.calcMethods.value(plan.row.efficiencyMethod) });
        if (old.usesFilters != plan.row.usesFilters)
            changes.append({ Column::UsesFilters,
                old.usesFilters ? QStringLiteral("Yes") : QStringLiteral("No"),
                plan.row.usesFilters ? QStringLiteral("Yes") : QStringLiteral("No") });
        plan.rowChanged = plan.isNew || !changes.isEmpty();
        _changePlans.insert(key2(scenario, name), _plan.changes.size());
        _plan.changes.append(plan);
        if (plan.isNew || !changes.isEmpty()) {
            _plan.items.append({ book->name, plan.isNew ? PreviewItem::Added : PreviewItem::Changed,
                QStringLiteral("%1 / %2").arg(scenario, name), changes, {} });
            touch(scenario);
        }
    }
}

void InputsDiff::scenarioWaterUsers()
{
    // The project's own water users of each scenario, by scenario name and key.
    QHash<QString, const WaterUser*> stored;
    for (const ScenarioRow& scenario : _project.scenarios)
        for (const WaterUser& user : _project.scenarioWaterUsers)
            if (user.ScenarioID == scenario.ScenarioID) {
                const QString key
                    = key2(scenario.name, waterUserKey(user.aggDiv.RiffleName, user.RiffleName));
                stored.insert(key, &user);
                _scenarioWaterUsers.insert(key);
            }
    QHash<QString, int> plans; // scenario + water user key -> index in the plan's list
    const Sheet* book = sheet(SheetName::ScenarioWaterUsers);
    const QStringList months = monthColumns();
    if (book) {
        const QStringList fixed = QStringList { Column::Scenario, Column::Site, Column::RiffleName,
            Column::Name, Column::Notes, Column::Order }
            + months;
        for (int c = 0; c < fixed.size(); ++c)
            if (book->columnOf(fixed.at(c)) != c) {
                reject(book->name, -1, {},
                    QStringLiteral("The sheet needs the columns %1, in that order.")
                        .arg(fixed.join(QStringLiteral(", "))));
                book = nullptr;
                break;
            }
    }
    QHash<QString, int> seen;
    for (int r = 0; book && r < book->rows.size(); ++r) {
        const QString scenario = book->cell(r, 0).trimmed();
        const QString site = book->cell(r, 1).trimmed();
        const QString riffle = book->cell(r, 2).trimmed();
        if (scenario.isEmpty() && site.isEmpty() && riffle.isEmpty())
            continue;
        const QString key = key2(scenario, waterUserKey(site, riffle));
        if (!uniqueKey(seen, key, *book, r))
            continue;
        if (scenarioId(scenario) == 0 && !_newScenarios.contains(scenario)) {
            reject(book->name, r, Column::Scenario,
                QStringLiteral("Unknown scenario \"%1\".").arg(scenario));
            continue;
        }
        const int siteIndex = _project.siteIndex(site);
        if ((siteIndex < 0 && !_newSites.contains(site)) || riffle.isEmpty()) {
            reject(book->name, r, riffle.isEmpty() ? Column::RiffleName : Column::Site,
                riffle.isEmpty() ? QStringLiteral("The Riffle name is empty.")
                                 : QStringLiteral("Unknown site \"%1\".").arg(site));
            continue;
        }
        ScenarioWaterUserPlan plan;
        plan.scenario = scenario;
        plan.plan.siteRiffle = site;
        const WaterUser* old = stored.value(key);
        plan.plan.isNew = !old;
        if (old)
            plan.plan.waterUser = *old;
        else if (siteIndex >= 0)
            plan.plan.waterUser.aggDiv = _project.sites.at(siteIndex);
        WaterUser& user = plan.plan.waterUser;
        user.RiffleName = riffle;
        const QString name = book->cell(r, 3);
        if (!name.isEmpty() || !old)
            user.WaterUserName = name.isEmpty() ? riffle : name;
        user.Notes = book->cell(r, 4);
        bool ok = true;
        if (!book->cell(r, 5).trimmed().isEmpty())
            ok = integer(*book, r, 5, user.Ord);
        QList<FieldChange> changes;
        QVector<double> coefficients(12, 0.0);
        double sum = 0;
        bool any = false;
        for (int m = 0; m < 12; ++m) {
            if (book->cell(r, 6 + m).trimmed().isEmpty())
                continue;
            any = true;
            ok = number(*book, r, 6 + m, false, coefficients[m]) && ok;
            sum += coefficients.at(m);
        }
        if (ok && any && std::abs(sum - 100.0) > DemandMath::CoefficientSumTolerance) {
            reject(book->name, r, months.first(),
                QStringLiteral("The monthly coefficients sum to %1, not 100.")
                    .arg(Workbook::plainNumber(sum)));
            ok = false;
        }
        ok = attributeValues(*book, r, 18, TARN::AttrTypeWaterUser,
                 old ? _project.waterUserValues.value(old->WaterUserID) : QHash<int, QString>(),
                 plan.plan.values, changes)
            && ok;
        if (!ok)
            continue;
        const QVector<double> before
            = old ? _project.coefficients.value(old->WaterUserID) : QVector<double>();
        for (int m = 0; any && m < 12; ++m) {
            const double was = m < before.size() ? before.at(m) : TARN::nan();
            if (!old || !sameNumber(was, coefficients.at(m))) {
                plan.plan.coefficients = coefficients;
                if (old)
                    changes.append({ months.at(m), Workbook::plainNumber(was),
                        Workbook::plainNumber(coefficients.at(m)) });
            }
        }
        _scenarioWaterUsers.insert(key);
        if (old && old->WaterUserName != user.WaterUserName)
            changes.prepend({ Column::Name, old->WaterUserName, user.WaterUserName });
        if (old && old->Notes != user.Notes)
            changes.prepend({ Column::Notes, old->Notes, user.Notes });
        if (old && old->Ord != user.Ord)
            changes.prepend(
                { Column::Order, QString::number(old->Ord), QString::number(user.Ord) });
        plan.writeUser = !old || !changes.isEmpty();
        const QString shownKey = QStringLiteral("%1 / %2 / %3").arg(scenario, site, riffle);
        if (plan.writeUser) {
            _plan.items.append({ book->name, old ? PreviewItem::Changed : PreviewItem::Added,
                shownKey, changes, {} });
            touch(scenario);
        }
        plans.insert(key, _plan.scenarioWaterUsers.size());
        _plan.scenarioWaterUsers.append(plan);
    }

    const Sheet* yearly = sheet(SheetName::ScenarioYearlyData);
    if (yearly) {
        QHash<QString, QMap<int, WaterUserData>> given;
        const int columns[] = { yearly->columnOf(Column::Diversion),
            yearly->columnOf(Column::Depletion), yearly->columnOf(Column::EfficiencyRatio),
            yearly->columnOf(Column::SalinityPickup) };
        const int yearColumn = yearly->columnOf(Column::Year);
        QHash<QString, int> seenYears;
        for (int r = 0; r < yearly->rows.size(); ++r) {
            const QString scenario = yearly->cell(r, yearly->columnOf(Column::Scenario)).trimmed();
            const QString site = yearly->cell(r, yearly->columnOf(Column::Site)).trimmed();
            const QString riffle = yearly->cell(r, yearly->columnOf(Column::WaterUser)).trimmed();
            if (scenario.isEmpty() && site.isEmpty() && riffle.isEmpty())
                continue;
            const QString key = key2(scenario, waterUserKey(site, riffle));
            if (!_scenarioWaterUsers.contains(key)) {
                reject(yearly->name, r, Column::WaterUser,
                    QStringLiteral("The scenario \"%1\" has no water user \"%2\" at the site "
                                   "\"%3\".")
                        .arg(scenario, riffle, site));
                continue;
            }
            WaterUserData row;
            if (!yearInRange(*yearly, r, yearColumn, row.Year))
                continue;
            double* fields[] = { &row.DiversionReq, &row.DepletionReq, &row.EfficiencyRatio,
                &row.SalinityPickup };
            bool ok = true;
            for (int f = 0; f < 4; ++f)
                if (columns[f] >= 0)
                    ok = number(*yearly, r, columns[f], true, *fields[f]) && ok;
            if (ok && !std::isnan(row.EfficiencyRatio)
                && (row.EfficiencyRatio < 0 || row.EfficiencyRatio > 1)) {
                reject(yearly->name, r, Column::EfficiencyRatio,
                    QStringLiteral("The efficiency ratio %1 is outside 0 to 1.")
                        .arg(Workbook::plainNumber(row.EfficiencyRatio)));
                ok = false;
            }
            if (ok && uniqueKey(seenYears, key + KeySep + QString::number(row.Year), *yearly, r))
                given[key].insert(row.Year, row);
        }
        // A scenario water user the book lists gets exactly the book's years.
        QStringList keys = given.keys();
        for (auto it = plans.constBegin(); it != plans.constEnd(); ++it)
            if (!keys.contains(it.key()))
                keys.append(it.key());
        for (const QString& key : qAsConst(keys)) {
            const WaterUser* old = stored.value(key);
            const QMap<int, WaterUserData> before
                = old ? _project.yearly.value(old->WaterUserID) : QMap<int, WaterUserData>();
            const QMap<int, WaterUserData> after = given.value(key);
            QList<int> years;
            for (int year = _startYear; year <= _endYear; ++year) {
                const WaterUserData a = before.value(year);
                const WaterUserData b = after.value(year);
                if (!sameNumber(a.DiversionReq, b.DiversionReq)
                    || !sameNumber(a.DepletionReq, b.DepletionReq)
                    || !sameNumber(a.EfficiencyRatio, b.EfficiencyRatio)
                    || !sameNumber(a.SalinityPickup, b.SalinityPickup))
                    years.append(year);
            }
            if (years.isEmpty())
                continue;
            if (!plans.contains(key)) {
                ScenarioWaterUserPlan plan;
                plan.scenario = key.section(KeySep, 0, 0);
                plan.plan.siteRiffle = old->aggDiv.RiffleName;
                plan.plan.waterUser = *old;
                plans.insert(key, _plan.scenarioWaterUsers.size());
                _plan.scenarioWaterUsers.append(plan);
            }
            ScenarioWaterUserPlan& plan = _plan.scenarioWaterUsers[plans.value(key)];
            plan.replaceYearly = true;
            plan.rows = after.values();
            _plan.items.append({ yearly->name, old ? PreviewItem::Changed : PreviewItem::Added,
                QString(key).replace(KeySep, QLatin1String(" / ")), {}, years });
            touch(plan.scenario);
        }
    }
    for (int i = _plan.scenarioWaterUsers.size() - 1; i >= 0; --i)
        if (!_plan.scenarioWaterUsers.at(i).writeUser
            && !_plan.scenarioWaterUsers.at(i).replaceYearly)
            _plan.scenarioWaterUsers.removeAt(i);
}

} // namespace Inputs
