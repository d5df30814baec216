#pragma once

#include "SheetCells.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace Workbook {

class SheetData;
class WorkbookReader;

// One sheet's values as a comparison of workbooks needs them: the column names of row 0 (from
// column 1 on), a key for each row below it (taken from column 0: a date, or else its text), and
// the values of each row. A value is a number, missing (an empty cell, an empty text or the text
// "NaN") or another text. The values are kept row by row, as readers deliver them, as doubles:
// 8 bytes a cell while a row's cells follow one another without gaps, so a sheet of 8 million
// cells takes about 64 MB.
class SheetTable {
public:
    // For readers' visitors: takes one cell. finish() must follow the last one.
    void add(int row, int column, ReadCell::Type type, double number, const QString& text);
    void finish();

    // Reads a whole sheet through a reader. A set cancel flag stops the reading, which then
    // fails. rowStarted, when given, hears of each row as its first cell arrives.
    bool read(const WorkbookReader& reader, int index, QString* error,
        const std::atomic_bool* cancel = nullptr,
        const std::function<void(int row)>& rowStarted = nullptr);

    // The sheet an export is about to write.
    bool fromSheetData(const SheetData& sheet, QString* error);

    int columnCount() const { return _headers.size(); }
    // The name of data column c (sheet column c + 1); "(column X)" when row 0 has none.
    QString header(int c) const { return _headers.value(c); }

    // The rows below the header, in sheet order.
    int rowCount() const { return static_cast<int>(_rows.size()); }
    // Dates sort before texts, texts before rows without a key.
    const QString& sortKey(int row) const { return _rows[static_cast<size_t>(row)].sortKey; }
    // YYYY-MM for a date, else the key's text.
    const QString& label(int row) const { return _rows[static_cast<size_t>(row)].label; }

    enum class Kind { Missing, Number, Text };
    // The value of data column `column` in row `row` (an index below rowCount()).
    Kind at(int row, int column, double* number) const
    {
        const Row& r = _rows[static_cast<size_t>(row)];
        const int i = r.indexOf(column);
        if (i < 0) {
            *number = std::numeric_limits<double>::quiet_NaN();
            return Kind::Missing;
        }
        const double v = r.values[static_cast<size_t>(i)];
        *number = v;
        if (!std::isnan(v))
            return Kind::Number;
        return isTextMark(v) ? Kind::Text : Kind::Missing;
    }
    QString text(int row, int column) const;

private:
    struct Row {
        int row = 0; // in the sheet
        std::vector<double> values; // data columns firstColumn, firstColumn + 1, ...
        std::vector<int> columns; // or, when not empty, the data column of each value
        int firstColumn = 0;
        bool sorted = true;
        bool hasSerial = false;
        double serial = 0;
        QString keyText;
        bool hasKeyText = false;
        bool hasValues = false;
        QString sortKey;
        QString label;

        int indexOf(int column) const;
        void store(int column, double value);
    };
    static bool isTextMark(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        return bits == TextBits;
    }
    static constexpr quint64 TextBits = Q_UINT64_C(0x7FF8000000000A5C);
    Row& rowFor(int row);

    QStringList _headers;
    int _columns = 0;
    std::vector<Row> _rows;
    QHash<int, int> _rowIndex; // sheet row -> index into _rows, while reading
    QHash<quint64, QString> _texts; // by sheet row << 32 | data column
};

} // namespace Workbook
