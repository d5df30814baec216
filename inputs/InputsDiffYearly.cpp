#include "inputs/InputsDiff.h"

#include <algorithm>
#include <cmath>

namespace Inputs {

namespace {

// The four yearly values of one year as the book (or a series) gives them; a series sets one.
struct GivenYear {
    double values[4] = { TARN::nan(), TARN::nan(), TARN::nan(), TARN::nan() };
    bool given[4] = { false, false, false, false };
};

const QStringList& valueColumns()
{
    static const QStringList columns { Column::Diversion, Column::Depletion,
        Column::EfficiencyRatio, Column::SalinityPickup };
    return columns;
}

double& valueOf(WaterUserData& row, int field)
{
    switch (field) {
    case 0:
        return row.DiversionReq;
    case 1:
        return row.DepletionReq;
    case 2:
        return row.EfficiencyRatio;
    default:
        return row.SalinityPickup;
    }
}

} // namespace

bool sameNumber(double stored, double read)
{
    if (std::isnan(stored) || std::isnan(read))
        return std::isnan(stored) && std::isnan(read);
    return std::abs(stored - read) <= 1e-14 * std::max(std::abs(stored), std::abs(read));
}

void InputsDiff::yearly(const QList<SeriesInput>& series)
{
    QHash<QString, QMap<int, GivenYear>> given;
    // The years each water user's rows name, rejected values included: such a year is in the
    // book, only its values are not taken.
    QHash<QString, QSet<int>> named;
    const Sheet* book = sheet(SheetName::YearlyData);
    _hasYearlySheet = book != nullptr;
    if (book) {
        const int siteColumn = book->columnOf(Column::Site);
        const int keyColumn = book->columnOf(Column::WaterUser);
        const int yearColumn = book->columnOf(Column::Year);
        int columns[4];
        for (int f = 0; f < 4; ++f)
            columns[f] = book->columnOf(valueColumns().at(f));
        if (siteColumn < 0 || keyColumn < 0 || yearColumn < 0) {
            reject(book->name, -1, {},
                QStringLiteral("The sheet needs the columns Site, Water User and Year."));
            _hasYearlySheet = false;
            book = nullptr;
        }
        QHash<QString, int> seen;
        for (int r = 0; book && r < book->rows.size(); ++r) {
            const QString siteKey = book->cell(r, siteColumn).trimmed();
            const QString key = book->cell(r, keyColumn).trimmed();
            if (siteKey.isEmpty() && key.isEmpty() && book->cell(r, yearColumn).isEmpty())
                continue;
            const QString wuKey = waterUserKey(siteKey, key);
            if (_project.waterUserIndex(siteKey, key) < 0 && !_newWaterUsers.contains(wuKey)) {
                if (_project.siteIndex(siteKey) < 0 && !_newSites.contains(siteKey))
                    reject(book->name, r, Column::Site,
                        QStringLiteral("Unknown site \"%1\".").arg(siteKey));
                else
                    reject(book->name, r, Column::WaterUser,
                        QStringLiteral("Unknown water user \"%1\" at the site \"%2\".")
                            .arg(key, siteKey));
                continue;
            }
            int year = 0;
            if (!yearInRange(*book, r, yearColumn, year))
                continue;
            if (!uniqueKey(seen, wuKey + KeySep + QString::number(year), *book, r))
                continue;
            named[wuKey].insert(year);
            GivenYear row;
            bool ok = true;
            for (int f = 0; f < 4; ++f) {
                row.given[f] = true;
                if (columns[f] >= 0)
                    ok = number(*book, r, columns[f], true, row.values[f]) && ok;
            }
            if (ok && !std::isnan(row.values[2]) && (row.values[2] < 0 || row.values[2] > 1)) {
                reject(book->name, r, Column::EfficiencyRatio,
                    QStringLiteral("The efficiency ratio %1 is outside 0 to 1.")
                        .arg(Workbook::plainNumber(row.values[2])));
                ok = false;
            }
            if (ok)
                given[wuKey].insert(year, row);
        }
    }

    // Series give one value of a year to the baseline water users named like the station.
    for (const SeriesInput& input : series) {
        const int field = input.depletion ? 1 : 0;
        for (auto station = input.yearly.constBegin(); station != input.yearly.constEnd();
             ++station) {
            QStringList matches;
            for (const WaterUser& waterUser : _project.waterUsers)
                if (waterUser.RiffleName == station.key())
                    matches.append(waterUserKey(waterUser.aggDiv.RiffleName, waterUser.RiffleName));
            for (const QString& key : qAsConst(_newWaterUsers))
                if (key.section(KeySep, 1) == station.key() && !matches.contains(key))
                    matches.append(key);
            if (matches.isEmpty()) {
                _plan.unmatchedStations.append(
                    QStringLiteral("%1 (%2)").arg(station.key(), input.file));
                continue;
            }
            for (auto year = station.value().constBegin(); year != station.value().constEnd();
                 ++year) {
                if (year.key() < _startYear || year.key() > _endYear)
                    continue; // the series may cover more than the project
                for (const QString& key : matches) {
                    GivenYear& row = given[key][year.key()];
                    row.values[field] = year.value();
                    row.given[field] = true;
                }
            }
        }
    }

    QStringList keys;
    for (const WaterUser& waterUser : _project.waterUsers)
        keys.append(waterUserKey(waterUser.aggDiv.RiffleName, waterUser.RiffleName));
    for (const WaterUserPlan& plan : qAsConst(_plan.waterUsers))
        if (plan.isNew)
            keys.append(waterUserKey(plan.siteRiffle, plan.waterUser.RiffleName));

    const QString sheetName = book ? book->name : SheetName::YearlyData;
    for (const QString& key : qAsConst(keys)) {
        const QString siteKey = key.section(KeySep, 0, 0);
        const QString riffle = key.section(KeySep, 1);
        const int index = _project.waterUserIndex(siteKey, riffle);
        const int waterUserId = index < 0 ? 0 : _project.waterUsers.at(index).WaterUserID;
        const QMap<int, WaterUserData> old = _project.yearly.value(waterUserId);
        const QMap<int, GivenYear> rows = given.value(key);
        QMap<int, WaterUserData> next = old;
        QList<int> missingYears;
        for (auto year = old.constBegin(); year != old.constEnd(); ++year)
            if (_hasYearlySheet && !year.value().isEmpty() && !rows.contains(year.key())
                && !named.value(key).contains(year.key())) {
                missingYears.append(year.key());
                if (removesMissing())
                    next.remove(year.key());
            }
        for (auto year = rows.constBegin(); year != rows.constEnd(); ++year) {
            WaterUserData& row = next[year.key()];
            row.Year = year.key();
            row.WaterUserID = waterUserId;
            for (int f = 0; f < 4; ++f)
                if (year.value().given[f] && !sameNumber(valueOf(row, f), year.value().values[f]))
                    valueOf(row, f) = year.value().values[f];
        }
        QList<FieldChange> changes;
        QList<int> years;
        // A water user without stored years lists its new years only: field by field, a whole
        // basin imported into a new project would fill the memory with "(empty) -> value".
        const bool listFields = !old.isEmpty();
        for (auto year = next.begin(); year != next.end(); ++year) {
            WaterUserData before = old.value(year.key());
            for (int f = 0; f < 4; ++f) {
                const double a = valueOf(before, f);
                const double b = valueOf(year.value(), f);
                if (sameNumber(a, b))
                    continue;
                if (listFields)
                    changes.append(
                        { QStringLiteral("%1 %2").arg(valueColumns().at(f)).arg(year.key()),
                            Workbook::plainNumber(a), Workbook::plainNumber(b) });
                if (years.isEmpty() || years.last() != year.key())
                    years.append(year.key());
            }
        }
        const QString shownKey = QStringLiteral("%1 / %2").arg(siteKey, riffle);
        if (!missingYears.isEmpty()) {
            if (removesMissing()) {
                for (int year : qAsConst(missingYears))
                    for (int f = 0; f < 4; ++f) {
                        WaterUserData before = old.value(year);
                        if (!std::isnan(valueOf(before, f)))
                            changes.append(
                                { QStringLiteral("%1 %2").arg(valueColumns().at(f)).arg(year),
                                    Workbook::plainNumber(valueOf(before, f)), {} });
                    }
                _plan.items.append({ sheetName, PreviewItem::Removed, shownKey, {}, missingYears });
            } else {
                _plan.items.append(
                    { sheetName, PreviewItem::NotInBook, shownKey, {}, missingYears });
            }
        }
        if (years.isEmpty() && changes.isEmpty() && !(removesMissing() && !missingYears.isEmpty()))
            continue;
        if (!years.isEmpty())
            _plan.items.append(
                { sheetName, old.isEmpty() ? PreviewItem::Added : PreviewItem::Changed, shownKey,
                    changes, years });
        YearlyPlan plan { siteKey, riffle, waterUserId, {} };
        for (const WaterUserData& row : qAsConst(next))
            plan.rows.append(row);
        _plan.yearly.append(plan);
    }
}

bool InputsDiff::removesMissing()
{
    if (!_options.removeMissing)
        return false;
    if (!_plan.rejected.isEmpty())
        _plan.removalsHeldBack = true;
    return !_plan.removalsHeldBack;
}

void InputsDiff::missing()
{
    if (sheet(SheetName::Sites)) {
        for (const AggDiv& site : _project.sites) {
            if (_sitesInBook.contains(site.RiffleName))
                continue;
            _plan.items.append({ SheetName::Sites,
                removesMissing() ? PreviewItem::Removed : PreviewItem::NotInBook, site.RiffleName,
                {}, {} });
            if (removesMissing())
                _plan.removedSites.append(site.AggDivID);
        }
    }
    if (sheet(SheetName::WaterUsers)) {
        for (const WaterUser& waterUser : _project.waterUsers) {
            if (_waterUsersInBook.contains(
                    waterUserKey(waterUser.aggDiv.RiffleName, waterUser.RiffleName)))
                continue;
            _plan.items.append({ SheetName::WaterUsers,
                removesMissing() ? PreviewItem::Removed : PreviewItem::NotInBook,
                QStringLiteral("%1 / %2").arg(waterUser.aggDiv.RiffleName, waterUser.RiffleName),
                {}, {} });
            if (removesMissing())
                _plan.removedWaterUsers.append(waterUser);
        }
    }
}

} // namespace Inputs
