#pragma once

#include "SheetData.h"

#include <QString>

#include <zip.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace TARN {

// Cell format (cellXfs) indices the sheet's cells refer to.
struct XlsxCellStyles {
    int header = 0;
    int date = 0;
    int number = 0;
    int missing = 0;
};

// Produces the worksheet XML of a SheetData row by row, in chunks, so that the sheet is never
// held as a whole. It is handed to libzip as a source that is read while the archive is closed.
class XlsxSheetStream {
public:
    XlsxSheetStream(const SheetData& sheet, const XlsxCellStyles& styles, bool tabSelected,
        const std::atomic_bool* cancel);

    // A size no smaller than the XML. libzip records the true size of what it reads, but it
    // must be told a size up front, or it marks the entry as ZIP64.
    uint64_t sizeBound() const { return _sizeBound; }

    // A libzip source that reads this stream (which must outlive the archive's close).
    zip_source_t* makeSource(zip_t* archive);

    // Restarts at the beginning; read() then returns the XML in pieces, 0 at the end.
    void rewind();
    int64_t read(char* out, uint64_t len);
    // Why the last read failed (cancelled, or the sheet's data unreadable), empty when it didn't.
    const QString& failure() const { return _failure; }

    // The whole XML at once, for small sheets and tests.
    std::string toString();

private:
    static zip_int64_t callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd);
    void fillChunk();
    void writeRow(int row);
    void writeText(int row, int column, int style, const QString& text);
    void writeNumber(int row, int column, int style, double value);
    void cellStart(int row, int column, int style);

    const SheetData& _sheet;
    XlsxCellStyles _styles;
    bool _tabSelected;
    const std::atomic_bool* _cancel;
    uint64_t _sizeBound = 0;
    int _rows = 0;
    int _columns = 0;

    std::string _chunk;
    size_t _chunkPos = 0;
    int _nextRow = 0; // -1: prologue pending; _rows: epilogue pending; _rows + 1: done
    QString _failure;
    SheetData::RowCursor _cursor;
    zip_error_t _error;
};

} // namespace TARN
