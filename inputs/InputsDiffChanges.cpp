#include "inputs/InputsDiff.h"

#include "calc/DemandMath.h"

#include <algorithm>
#include <cmath>

namespace Inputs {

namespace {

// What one demand change holds, as sorted texts that compare whatever the order of the rows.
struct Contents {
    QStringList values;
    QStringList members;
    QStringList filters;
};

QString valueText(const ChangeValueRow& value, const QHash<int, QString>& types)
{
    // "Depletion 2010" and "New Amount 60": the first half names the year a value changes.
    return QStringLiteral("%1 %2")
               .arg(value.efficiency ? Column::EfficiencyRatio : Column::Depletion)
               .arg(value.year)
        + KeySep
        + QStringLiteral("%1 %2").arg(
            types.value(value.changeTypeId), Workbook::plainNumber(value.value));
}

QString typeName(int typeId)
{
    return typeId == TARN::AttrTypeAggDiv ? SiteType : WaterUserType;
}

} // namespace

void InputsDiff::changeContents()
{
    QHash<QString, Contents> book; // scenario + change -> the book's contents
    QHash<QString, QList<ChangeValueRow>> values;
    QHash<QString, QList<QPair<QString, QString>>> members;
    QHash<QString, QList<ValuePlan>> filters;
    const Sheet* valueSheet = sheet(SheetName::ChangeValues);
    const Sheet* memberSheet = sheet(SheetName::ChangeMembers);
    const Sheet* filterSheet = sheet(SheetName::ChangeFilters);

    // The change a content row belongs to: listed in the book, or the project's.
    const auto changeOf = [this](const Sheet& sheet, int r, QString& key) {
        const QString scenario = sheet.cell(r, sheet.columnOf(Column::Scenario)).trimmed();
        const QString change = sheet.cell(r, sheet.columnOf(Column::Change)).trimmed();
        key = key2(scenario, change);
        if (_knownChanges.contains(key) || changeIndex(scenario, change) >= 0)
            return true;
        reject(sheet.name, r, Column::Change,
            QStringLiteral("Unknown demand change \"%1\" of the scenario \"%2\".")
                .arg(change, scenario));
        return false;
    };

    if (valueSheet) {
        const int kindColumn = valueSheet->columnOf(Column::ValueOf);
        const int yearColumn = valueSheet->columnOf(Column::Year);
        const int typeColumn = valueSheet->columnOf(Column::ChangeType);
        const int valueColumn = valueSheet->columnOf(Column::Value);
        QHash<QString, int> seen;
        for (int r = 0; r < valueSheet->rows.size(); ++r) {
            QString key;
            if (valueSheet->rows.at(r).join(QString()).trimmed().isEmpty()
                || !changeOf(*valueSheet, r, key))
                continue;
            ChangeValueRow row;
            const QString kind = valueSheet->cell(r, kindColumn).trimmed();
            if (kind.compare(Column::Depletion, Qt::CaseInsensitive) == 0) {
                row.efficiency = false;
            } else if (kind.startsWith(QLatin1String("Efficiency"), Qt::CaseInsensitive)) {
                row.efficiency = true;
            } else {
                reject(valueSheet->name, r, Column::ValueOf,
                    QStringLiteral("\"%1\" is neither Depletion nor Efficiency Ratio.").arg(kind));
                continue;
            }
            if (!yearInRange(*valueSheet, r, yearColumn, row.year))
                continue;
            row.changeTypeId = lookupId(_project.changeTypes, valueSheet->cell(r, typeColumn));
            if (row.changeTypeId == 0) {
                reject(valueSheet->name, r, Column::ChangeType,
                    QStringLiteral("Unknown change type \"%1\".")
                        .arg(valueSheet->cell(r, typeColumn)));
                continue;
            }
            if (!number(*valueSheet, r, valueColumn, false, row.value))
                continue;
            if (!uniqueKey(
                    seen, key + KeySep + kind.left(3) + QString::number(row.year), *valueSheet, r))
                continue;
            values[key].append(row);
            book[key].values.append(valueText(row, _project.changeTypes));
        }
    }
    if (memberSheet) {
        const int siteColumn = memberSheet->columnOf(Column::Site);
        const int userColumn = memberSheet->columnOf(Column::WaterUser);
        for (int r = 0; r < memberSheet->rows.size(); ++r) {
            QString key;
            if (memberSheet->rows.at(r).join(QString()).trimmed().isEmpty()
                || !changeOf(*memberSheet, r, key))
                continue;
            const QString scenario = key.section(KeySep, 0, 0);
            const QString site = memberSheet->cell(r, siteColumn).trimmed();
            const QString user = memberSheet->cell(r, userColumn).trimmed();
            const QString userKey = waterUserKey(site, user);
            if (_project.waterUserIndex(site, user) < 0 && !_newWaterUsers.contains(userKey)
                && !_scenarioWaterUsers.contains(key2(scenario, userKey))) {
                reject(memberSheet->name, r, Column::WaterUser,
                    QStringLiteral("Unknown water user \"%1\" at the site \"%2\".")
                        .arg(user, site));
                continue;
            }
            members[key].append({ site, user });
            book[key].members.append(userKey);
        }
    }
    if (filterSheet) {
        const int attributeColumn = filterSheet->columnOf(Column::Attribute);
        const int typeColumn = filterSheet->columnOf(Column::Type);
        const int valueColumn = filterSheet->columnOf(Column::Value);
        for (int r = 0; r < filterSheet->rows.size(); ++r) {
            QString key;
            if (filterSheet->rows.at(r).join(QString()).trimmed().isEmpty()
                || !changeOf(*filterSheet, r, key))
                continue;
            const QString attribute = filterSheet->cell(r, attributeColumn).trimmed();
            const QString type = filterSheet->cell(r, typeColumn).trimmed();
            const QString value = filterSheet->cell(r, valueColumn).trimmed();
            const int typeId = type.compare(SiteType, Qt::CaseInsensitive) == 0
                ? TARN::AttrTypeAggDiv
                : type.compare(WaterUserType, Qt::CaseInsensitive) == 0 ? TARN::AttrTypeWaterUser
                                                                        : 0;
            if (typeId == 0 || !knownValue(attribute, typeId, value)) {
                reject(filterSheet->name, r, Column::Value,
                    QStringLiteral("Unknown attribute value \"%1\" of \"%2\" (%3).")
                        .arg(value, attribute, type));
                continue;
            }
            filters[key].append({ attribute, typeId, value });
            book[key].filters.append(typeName(typeId) + KeySep + attribute + KeySep + value);
        }
    }

    // Every change the book lists, or gives contents of, against the project's.
    QStringList keys = _knownChanges.values();
    for (auto it = book.constBegin(); it != book.constEnd(); ++it)
        if (!keys.contains(it.key()))
            keys.append(it.key());
    std::sort(keys.begin(), keys.end());
    for (const QString& key : qAsConst(keys)) {
        const QString scenario = key.section(KeySep, 0, 0);
        const QString change = key.section(KeySep, 1);
        const int index = changeIndex(scenario, change);
        Contents stored;
        if (index >= 0) {
            const int id = _project.changes.at(index).DemandChgID;
            for (const ChangeValueRow& value : _project.changeValues)
                if (value.DemandChgID == id)
                    stored.values.append(valueText(value, _project.changeTypes));
            for (const QPair<int, int>& member : _project.changeMembers)
                if (member.first == id)
                    if (const WaterUser* user = _project.waterUserById(member.second))
                        stored.members.append(
                            waterUserKey(user->aggDiv.RiffleName, user->RiffleName));
            for (const QVector<int>& filter : _project.changeFilters)
                if (filter.at(0) == id)
                    for (const AttributeInfo& attribute : _project.attributes)
                        if (attribute.id == filter.at(1))
                            stored.filters.append(typeName(attribute.typeId) + KeySep
                                + attribute.name + KeySep + _project.valueName(filter.at(2)));
        }
        Contents given = book.value(key);
        for (QStringList* list : { &stored.values, &stored.members, &stored.filters, &given.values,
                 &given.members, &given.filters })
            list->sort();
        if (!_changePlans.contains(key)) {
            ChangePlan plan;
            plan.scenario = scenario;
            plan.row = _project.changes.at(index);
            _changePlans.insert(key, _plan.changes.size());
            _plan.changes.append(plan);
        }
        ChangePlan& plan = _plan.changes[_changePlans.value(key)];
        QList<FieldChange> fields;
        // byYear: a year's value that changed is one change, old -> new, not a removed and an
        // added row.
        const auto compare = [&fields](const Sheet* sheet, const QStringList& before,
                                 const QStringList& after, const QString& what, bool byYear) {
            if (!sheet || before == after)
                return false;
            QStringList added;
            for (const QString& item : after)
                if (!before.contains(item))
                    added.append(item);
            for (const QString& gone : before) {
                if (after.contains(gone))
                    continue;
                const QString head = gone.section(KeySep, 0, 0);
                int match = -1;
                for (int i = 0; byYear && match < 0 && i < added.size(); ++i)
                    if (added.at(i).section(KeySep, 0, 0) == head)
                        match = i;
                if (match >= 0) {
                    fields.append({ QStringLiteral("%1: %2").arg(what, head),
                        gone.section(KeySep, 1), added.takeAt(match).section(KeySep, 1) });
                    continue;
                }
                fields.append({ what, QString(gone).replace(KeySep, QLatin1String(" / ")), {} });
            }
            for (const QString& item : qAsConst(added))
                fields.append({ what, {}, QString(item).replace(KeySep, QLatin1String(" / ")) });
            return true;
        };
        plan.replaceValues
            = compare(valueSheet, stored.values, given.values, SheetName::ChangeValues, true);
        plan.values = values.value(key);
        plan.replaceMembers
            = compare(memberSheet, stored.members, given.members, SheetName::ChangeMembers, false);
        plan.members = members.value(key);
        plan.replaceFilters
            = compare(filterSheet, stored.filters, given.filters, SheetName::ChangeFilters, false);
        plan.filters = filters.value(key);
        if (!fields.isEmpty()) {
            _plan.items.append({ SheetName::Changes, PreviewItem::Changed,
                QStringLiteral("%1 / %2").arg(scenario, change), fields, {} });
            touch(scenario);
        }
    }
    // Changes with nothing to write leave the plan.
    for (int i = _plan.changes.size() - 1; i >= 0; --i) {
        const ChangePlan& plan = _plan.changes.at(i);
        if (!plan.rowChanged && !plan.replaceValues && !plan.replaceMembers && !plan.replaceFilters)
            _plan.changes.removeAt(i);
    }
}

} // namespace Inputs
