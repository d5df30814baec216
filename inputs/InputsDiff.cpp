#include "inputs/InputsDiff.h"

#include "calc/DemandMath.h"

#include <cmath>

namespace Inputs {

namespace {

QString attrKey(int typeId, const QString& name)
{
    return QString::number(typeId) + KeySep + name;
}

QString shown(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

int outputTypeId(const QString& name)
{
    for (int id = 1; id <= 2; ++id)
        if (TARN::outputTypeName(id).compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return id;
    return 0;
}

// A salinity method by its label (or its number); 0 when there is none.
int salinityMethodId(const QString& text)
{
    const QString trimmed = text.trimmed();
    for (int id = 1; id <= 4; ++id)
        if (SalinityMethodInfo::fromId(id).label.compare(trimmed, Qt::CaseInsensitive) == 0
            || trimmed == QString::number(id))
            return id;
    return 0;
}

} // namespace

QString key2(const QString& a, const QString& b)
{
    return a + KeySep + b;
}

int lookupId(const QHash<int, QString>& names, const QString& text)
{
    const QString trimmed = text.trimmed();
    for (auto it = names.constBegin(); it != names.constEnd(); ++it)
        if (it.value().compare(trimmed, Qt::CaseInsensitive) == 0
            || trimmed == QString::number(it.key()))
            return it.key();
    return 0;
}

QString PreviewItem::kindWord(Kind kind)
{
    switch (kind) {
    case Added:
        return QStringLiteral("added");
    case Changed:
        return QStringLiteral("changed");
    case NotInBook:
        return QStringLiteral("not in the book");
    case Removed:
        return QStringLiteral("removed");
    }
    return {};
}

bool ImportPlan::hasWrites() const
{
    return baselineChanged || !newAttributes.isEmpty() || !newValues.isEmpty() || !sites.isEmpty()
        || !waterUsers.isEmpty() || !yearly.isEmpty() || !removedSites.isEmpty()
        || !removedWaterUsers.isEmpty() || !scenarios.isEmpty() || !changes.isEmpty()
        || !scenarioWaterUsers.isEmpty();
}

InputsDiff::InputsDiff(
    const Book& book, const ImportOptions& options, const ProjectInputs& project, ImportPlan& plan)
    : _book(book)
    , _options(options)
    , _project(project)
    , _plan(plan)
    , _startYear(project.baseline.StartYear)
    , _endYear(project.baseline.EndYear)
{
    _plan.baseline = project.baseline;
}

void InputsDiff::reject(const QString& sheet, int row, const QString& column, const QString& reason)
{
    _plan.rejected.append({ sheet, row + 2, column, reason });
}

bool InputsDiff::number(const Sheet& sheet, int row, int column, bool allowEmpty, double& value)
{
    const QString text = sheet.cell(row, column).trimmed();
    if (text.isEmpty() && allowEmpty) {
        value = TARN::nan();
        return true;
    }
    bool ok = false;
    value = text.toDouble(&ok);
    if (ok && std::isfinite(value))
        return true;
    reject(sheet.name, row, sheet.header.value(column),
        QStringLiteral("%1 is not a number.").arg(shown(text)));
    return false;
}

bool InputsDiff::integer(const Sheet& sheet, int row, int column, int& value)
{
    const QString text = sheet.cell(row, column).trimmed();
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (ok && std::isfinite(number) && number == std::floor(number) && std::abs(number) < 1e9) {
        value = static_cast<int>(number);
        return true;
    }
    reject(sheet.name, row, sheet.header.value(column),
        QStringLiteral("%1 is not a whole number.").arg(shown(text)));
    return false;
}

bool InputsDiff::yearInRange(const Sheet& sheet, int row, int column, int& year)
{
    if (!integer(sheet, row, column, year))
        return false;
    if (year >= _startYear && year <= _endYear)
        return true;
    reject(sheet.name, row, Column::Year,
        QStringLiteral("The year %1 is outside the time range %2 to %3.")
            .arg(year)
            .arg(_startYear)
            .arg(_endYear));
    return false;
}

bool InputsDiff::uniqueKey(
    QHash<QString, int>& seen, const QString& key, const Sheet& sheet, int row)
{
    const auto found = seen.constFind(key);
    if (found != seen.constEnd()) {
        reject(sheet.name, row, {},
            QStringLiteral("Duplicate key: row %1 has the same one.").arg(found.value() + 2));
        return false;
    }
    seen.insert(key, row);
    return true;
}

bool InputsDiff::knownAttribute(const QString& name, int typeId) const
{
    return _project.attribute(name, typeId) || _bookAttributes.contains(attrKey(typeId, name));
}

bool InputsDiff::knownValue(const QString& name, int typeId, const QString& value) const
{
    const AttributeInfo* attribute = _project.attribute(name, typeId);
    return (attribute && attribute->valueId(value) != 0)
        || _bookValues.contains(attrKey(typeId, name) + QChar(0x1f) + value);
}

void InputsDiff::baseline()
{
    const Sheet* book = sheet(SheetName::Baseline);
    if (!book)
        return;
    const int fieldColumn = book->columnOf(Column::Field);
    const int valueColumn = book->columnOf(Column::Value);
    if (fieldColumn < 0 || valueColumn < 0) {
        reject(book->name, -1, {}, QStringLiteral("The sheet needs the columns Field and Value."));
        return;
    }
    Baseline next = _project.baseline;
    QList<FieldChange> changes;
    for (int r = 0; r < book->rows.size(); ++r) {
        const QString field = book->cell(r, fieldColumn).trimmed();
        const QString text = book->cell(r, valueColumn);
        if (field.compare(Column::Description, Qt::CaseInsensitive) == 0) {
            next.Description = text;
        } else if (field.compare(Column::StartYear, Qt::CaseInsensitive) == 0) {
            integer(*book, r, valueColumn, next.StartYear);
        } else if (field.compare(Column::EndYear, Qt::CaseInsensitive) == 0) {
            integer(*book, r, valueColumn, next.EndYear);
        } else if (field.compare(Column::OutputNaming, Qt::CaseInsensitive) == 0) {
            const int id = outputTypeId(text);
            if (id == 0)
                reject(book->name, r, Column::Value,
                    QStringLiteral("Output naming %1 does not exist: use Requested or Scheduled.")
                        .arg(shown(text)));
            else
                next.outputTypeId = id;
        } else if (!field.isEmpty()) {
            reject(book->name, r, Column::Field,
                QStringLiteral("Unknown field %1.").arg(shown(field)));
        }
    }
    if (next.EndYear < next.StartYear) {
        reject(book->name, -1, Column::Value,
            QStringLiteral("The end year %1 comes before the start year %2.")
                .arg(next.EndYear)
                .arg(next.StartYear));
        return;
    }
    const Baseline& old = _project.baseline;
    if (next.Description != old.Description)
        changes.append({ Column::Description, old.Description, next.Description });
    if (next.StartYear != old.StartYear)
        changes.append(
            { Column::StartYear, QString::number(old.StartYear), QString::number(next.StartYear) });
    if (next.EndYear != old.EndYear)
        changes.append(
            { Column::EndYear, QString::number(old.EndYear), QString::number(next.EndYear) });
    if (next.outputTypeId != old.outputTypeId)
        changes.append({ Column::OutputNaming, TARN::outputTypeName(old.outputTypeId),
            TARN::outputTypeName(next.outputTypeId) });
    if (changes.isEmpty())
        return;
    next.outputTypeName = TARN::outputTypeName(next.outputTypeId);
    _plan.baseline = next;
    _plan.baselineChanged = true;
    _plan.rangeChanged = next.StartYear != old.StartYear || next.EndYear != old.EndYear;
    _startYear = next.StartYear;
    _endYear = next.EndYear;
    _plan.items.append(
        { SheetName::Baseline, PreviewItem::Changed, SheetName::Baseline, changes, {} });
}

void InputsDiff::attributes()
{
    const Sheet* book = sheet(SheetName::Attributes);
    if (!book)
        return;
    const int nameColumn = book->columnOf(Column::Attribute);
    const int typeColumn = book->columnOf(Column::Type);
    const int valueColumn = book->columnOf(Column::Value);
    if (nameColumn < 0 || typeColumn < 0 || valueColumn < 0) {
        reject(book->name, -1, {},
            QStringLiteral("The sheet needs the columns Attribute, Type and Value."));
        return;
    }
    QHash<QString, int> seen;
    for (int r = 0; r < book->rows.size(); ++r) {
        const QString name = book->cell(r, nameColumn).trimmed();
        const QString type = book->cell(r, typeColumn).trimmed();
        const QString value = book->cell(r, valueColumn).trimmed();
        if (name.isEmpty() && type.isEmpty() && value.isEmpty())
            continue;
        int typeId = 0;
        if (type.compare(SiteType, Qt::CaseInsensitive) == 0)
            typeId = TARN::AttrTypeAggDiv;
        else if (type.compare(WaterUserType, Qt::CaseInsensitive) == 0)
            typeId = TARN::AttrTypeWaterUser;
        if (typeId == 0) {
            reject(book->name, r, Column::Type,
                QStringLiteral("Unknown attribute type %1: use Site or Water User.")
                    .arg(shown(type)));
            continue;
        }
        if (name.isEmpty() || value.isEmpty()) {
            reject(book->name, r, name.isEmpty() ? Column::Attribute : Column::Value,
                QStringLiteral("An attribute value needs its attribute and its text."));
            continue;
        }
        const QString key = attrKey(typeId, name) + QChar(0x1f) + value;
        if (!uniqueKey(seen, key, *book, r))
            continue;
        const AttributeInfo* attribute = _project.attribute(name, typeId);
        if (!attribute && !_bookAttributes.contains(attrKey(typeId, name))) {
            _bookAttributes.insert(attrKey(typeId, name));
            _plan.newAttributes.append({ name, typeId, {} });
            _plan.items.append({ book->name, PreviewItem::Added,
                QStringLiteral("%1 (%2)").arg(name, type), {}, {} });
        }
        if (attribute && attribute->valueId(value) != 0)
            continue;
        _bookValues.insert(key);
        // A new attribute gets its "Unassigned" value with it.
        if (!attribute && value == QLatin1String("Unassigned"))
            continue;
        _plan.newValues.append({ name, typeId, value });
        _plan.items.append({ book->name, PreviewItem::Added,
            QStringLiteral("%1 (%2) = %3").arg(name, type, value), {}, {} });
    }
    for (const AttributeInfo& attribute : _project.attributes)
        for (const AttrValidVal& value : attribute.values)
            if (!seen.contains(
                    attrKey(attribute.typeId, attribute.name) + QChar(0x1f) + value.AttrVal))
                _plan.items.append({ book->name, PreviewItem::NotInBook,
                    QStringLiteral("%1 (%2) = %3")
                        .arg(attribute.name,
                            attribute.typeId == TARN::AttrTypeAggDiv ? SiteType : WaterUserType,
                            value.AttrVal),
                    {}, {} });
}

bool InputsDiff::attributeValues(const Sheet& sheet, int row, int firstColumn, int typeId,
    const QHash<int, QString>& current, QHash<QString, QString>& values,
    QList<FieldChange>& changes)
{
    bool ok = true;
    for (int c = firstColumn; c < sheet.header.size(); ++c) {
        const QString name = sheet.header.at(c).trimmed();
        const QString value = sheet.cell(row, c).trimmed();
        if (name.isEmpty() || value.isEmpty())
            continue; // an empty cell leaves the value as it is
        if (!knownAttribute(name, typeId)) {
            reject(sheet.name, row, name, QStringLiteral("Unknown attribute %1.").arg(shown(name)));
            ok = false;
            continue;
        }
        if (!knownValue(name, typeId, value)) {
            reject(sheet.name, row, name,
                QStringLiteral("Unknown value %1 of the attribute %2.")
                    .arg(shown(value), shown(name)));
            ok = false;
            continue;
        }
        const AttributeInfo* attribute = _project.attribute(name, typeId);
        const QString old = attribute ? current.value(attribute->id) : QString();
        if (old != value) {
            values.insert(name, value);
            changes.append({ name, old, value });
        }
    }
    return ok;
}

void InputsDiff::sites()
{
    const Sheet* book = sheet(SheetName::Sites);
    if (!book)
        return;
    const int keyColumn = book->columnOf(Column::RiffleName);
    const int nameColumn = book->columnOf(Column::Name);
    const int methodColumn = book->columnOf(Column::SalinityMethod);
    const int notesColumn = book->columnOf(Column::Notes);
    const int orderColumn = book->columnOf(Column::Order);
    if (keyColumn != 0 || nameColumn != 1 || methodColumn != 2 || notesColumn != 3
        || orderColumn != 4) {
        reject(book->name, -1, {},
            QStringLiteral("The sheet needs the columns Riffle Name, Name, Salinity Method, "
                           "Notes and Order, in that order, before the attribute columns."));
        return;
    }
    QHash<QString, int> seen;
    for (int r = 0; r < book->rows.size(); ++r) {
        const QString key = book->cell(r, keyColumn).trimmed();
        if (key.isEmpty()) {
            if (!book->rows.at(r).join(QString()).trimmed().isEmpty())
                reject(
                    book->name, r, Column::RiffleName, QStringLiteral("The Riffle name is empty."));
            continue;
        }
        if (!uniqueKey(seen, key, *book, r))
            continue;
        const int index = _project.siteIndex(key);
        SitePlan plan;
        plan.isNew = index < 0;
        plan.site = plan.isNew ? AggDiv() : _project.sites.at(index);
        const AggDiv old = plan.site;
        plan.site.RiffleName = key;
        bool ok = true;
        const QString name = book->cell(r, nameColumn);
        if (!name.isEmpty() || plan.isNew)
            plan.site.SiteName = name.isEmpty() ? key : name;
        const QString method = book->cell(r, methodColumn);
        if (!method.trimmed().isEmpty()) {
            const int id = salinityMethodId(method);
            if (id == 0) {
                reject(book->name, r, Column::SalinityMethod,
                    QStringLiteral("Unknown salinity method %1.").arg(shown(method)));
                ok = false;
            }
            plan.site.salinityMethod = SalinityMethodInfo::fromId(id);
        } else if (plan.isNew) {
            plan.site.salinityMethod = SalinityMethodInfo::fromId(1);
        }
        plan.site.Notes = book->cell(r, notesColumn);
        if (!book->cell(r, orderColumn).trimmed().isEmpty())
            ok = integer(*book, r, orderColumn, plan.site.Ord) && ok;
        QList<FieldChange> changes;
        ok = attributeValues(*book, r, orderColumn + 1, TARN::AttrTypeAggDiv,
                 _project.siteValues.value(old.AggDivID), plan.values, changes)
            && ok;
        if (!ok)
            continue;
        _sitesInBook.insert(key);
        if (plan.isNew) {
            _newSites.insert(key);
            _plan.sites.append(plan);
            _plan.items.append({ book->name, PreviewItem::Added, key, {}, {} });
            continue;
        }
        if (old.SiteName != plan.site.SiteName)
            changes.prepend({ Column::Name, old.SiteName, plan.site.SiteName });
        if (old.salinityMethod.id != plan.site.salinityMethod.id)
            changes.prepend({ Column::SalinityMethod, old.salinityMethod.label,
                plan.site.salinityMethod.label });
        if (old.Notes != plan.site.Notes)
            changes.prepend({ Column::Notes, old.Notes, plan.site.Notes });
        if (old.Ord != plan.site.Ord)
            changes.prepend(
                { Column::Order, QString::number(old.Ord), QString::number(plan.site.Ord) });
        if (changes.isEmpty())
            continue;
        _plan.sites.append(plan);
        _plan.items.append({ book->name, PreviewItem::Changed, key, changes, {} });
    }
}

void InputsDiff::waterUsers()
{
    const Sheet* book = sheet(SheetName::WaterUsers);
    if (!book)
        return;
    const QStringList months = monthColumns();
    const QStringList fixed = QStringList {
        Column::Site, Column::RiffleName, Column::Name, Column::Notes, Column::Order
    } + months;
    for (int c = 0; c < fixed.size(); ++c)
        if (book->columnOf(fixed.at(c)) != c) {
            reject(book->name, -1, {},
                QStringLiteral("The sheet needs the columns %1, in that order, before the "
                               "attribute columns.")
                    .arg(fixed.join(QStringLiteral(", "))));
            return;
        }
    QHash<QString, int> seen;
    for (int r = 0; r < book->rows.size(); ++r) {
        const QString siteKey = book->cell(r, 0).trimmed();
        const QString key = book->cell(r, 1).trimmed();
        if (siteKey.isEmpty() && key.isEmpty())
            continue;
        if (!uniqueKey(seen, waterUserKey(siteKey, key), *book, r))
            continue;
        if (key.isEmpty()) {
            reject(book->name, r, Column::RiffleName, QStringLiteral("The Riffle name is empty."));
            continue;
        }
        const int siteIndex = _project.siteIndex(siteKey);
        if (siteIndex < 0 && !_newSites.contains(siteKey)) {
            reject(book->name, r, Column::Site,
                QStringLiteral("Unknown site %1.").arg(shown(siteKey)));
            continue;
        }
        const int index = _project.waterUserIndex(siteKey, key);
        WaterUserPlan plan;
        plan.isNew = index < 0;
        plan.siteRiffle = siteKey;
        plan.waterUser = plan.isNew ? WaterUser() : _project.waterUsers.at(index);
        const WaterUser old = plan.waterUser;
        plan.waterUser.RiffleName = key;
        if (siteIndex >= 0)
            plan.waterUser.aggDiv = _project.sites.at(siteIndex);
        bool ok = true;
        const QString name = book->cell(r, 2);
        if (!name.isEmpty() || plan.isNew)
            plan.waterUser.WaterUserName = name.isEmpty() ? key : name;
        plan.waterUser.Notes = book->cell(r, 3);
        if (!book->cell(r, 4).trimmed().isEmpty())
            ok = integer(*book, r, 4, plan.waterUser.Ord) && ok;

        bool anyMonth = false;
        for (int m = 0; m < 12; ++m)
            anyMonth = anyMonth || !book->cell(r, 5 + m).trimmed().isEmpty();
        const QVector<double> oldMonths = _project.coefficients.value(old.WaterUserID);
        QList<FieldChange> changes;
        if (anyMonth) {
            QVector<double> coefficients(12, 0.0);
            bool numbers = true;
            double sum = 0;
            for (int m = 0; m < 12; ++m) {
                double value = 0;
                if (!book->cell(r, 5 + m).trimmed().isEmpty()
                    && !number(*book, r, 5 + m, false, value))
                    numbers = false;
                coefficients[m] = value;
                sum += value;
            }
            if (numbers && std::abs(sum - 100.0) > DemandMath::CoefficientSumTolerance) {
                reject(book->name, r, months.first(),
                    QStringLiteral("The monthly coefficients sum to %1, not 100.")
                        .arg(Workbook::plainNumber(sum)));
                numbers = false;
            }
            ok = numbers && ok;
            for (int m = 0; m < 12 && numbers; ++m) {
                const double before = m < oldMonths.size() ? oldMonths.at(m) : TARN::nan();
                if (!plan.isNew && sameNumber(before, coefficients.at(m)))
                    coefficients[m] = before; // written back as it is stored
            }
            for (int m = 0; m < 12 && numbers; ++m) {
                const double before = m < oldMonths.size() ? oldMonths.at(m) : TARN::nan();
                if (plan.isNew || before != coefficients.at(m)) {
                    plan.coefficients = coefficients;
                    if (!plan.isNew)
                        changes.append({ months.at(m), Workbook::plainNumber(before),
                            Workbook::plainNumber(coefficients.at(m)) });
                }
            }
        }
        ok = attributeValues(*book, r, 17, TARN::AttrTypeWaterUser,
                 _project.waterUserValues.value(old.WaterUserID), plan.values, changes)
            && ok;
        if (!ok)
            continue;
        _waterUsersInBook.insert(waterUserKey(siteKey, key));
        if (plan.isNew) {
            _newWaterUsers.insert(waterUserKey(siteKey, key));
            _plan.waterUsers.append(plan);
            _plan.items.append({ book->name, PreviewItem::Added,
                QStringLiteral("%1 / %2").arg(siteKey, key), {}, {} });
            continue;
        }
        if (old.WaterUserName != plan.waterUser.WaterUserName)
            changes.prepend({ Column::Name, old.WaterUserName, plan.waterUser.WaterUserName });
        if (old.Notes != plan.waterUser.Notes)
            changes.prepend({ Column::Notes, old.Notes, plan.waterUser.Notes });
        if (old.Ord != plan.waterUser.Ord)
            changes.prepend(
                { Column::Order, QString::number(old.Ord), QString::number(plan.waterUser.Ord) });
        if (changes.isEmpty())
            continue;
        _plan.waterUsers.append(plan);
        _plan.items.append({ book->name, PreviewItem::Changed,
            QStringLiteral("%1 / %2").arg(siteKey, key), changes, {} });
    }
}

void planImport(const Book& book, const QList<SeriesInput>& series, const ImportOptions& options,
    const ProjectInputs& project, ImportPlan& plan)
{
    plan = ImportPlan();
    InputsDiff diff(book, options, project, plan);
    diff.baseline();
    diff.attributes();
    diff.sites();
    diff.waterUsers();
    diff.yearly(series);
    diff.scenarios();
    diff.missing();
}

} // namespace Inputs
