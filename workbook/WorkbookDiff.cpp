#include "WorkbookDiff.h"

#include "CellFormat.h"
#include "SheetFingerprint.h"
#include "SheetTable.h"
#include "WorkbookReader.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

namespace Workbook {

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

const char* statusName(int status)
{
    static const char* const names[] = { "equal", "changed", "added", "removed" };
    return names[status];
}

// Up to ten significant digits, for people.
QString shortNumber(double v)
{
    return std::isnan(v) ? QStringLiteral("-") : QString::number(v, 'g', 10);
}

// A text as a JSON string, written by Qt's JSON writer.
QByteArray jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Numbers in the shortest form that reads back as the same double, as the workbooks hold them
// (Qt's writer gives 100000 where this gives 1e+05, and 0 for -0).
QByteArray jsonNumber(double v)
{
    if (!std::isfinite(v))
        return "null";
    char buf[32];
    return QByteArray(buf, static_cast<int>(XlCell::formatNumber(v, buf)));
}

QByteArray jsonText(const QString& text)
{
    return text.isEmpty() ? QByteArray("null") : jsonString(text);
}

QString grouped(int n)
{
    return QLocale(QLocale::English).toString(n);
}

} // namespace

// ---------------------------------------------------------------------------------------------

int SheetComparison::count(ColumnComparison::Status status) const
{
    return static_cast<int>(std::count_if(columns.begin(), columns.end(),
        [status](const ColumnComparison& c) { return c.status == status; }));
}

const ColumnComparison* SheetComparison::largestChange() const
{
    const ColumnComparison* largest = nullptr;
    for (const auto& c : columns)
        if (c.status == ColumnComparison::Changed && !std::isnan(c.maxAbs)
            && (!largest || c.maxAbs > largest->maxAbs))
            largest = &c;
    return largest;
}

bool WorkbookComparison::equal() const
{
    return std::all_of(sheets.begin(), sheets.end(),
        [](const SheetComparison& s) { return s.status == SheetComparison::Equal; });
}

QByteArray WorkbookComparison::toJson() const
{
    QByteArray out = "{\"equal\": ";
    out += equal() ? "true" : "false";
    out += ", \"sheets\": [";
    for (size_t s = 0; s < sheets.size(); ++s) {
        const SheetComparison& sheet = sheets[s];
        if (s)
            out += ", ";
        out += "{\"name\": " + jsonString(sheet.name) + ", \"status\": \""
            + statusName(sheet.status) + "\", \"byFingerprint\": "
            + (sheet.byFingerprint ? "true" : "false") + ", \"columns\": [";
        for (size_t c = 0; c < sheet.columns.size(); ++c) {
            const ColumnComparison& col = sheet.columns[c];
            if (c)
                out += ", ";
            out += "{\"name\": " + jsonString(col.name) + ", \"status\": \""
                + statusName(col.status)
                + "\", \"changedMonths\": " + QByteArray::number(col.changedMonths)
                + ", \"firstMonth\": " + jsonText(col.firstMonth) + ", \"lastMonth\": "
                + jsonText(col.lastMonth) + ", \"maxAbs\": " + jsonNumber(col.maxAbs)
                + ", \"maxRel\": " + jsonNumber(col.maxRel) + ", \"oldTotal\": "
                + jsonNumber(col.oldTotal) + ", \"newTotal\": " + jsonNumber(col.newTotal) + "}";
        }
        out += "]}";
    }
    out += "]}";
    return out;
}

QString WorkbookComparison::toText() const
{
    QStringList lines;
    lines << QStringLiteral("Old workbook: %1").arg(oldPath)
          << QStringLiteral("New workbook: %1").arg(newPath);
    if (tolerance > 0)
        lines << QStringLiteral("Tolerance: %1").arg(shortNumber(tolerance));
    lines << (equal() ? QStringLiteral("The workbooks hold the same values.")
                      : QStringLiteral("The workbooks differ."));
    for (const auto& sheet : sheets) {
        QString line = QStringLiteral("'%1': ").arg(sheet.name);
        switch (sheet.status) {
        case SheetComparison::Equal:
            line += sheet.byFingerprint ? QStringLiteral("equal (by its recorded fingerprint)")
                                        : QStringLiteral("equal");
            break;
        case SheetComparison::Added:
            line += QStringLiteral("only in the new workbook");
            break;
        case SheetComparison::Removed:
            line += QStringLiteral("only in the old workbook");
            break;
        case SheetComparison::Changed: {
            QStringList parts;
            parts << QStringLiteral("%1 of %2 columns changed")
                         .arg(grouped(sheet.count(ColumnComparison::Changed)),
                             grouped(sheet.newColumns));
            if (const int added = sheet.count(ColumnComparison::Added))
                parts << QStringLiteral("%1 only in the new sheet").arg(grouped(added));
            if (const int removed = sheet.count(ColumnComparison::Removed))
                parts << QStringLiteral("%1 only in the old sheet").arg(grouped(removed));
            line += parts.join(QStringLiteral(", "));
            break;
        }
        }
        lines << line;
        if (sheet.columns.empty())
            continue;
        lines << QStringLiteral(
            "\tColumn\tStatus\tMonths\tFirst\tLast\tMax abs\tMax rel\tOld total\tNew total");
        for (const auto& c : sheet.columns)
            lines << QStringLiteral("\t%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9")
                         .arg(c.name, QLatin1String(statusName(c.status)),
                             QString::number(c.changedMonths), c.firstMonth, c.lastMonth,
                             shortNumber(c.maxAbs), shortNumber(c.maxRel), shortNumber(c.oldTotal),
                             shortNumber(c.newTotal));
    }
    return lines.join(QLatin1Char('\n'));
}

QString WorkbookComparison::summary() const
{
    QStringList parts;
    for (const auto& sheet : sheets) {
        switch (sheet.status) {
        case SheetComparison::Equal:
            break;
        case SheetComparison::Added:
            parts << QStringLiteral("'%1': new sheet").arg(sheet.name);
            break;
        case SheetComparison::Removed:
            parts << QStringLiteral("'%1': sheet removed").arg(sheet.name);
            break;
        case SheetComparison::Changed: {
            QStringList what;
            const int changed = sheet.count(ColumnComparison::Changed);
            if (changed)
                what << QStringLiteral("%1 of %2 columns changed")
                            .arg(grouped(changed), grouped(sheet.newColumns));
            if (const int added = sheet.count(ColumnComparison::Added))
                what << QStringLiteral("%1 %2 added")
                            .arg(grouped(added),
                                added == 1 ? QStringLiteral("column") : QStringLiteral("columns"));
            if (const int removed = sheet.count(ColumnComparison::Removed))
                what << QStringLiteral("%1 %2 removed")
                            .arg(grouped(removed),
                                removed == 1 ? QStringLiteral("column")
                                             : QStringLiteral("columns"));
            if (const ColumnComparison* largest = sheet.largestChange())
                what << QStringLiteral("largest change %1 in %2")
                            .arg(shortNumber(largest->maxAbs), largest->name);
            parts << QStringLiteral("'%1': %2").arg(sheet.name, what.join(QStringLiteral(", ")));
            break;
        }
        }
    }
    return QStringLiteral("Compared with the previous workbook: ")
        + (parts.isEmpty() ? QStringLiteral("No value changed") : parts.join(QStringLiteral("; ")));
}

// ---------------------------------------------------------------------------------------------

// ---------------------------------------------------------------------------------------------

namespace {

// A row of either sheet or of both, paired by key; a key that occurs more than once pairs its
// occurrences in order.
struct MergedRow {
    int oldRow = -1; // index into the table's rows
    int newRow = -1;
};

std::vector<MergedRow> mergeRows(const SheetTable& a, const SheetTable& b)
{
    QHash<QString, std::vector<int>> oldRows;
    for (int r = 0; r < a.rowCount(); ++r)
        oldRows[a.sortKey(r)].push_back(r);
    QHash<QString, size_t> taken;
    std::vector<bool> oldPaired(static_cast<size_t>(a.rowCount()), false);
    std::vector<MergedRow> merged;
    merged.reserve(static_cast<size_t>(std::max(a.rowCount(), b.rowCount())));
    for (int r = 0; r < b.rowCount(); ++r) {
        MergedRow m;
        m.newRow = r;
        const auto it = oldRows.constFind(b.sortKey(r));
        if (it != oldRows.constEnd()) {
            size_t& n = taken[b.sortKey(r)];
            if (n < it->size()) {
                m.oldRow = (*it)[n];
                oldPaired[static_cast<size_t>(m.oldRow)] = true;
            }
            ++n;
        }
        merged.push_back(m);
    }
    for (int r = 0; r < a.rowCount(); ++r)
        if (!oldPaired[static_cast<size_t>(r)])
            merged.push_back({ r, -1 });
    auto key = [&](const MergedRow& m) -> const QString& {
        return m.newRow >= 0 ? b.sortKey(m.newRow) : a.sortKey(m.oldRow);
    };
    std::stable_sort(merged.begin(), merged.end(),
        [&](const MergedRow& x, const MergedRow& y) { return key(x) < key(y); });
    return merged;
}

// Running figures of one column.
struct Figures {
    int changed = 0;
    int first = -1; // merged row
    int last = -1;
    double maxAbs = NaN;
    double maxRel = NaN;
    double oldTotal = 0;
    double newTotal = 0;

    void mark(int row)
    {
        if (changed++ == 0)
            first = row;
        last = row;
    }
    static void raise(double& to, double v) { to = std::isnan(to) ? v : std::max(to, v); }
};

} // namespace

SheetComparison WorkbookDiff::compareTables(
    const QString& name, const SheetTable& a, const SheetTable& b) const
{
    SheetComparison sheet;
    sheet.name = name;
    sheet.oldColumns = a.columnCount();
    sheet.newColumns = b.columnCount();
    const std::vector<MergedRow> rows = mergeRows(a, b);
    auto label = [&](int merged) {
        if (merged < 0)
            return QString();
        const MergedRow& m = rows[static_cast<size_t>(merged)];
        return m.newRow >= 0 ? b.label(m.newRow) : a.label(m.oldRow);
    };

    // Columns pair up by name, the first of a repeated name with the first.
    QHash<QString, std::vector<int>> newByName;
    for (int c = b.columnCount() - 1; c >= 0; --c)
        newByName[b.header(c)].push_back(c);
    std::vector<std::pair<int, int>> pairs; // old column, new column
    std::vector<int> removed;
    std::vector<bool> matched(static_cast<size_t>(b.columnCount()), false);
    for (int i = 0; i < a.columnCount(); ++i) {
        auto it = newByName.find(a.header(i));
        if (it == newByName.end() || it->empty()) {
            removed.push_back(i);
            continue;
        }
        pairs.emplace_back(i, it->back());
        matched[static_cast<size_t>(it->back())] = true;
        it->pop_back();
    }
    std::vector<int> added;
    for (int j = 0; j < b.columnCount(); ++j)
        if (!matched[static_cast<size_t>(j)])
            added.push_back(j);

    // Row by row, as the tables hold their values.
    std::vector<Figures> paired(pairs.size());
    std::vector<Figures> oldOnly(removed.size());
    std::vector<Figures> newOnly(added.size());
    const double tolerance = _tolerance;
    for (int m = 0; m < static_cast<int>(rows.size()); ++m) {
        const int ra = rows[static_cast<size_t>(m)].oldRow;
        const int rb = rows[static_cast<size_t>(m)].newRow;
        for (size_t p = 0; p < pairs.size(); ++p) {
            double va = NaN;
            double vb = NaN;
            const SheetTable::Kind ka
                = ra < 0 ? SheetTable::Kind::Missing : a.at(ra, pairs[p].first, &va);
            const SheetTable::Kind kb
                = rb < 0 ? SheetTable::Kind::Missing : b.at(rb, pairs[p].second, &vb);
            Figures& f = paired[p];
            if (ka == SheetTable::Kind::Number && kb == SheetTable::Kind::Number) {
                f.oldTotal += va;
                f.newTotal += vb;
                if (va == vb)
                    continue;
                const double d = std::fabs(vb - va);
                if (d > tolerance || std::isnan(d)) {
                    f.mark(m);
                    Figures::raise(f.maxAbs, d);
                    if (va != 0)
                        Figures::raise(f.maxRel, d / std::fabs(va));
                }
                continue;
            }
            if (ka == SheetTable::Kind::Number)
                f.oldTotal += va;
            if (kb == SheetTable::Kind::Number)
                f.newTotal += vb;
            const bool differs = ka == SheetTable::Kind::Text && kb == SheetTable::Kind::Text
                ? a.text(ra, pairs[p].first) != b.text(rb, pairs[p].second)
                : ka != kb;
            if (differs)
                f.mark(m);
        }
        // A column of one side against nothing.
        auto alone = [&](const SheetTable& t, int r, const std::vector<int>& columns,
                         std::vector<Figures>& figures, bool old) {
            if (r < 0)
                return;
            for (size_t k = 0; k < columns.size(); ++k) {
                double v;
                const SheetTable::Kind kind = t.at(r, columns[k], &v);
                if (kind == SheetTable::Kind::Missing)
                    continue;
                Figures& f = figures[k];
                f.mark(m);
                if (kind == SheetTable::Kind::Number) {
                    (old ? f.oldTotal : f.newTotal) += v;
                    Figures::raise(f.maxAbs, std::fabs(v));
                }
            }
        };
        alone(a, ra, removed, oldOnly, true);
        alone(b, rb, added, newOnly, false);
    }

    auto column
        = [&](const QString& columnName, ColumnComparison::Status status, const Figures& f) {
              ColumnComparison c;
              c.name = columnName;
              c.status = status;
              c.changedMonths = f.changed;
              c.firstMonth = label(f.first);
              c.lastMonth = label(f.last);
              c.maxAbs = f.maxAbs;
              c.maxRel = f.maxRel;
              c.oldTotal = status == ColumnComparison::Added ? NaN : f.oldTotal;
              c.newTotal = status == ColumnComparison::Removed ? NaN : f.newTotal;
              return c;
          };
    // In the old sheet's column order, then the new sheet's own columns.
    size_t p = 0;
    size_t r = 0;
    for (int i = 0; i < a.columnCount(); ++i) {
        if (p < pairs.size() && pairs[p].first == i) {
            if (paired[p].changed > 0)
                sheet.columns.push_back(column(a.header(i), ColumnComparison::Changed, paired[p]));
            ++p;
        } else if (r < removed.size() && removed[r] == i) {
            sheet.columns.push_back(column(a.header(i), ColumnComparison::Removed, oldOnly[r]));
            ++r;
        }
    }
    for (size_t k = 0; k < added.size(); ++k)
        sheet.columns.push_back(column(b.header(added[k]), ColumnComparison::Added, newOnly[k]));
    sheet.status = sheet.columns.empty() ? SheetComparison::Equal : SheetComparison::Changed;
    return sheet;
}

bool WorkbookDiff::compareFiles(
    const QString& oldPath, const QString& newPath, WorkbookComparison* result, QString* error)
{
    *result = WorkbookComparison();
    result->oldPath = oldPath;
    result->newPath = newPath;
    result->tolerance = _tolerance;
    QString why;
    const std::unique_ptr<WorkbookReader> oldBook = WorkbookReader::openFile(oldPath, &why);
    if (!oldBook) {
        *error = QStringLiteral("Unable to read the workbook \"%1\": %2").arg(oldPath, why);
        return false;
    }
    const std::unique_ptr<WorkbookReader> newBook = WorkbookReader::openFile(newPath, &why);
    if (!newBook) {
        *error = QStringLiteral("Unable to read the workbook \"%1\": %2").arg(newPath, why);
        return false;
    }
    const QStringList oldNames = oldBook->sheetNames();
    const QStringList newNames = newBook->sheetNames();
    const auto oldHashes = oldBook->trustedSheetHashes();
    const auto newHashes = newBook->trustedSheetHashes();
    auto findNew = [&](const QString& name) {
        for (int j = 0; j < newNames.size(); ++j)
            if (newNames.at(j).compare(name, Qt::CaseInsensitive) == 0)
                return j;
        return -1;
    };
    std::vector<bool> newMatched(static_cast<size_t>(newNames.size()), false);
    int total = oldNames.size();
    for (const QString& name : newNames)
        if (std::none_of(oldNames.begin(), oldNames.end(),
                [&](const QString& o) { return o.compare(name, Qt::CaseInsensitive) == 0; }))
            total += 1;
    int done = 0;
    auto stopped = [&]() {
        *error = QStringLiteral("The comparison was stopped.");
        return false;
    };

    for (int i = 0; i < oldNames.size(); ++i) {
        if (cancelled())
            return stopped();
        const QString& name = oldNames.at(i);
        if (_progress)
            _progress(name, done, total);
        const int j = findNew(name);
        if (j < 0) {
            SheetComparison s;
            s.name = name;
            s.status = SheetComparison::Removed;
            result->sheets.push_back(s);
            ++done;
            continue;
        }
        newMatched[static_cast<size_t>(j)] = true;
        const QByteArray oldHash = oldHashes.value(name.toLower());
        if (_useFingerprints && !oldHash.isEmpty()
            && oldHash == newHashes.value(newNames.at(j).toLower())) {
            SheetComparison s;
            s.name = newNames.at(j);
            s.status = SheetComparison::Equal;
            s.byFingerprint = true;
            result->sheets.push_back(s);
            ++done;
            continue;
        }
        SheetTable oldTable;
        SheetTable newTable;
        QString newError;
        bool newRead = false;
        std::thread reader([&]() { newRead = newTable.read(*newBook, j, &newError, _cancel); });
        const bool oldRead = oldTable.read(*oldBook, i, &why, _cancel);
        reader.join();
        if (cancelled())
            return stopped();
        if (!oldRead || !newRead) {
            *error = QStringLiteral("Unable to read the sheet \"%1\" of \"%2\": %3")
                         .arg(name, oldRead ? newPath : oldPath, oldRead ? newError : why);
            return false;
        }
        result->sheets.push_back(compareTables(newNames.at(j), oldTable, newTable));
        ++done;
    }
    for (int j = 0; j < newNames.size(); ++j) {
        if (newMatched[static_cast<size_t>(j)])
            continue;
        SheetComparison s;
        s.name = newNames.at(j);
        s.status = SheetComparison::Added;
        result->sheets.push_back(s);
        ++done;
    }
    if (_progress)
        _progress(QString(), done, total);
    return true;
}

} // namespace Workbook
