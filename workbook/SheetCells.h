#pragma once

#include <QHash>
#include <QString>

#include <functional>

namespace Workbook {

// A cell as a workbook reader finds it.
struct ReadCell {
    enum Type { Empty, Number, Text, Boolean, Error, Formula };
    Type type = Empty;
    double number = 0;
    QString text; // Text; the formula of a Formula cell
    QString numberFormat; // format code, "General" when none
    QString alignment; // horizontal alignment, empty when none
};

// The cells of one sheet, by 0-based row and column.
class SheetCells {
public:
    void set(int row, int column, const ReadCell& cell);
    ReadCell at(int row, int column) const { return _cells.value(key(row, column)); }
    int rowCount() const { return _rows; }
    int columnCount() const { return _columns; }
    int cellCount() const { return _cells.size(); }

private:
    static quint64 key(int row, int column)
    {
        return (quint64(quint32(row)) << 32) | quint32(column);
    }
    QHash<quint64, ReadCell> _cells;
    int _rows = 0;
    int _columns = 0;
};

// Receives the values of a sheet's cells one at a time as a reader streams them: the cell's
// 0-based row and column, the value's type (Number, Text, Boolean or Error; a formula cell gives
// its cached result, and a cell without a value isn't reported), its number (Number, Boolean)
// and its text (Text, Error). Returning false stops the reading.
using CellVisitor = std::function<bool(
    int row, int column, ReadCell::Type type, double number, const QString& text)>;

// Number format codes Excel knows by id without storing them.
QString builtInNumberFormat(int id);

} // namespace Workbook
