#include "SheetTable.h"

#include "CellFormat.h"
#include "SheetData.h"
#include "WorkbookReader.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>

namespace Workbook {

namespace {

const double Missing = std::numeric_limits<double>::quiet_NaN();

// The date of an Excel serial day number (1900 date system), or an invalid date.
QDate dateOfSerial(double serial)
{
    if (!std::isfinite(serial) || serial < 1 || serial >= 2958466)
        return QDate();
    const int day = static_cast<int>(std::floor(serial));
    if (day < 60)
        return QDate(1899, 12, 31).addDays(day);
    if (day == 60)
        return QDate(); // Excel's 1900-02-29, which never was
    return QDate(1899, 12, 30).addDays(day);
}

QDate dateOfText(const QString& text)
{
    const QString t = text.trimmed();
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})(?:-(\\d{1,2}))?$"));
    static const QRegularExpression monthYear(QStringLiteral("^(\\d{1,2})/(\\d{4})$"));
    auto m = iso.match(t);
    if (m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(),
            m.captured(3).isEmpty() ? 1 : m.captured(3).toInt());
    m = monthYear.match(t);
    if (m.hasMatch())
        return QDate(m.captured(2).toInt(), m.captured(1).toInt(), 1);
    return QDate();
}

// Dates are formatted by hand: QDate::toString with a format goes through the locale, which
// is not safe while two books are read on two threads (it gave empty texts now and then).
QString twoDigits(int n)
{
    return QString(QLatin1Char(char('0' + n / 10))) + QLatin1Char(char('0' + n % 10));
}

QString yearMonth(const QDate& date)
{
    return QString::number(date.year()).rightJustified(4, QLatin1Char('0')) + QLatin1Char('-')
        + twoDigits(date.month());
}

QString numberText(double v)
{
    char buf[32];
    return std::isfinite(v)
        ? QString::fromLatin1(buf, static_cast<int>(XlCell::formatNumber(v, buf)))
        : QStringLiteral("NaN");
}

} // namespace

int SheetTable::Row::indexOf(int column) const
{
    if (columns.empty()) {
        const long long i = static_cast<long long>(column) - firstColumn;
        return i >= 0 && i < static_cast<long long>(values.size()) ? static_cast<int>(i) : -1;
    }
    const auto it = std::lower_bound(columns.begin(), columns.end(), column);
    return it != columns.end() && *it == column ? static_cast<int>(it - columns.begin()) : -1;
}

void SheetTable::Row::store(int column, double value)
{
    if (values.empty()) {
        firstColumn = column;
        values.push_back(value);
        return;
    }
    if (columns.empty()) {
        const long long next
            = static_cast<long long>(firstColumn) + static_cast<long long>(values.size());
        if (column == next) {
            values.push_back(value);
            return;
        }
        if (column == next - 1) {
            values.back() = value;
            return;
        }
        // A short gap is filled with missing values; anything else keeps the columns.
        const long long gap = column - next;
        if (gap > 0 && gap <= std::max<long long>(16, static_cast<long long>(values.size()))) {
            values.insert(values.end(), static_cast<size_t>(gap), Missing);
            values.push_back(value);
            return;
        }
        columns.resize(values.size());
        std::iota(columns.begin(), columns.end(), firstColumn);
    }
    if (column <= columns.back())
        sorted = false;
    columns.push_back(column);
    values.push_back(value);
}

SheetTable::Row& SheetTable::rowFor(int row)
{
    if (!_rows.empty() && _rows.back().row == row)
        return _rows.back();
    const auto known = _rowIndex.constFind(row);
    if (known != _rowIndex.constEnd())
        return _rows[static_cast<size_t>(known.value())];
    _rowIndex.insert(row, static_cast<int>(_rows.size()));
    _rows.emplace_back();
    _rows.back().row = row;
    return _rows.back();
}

void SheetTable::add(int row, int column, ReadCell::Type type, double number, const QString& text)
{
    if (row < 0 || column < 0)
        return;
    if (row == 0) {
        if (column == 0)
            return;
        while (_headers.size() < column)
            _headers.append(QString());
        QString name = text;
        if (type == ReadCell::Number)
            name = numberText(number);
        else if (type == ReadCell::Boolean)
            name = number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        _headers[column - 1] = name;
        return;
    }
    Row& r = rowFor(row);
    if (column == 0) {
        if (type == ReadCell::Number) {
            r.hasSerial = true;
            r.serial = number;
        } else {
            r.hasKeyText = true;
            r.keyText = type == ReadCell::Boolean
                ? (number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE"))
                : text;
        }
        return;
    }
    double value = Missing;
    if (type == ReadCell::Number || type == ReadCell::Boolean) {
        if (std::isfinite(number))
            value = number;
    } else if (!text.isEmpty() && text != QLatin1String("NaN")) {
        std::memcpy(&value, &TextBits, sizeof value);
        _texts.insert((quint64(quint32(row)) << 32) | quint32(column - 1), text);
    }
    r.store(column - 1, value);
    _columns = std::max(_columns, column);
    if (!std::isnan(value) || isTextMark(value))
        r.hasValues = true;
}

void SheetTable::finish()
{
    for (Row& r : _rows) {
        if (r.sorted)
            continue;
        // Sorted by column; of two values for one cell, the later one counts.
        std::vector<size_t> order(r.columns.size());
        std::iota(order.begin(), order.end(), size_t(0));
        std::stable_sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return r.columns[a] < r.columns[b]; });
        std::vector<int> columns;
        std::vector<double> values;
        for (size_t i : order) {
            if (!columns.empty() && columns.back() == r.columns[i]) {
                values.back() = r.values[i];
                continue;
            }
            columns.push_back(r.columns[i]);
            values.push_back(r.values[i]);
        }
        r.columns.swap(columns);
        r.values.swap(values);
        r.sorted = true;
    }
    while (_headers.size() < _columns)
        _headers.append(QString());
    for (int c = 0; c < _headers.size(); ++c)
        if (_headers.at(c).isEmpty())
            _headers[c] = QStringLiteral("(column %1)").arg(XlCell::columnName(c + 1));

    // Rows with neither a key nor a value don't count.
    _rows.erase(std::remove_if(_rows.begin(), _rows.end(),
                    [](const Row& r) {
                        return !r.hasValues && !r.hasSerial
                            && !(r.hasKeyText && !r.keyText.trimmed().isEmpty());
                    }),
        _rows.end());
    std::sort(_rows.begin(), _rows.end(), [](const Row& a, const Row& b) { return a.row < b.row; });
    _rowIndex.clear();
    for (Row& r : _rows) {
        QDate date;
        QString text;
        bool hasKey = true;
        if (r.hasSerial) {
            date = dateOfSerial(r.serial);
            if (!date.isValid() && std::floor(r.serial) == 60) {
                r.sortKey = QStringLiteral("D1900-02-29");
                r.label = QStringLiteral("1900-02");
                continue;
            }
            text = numberText(r.serial);
        } else if (r.hasKeyText && !r.keyText.trimmed().isEmpty()) {
            text = r.keyText;
            date = dateOfText(text);
        } else {
            hasKey = false;
        }
        if (date.isValid()) {
            r.label = yearMonth(date);
            r.sortKey = QLatin1Char('D') + r.label + QLatin1Char('-') + twoDigits(date.day());
        } else if (hasKey) {
            r.sortKey = QLatin1Char('T') + text;
            r.label = text;
        } else {
            r.sortKey = QStringLiteral("R%1").arg(r.row, 8, 10, QLatin1Char('0'));
            r.label = QStringLiteral("row %1").arg(r.row + 1);
        }
        r.keyText.clear();
    }
}

bool SheetTable::read(const WorkbookReader& reader, int index, QString* error,
    const std::atomic_bool* cancel, const std::function<void(int row)>& rowStarted)
{
    *this = SheetTable();
    int lastRow = -1;
    const bool ok = reader.scanSheet(
        index,
        [this, cancel, &rowStarted, &lastRow](
            int row, int column, ReadCell::Type type, double number, const QString& text) {
            if (row != lastRow && rowStarted) {
                lastRow = row;
                rowStarted(row);
            }
            add(row, column, type, number, text);
            return !(cancel && cancel->load(std::memory_order_relaxed));
        },
        error);
    finish();
    return ok;
}

bool SheetTable::fromSheetData(const SheetData& sheet, QString* error)
{
    *this = SheetTable();
    for (int c = 0; c < sheet.columnCount(); ++c)
        add(0, c + 1, ReadCell::Text, 0, sheet.header(c));
    const int rows = sheet.usedRows() - 1;
    SheetData::RowReader cursor(sheet);
    _rows.reserve(static_cast<size_t>(std::max(rows, 0)));
    for (int r = 0; r < rows; ++r) {
        if (!cursor.next(error)) {
            finish();
            return false;
        }
        if (static_cast<size_t>(r) < sheet.dates().size()) {
            const QDate& date = sheet.dates()[static_cast<size_t>(r)];
            const int serial = XlCell::serialOf(date);
            if (serial > 0)
                add(r + 1, 0, ReadCell::Number, serial, QString());
            else if (date.isValid())
                add(r + 1, 0, ReadCell::Text, 0, XlCell::dateText(date));
        }
        for (int c = 0; c < sheet.columnCount(); ++c)
            if (cursor.has(c))
                add(r + 1, c + 1, ReadCell::Number, cursor.value(c), QString());
    }
    finish();
    return true;
}

QString SheetTable::text(int row, int column) const
{
    return _texts.value(
        (quint64(quint32(_rows[static_cast<size_t>(row)].row)) << 32) | quint32(column));
}

} // namespace Workbook
