#include "SheetData.h"

#include <QDir>
#include <QTemporaryFile>

#include <algorithm>

namespace Workbook {

SheetData::SheetData(const QString& name)
    : _name(name)
{
}

SheetData::~SheetData() = default;

void SheetData::setDates(const QDate* dates, int count)
{
    _dates.assign(dates, dates + std::max(count, 0));
}

bool SheetData::addColumn(const QString& header, const double* values, int count, QString* error)
{
    count = std::max(count, 0);
    if (_file) {
        const qint64 offset = _file->size();
        _file->seek(offset);
        const qint64 bytes = qint64(count) * qint64(sizeof(double));
        if (_file->write(reinterpret_cast<const char*>(values), bytes) != bytes) {
            if (error)
                *error = _file->errorString();
            return false;
        }
        _offsets.push_back(offset);
    } else {
        _values.emplace_back(values, values + count);
    }
    _headers.push_back(header);
    _counts.push_back(count);
    _maxValueCount = std::max(_maxValueCount, count);
    _valueTotal += count;
    return true;
}

int SheetData::usedColumns() const
{
    if (!_headers.empty())
        return static_cast<int>(_headers.size()) + 1;
    return _dates.empty() ? 0 : 1;
}

int SheetData::usedRows() const
{
    const int dataRows = std::max(_maxValueCount, static_cast<int>(_dates.size()));
    if (dataRows > 0)
        return dataRows + 1;
    return _headers.empty() ? 0 : 1;
}

bool SheetData::spill(QString* error)
{
    if (_file)
        return true;
    auto file = std::make_unique<QTemporaryFile>(
        QDir::tempPath() + QStringLiteral("/tarnhelm-sheet-XXXXXX"));
    if (!file->open()) {
        *error = file->errorString();
        return false;
    }
    std::vector<qint64> offsets;
    qint64 offset = 0;
    for (const auto& column : _values) {
        const qint64 bytes = qint64(column.size()) * qint64(sizeof(double));
        if (file->write(reinterpret_cast<const char*>(column.data()), bytes) != bytes) {
            *error = file->errorString();
            return false;
        }
        offsets.push_back(offset);
        offset += bytes;
    }
    _file = std::move(file);
    _offsets = std::move(offsets);
    std::vector<std::vector<double>>().swap(_values);
    return true;
}

void SheetData::releaseValues()
{
    std::vector<std::vector<double>>().swap(_values);
    _file.reset();
    _offsets.clear();
    _released = true;
}

SheetData::RowCursor::RowCursor(const SheetData& sheet, size_t budget)
    : _sheet(sheet)
    , _budget(budget)
{
}

bool SheetData::RowCursor::seek(int row, QString* error)
{
    _row = row;
    if (_sheet._released) {
        *error = QStringLiteral("the sheet's values were already written out");
        return false;
    }
    if (!_sheet._file || (row >= _blockFirst && row < _blockFirst + _blockRows))
        return true;
    // Read a block of rows: for each column, one contiguous piece of its values.
    const size_t columns = std::max<size_t>(_sheet._headers.size(), 1);
    _blockRows = static_cast<int>(std::max<size_t>(_budget / (columns * sizeof(double)), 1));
    _blockFirst = row;
    _block.assign(columns * static_cast<size_t>(_blockRows), 0.0);
    const std::lock_guard<std::mutex> lock(_sheet._fileMutex);
    for (size_t c = 0; c < _sheet._headers.size(); ++c) {
        const int available = std::min(_sheet._counts[c] - row, _blockRows);
        if (available <= 0)
            continue;
        const qint64 bytes = qint64(available) * qint64(sizeof(double));
        if (!_sheet._file->seek(_sheet._offsets[c] + qint64(row) * qint64(sizeof(double)))
            || _sheet._file->read(
                   reinterpret_cast<char*>(_block.data() + c * static_cast<size_t>(_blockRows)),
                   bytes)
                != bytes) {
            *error = _sheet._file->errorString();
            _blockRows = 0;
            return false;
        }
    }
    return true;
}

const double* SheetData::RowCursor::run(int column, int* count) const
{
    const size_t c = static_cast<size_t>(column);
    if (!_sheet._file) {
        *count = std::max(_sheet._counts[c] - _row, 0);
        return *count > 0 ? _sheet._values[c].data() + _row : nullptr;
    }
    *count = std::max(std::min(_sheet._counts[c], _blockFirst + _blockRows) - _row, 0);
    return *count > 0 ? _block.data() + c * static_cast<size_t>(_blockRows)
            + static_cast<size_t>(_row - _blockFirst)
                      : nullptr;
}

SheetData::RowReader::RowReader(const SheetData& sheet, size_t budget)
    : _sheet(sheet)
    , _cursor(sheet, budget)
    , _rows(sheet.usedRows() - 1)
    , _tile(static_cast<size_t>(sheet.columnCount()) * TileRows)
    , _have(static_cast<size_t>(sheet.columnCount()), 0)
{
}

bool SheetData::RowReader::next(QString* error)
{
    if (_row + 1 >= _rows)
        return false;
    ++_row;
    if (_row < _tileFirst + _tileRows) {
        _tileRow = _row - _tileFirst;
        return true;
    }
    if (!_cursor.seek(_row, error))
        return false;
    _tileFirst = _row;
    _tileRow = 0;
    _tileRows = 0;
    const int wanted
        = static_cast<int>(std::min<size_t>(TileRows, static_cast<size_t>(_rows - _row)));
    for (int c = 0; c < _sheet.columnCount(); ++c) {
        int count = 0;
        const double* values = _cursor.run(c, &count);
        count = std::min(count, wanted);
        _have[static_cast<size_t>(c)] = count;
        if (count > 0)
            std::copy(values, values + count, _tile.begin() + static_cast<long>(c * TileRows));
        _tileRows = std::max(_tileRows, count);
    }
    // A spilled sheet's block may end inside the tile: the tile then ends with it, unless no
    // column reaches that far (the rows below then have no values at all).
    if (_tileRows == 0)
        _tileRows = 1;
    return true;
}

} // namespace Workbook
