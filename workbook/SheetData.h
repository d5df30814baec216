#pragma once

#include <QDate>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>

class QTemporaryFile;

namespace Workbook {

// The cells of one sheet that an export builds: an optional date column at column 0 and data
// columns from column 1 on, each with a header in row 0 and its values from row 1 down. The
// values are kept column by column, because the series arrive one at a time, while the workbook
// writers walk them row by row (through a RowCursor).
//
// A sheet's values can be moved to a temporary file (spill()), so that an export of many large
// sheets keeps only the one it is filling in memory. Once a sheet is complete, any number of
// threads may read it at the same time, each through a RowCursor of its own.
class SheetData {
public:
    explicit SheetData(const QString& name = QString());
    ~SheetData();
    SheetData(const SheetData&) = delete;
    SheetData& operator=(const SheetData&) = delete;

    const QString& name() const { return _name; }

    bool hasDates() const { return !_dates.empty(); }
    void setDates(const QDate* dates, int count);
    const std::vector<QDate>& dates() const { return _dates; }

    // Appends a data column (NaN or any non-finite value is written as "NaN"); returns its sheet
    // column index (1 based: column 0 holds the dates). False when a spilled sheet can't be
    // written to its file.
    bool addColumn(
        const QString& header, const double* values, int count, QString* error = nullptr);
    int columnCount() const { return static_cast<int>(_headers.size()); }
    const QString& header(int column) const { return _headers[static_cast<size_t>(column)]; }
    int valueCount(int column) const { return _counts[static_cast<size_t>(column)]; }

    // Number of sheet columns and rows in use, header row and date column included.
    int usedColumns() const;
    int usedRows() const;
    qint64 valueTotal() const { return _valueTotal; }

    // Moves the values to a temporary file; false (with the values still in memory) when the
    // file can't be written.
    bool spill(QString* error);
    bool spilled() const { return _file != nullptr; }

    // Drops the values (in memory or in the file) of a sheet that has been written out for
    // good; the names, headers and sizes stay. A RowCursor can't read the sheet after that.
    void releaseValues();
    bool released() const { return _released; }

    // Walks the data rows, giving the values of one row at a time.
    class RowCursor {
    public:
        // A spilled sheet is read a block of rows at a time, in about `budget` bytes.
        explicit RowCursor(const SheetData& sheet, size_t budget = 16 * 1024 * 1024);
        // Makes data row `row` (0 based, below the header) current; false on a read error.
        bool seek(int row, QString* error);
        bool has(int column) const { return _row < _sheet._counts[static_cast<size_t>(column)]; }
        double value(int column) const
        {
            if (!_sheet._file)
                return _sheet._values[static_cast<size_t>(column)][static_cast<size_t>(_row)];
            return _block[static_cast<size_t>(column) * static_cast<size_t>(_blockRows)
                + static_cast<size_t>(_row - _blockFirst)];
        }
        // The values of the column from the current row on that lie side by side in memory,
        // and how many (0 when the column has none there).
        const double* run(int column, int* count) const;

    private:
        const SheetData& _sheet;
        size_t _budget;
        int _row = 0;
        int _blockFirst = 0;
        int _blockRows = 0;
        std::vector<double> _block; // column-major, _blockRows values a column
    };

    // Walks the data rows one at a time like a RowCursor, but reads a few rows at once and
    // turns them row-wise, so that going along a row doesn't miss the cache at every column
    // (the values are kept column by column).
    class RowReader {
    public:
        explicit RowReader(const SheetData& sheet, size_t budget = 16 * 1024 * 1024);
        // Moves to the next row (the first on the first call); false at the end, and on a read
        // error with error set.
        bool next(QString* error);
        int row() const { return _row; }
        bool has(int column) const { return _tileRow < _have[static_cast<size_t>(column)]; }
        double value(int column) const
        {
            return _tile[static_cast<size_t>(column) * TileRows + static_cast<size_t>(_tileRow)];
        }

    private:
        static constexpr size_t TileRows = 8;
        const SheetData& _sheet;
        RowCursor _cursor;
        int _rows;
        int _row = -1;
        int _tileFirst = 0;
        int _tileRows = 0;
        int _tileRow = 0;
        std::vector<double> _tile; // column-major, TileRows values a column
        std::vector<int> _have; // rows of the tile each column has values in
    };

private:
    QString _name;
    std::vector<QDate> _dates;
    std::vector<QString> _headers;
    std::vector<int> _counts;
    std::vector<std::vector<double>> _values; // in memory
    std::unique_ptr<QTemporaryFile> _file; // or spilled: each column's values at its offset
    std::vector<qint64> _offsets;
    mutable std::mutex _fileMutex; // the file's position is shared by the cursors reading it
    bool _released = false;
    int _maxValueCount = 0;
    qint64 _valueTotal = 0;
};

} // namespace Workbook
