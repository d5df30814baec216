#pragma once

#include "SheetData.h"

#include <QString>

#include <zip.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Workbook {

// Cell format (cellXfs) indices the sheet's cells refer to.
struct XlsxCellStyles {
    int header = 0;
    int date = 0;
    int number = 0;
    int missing = 0;
};

// Writes the worksheet XML of a SheetData in pieces: what comes before the first row, any row,
// and the end of the part. A writer serves one thread; writers of their own may make different
// rows of one sheet at the same time, as they only read it. Every cell carries its reference
// (r): the format lets a cell that follows its neighbour leave it out, but some readers then
// read nothing past the first cell. A cell gets a style (s) only when it isn't 0, the default.
class XlsxRowWriter {
public:
    XlsxRowWriter(const SheetData& sheet, const XlsxCellStyles& styles);

    // The XML declaration, the worksheet's start and everything up to <sheetData>.
    std::string prologue(bool tabSelected) const;
    // From </sheetData> to the end of the part.
    static const char* epilogue();

    // Appends the XML of sheet row `row` (0: the header row) at out[used], growing out as
    // needed, and returns the new length. For a data row the cursor must be on it (row - 1).
    size_t writeRow(std::string& out, size_t used, int row, const SheetData::RowCursor& cursor);
    static char* reserve(std::string& out, size_t used, size_t bytes);

private:
    size_t writeText(
        std::string& out, size_t used, int row, int column, int style, const QString& text);

    const SheetData& _sheet;
    XlsxCellStyles _styles;
    std::string _missingCell; // the markup after "<c" and the reference of a NaN cell
};

// Produces the worksheet XML of a SheetData row by row, in chunks, so that the sheet is never
// held as a whole; it can be handed to libzip as a source that is read while the archive is
// closed. The book's save no longer does (it stores the parts XlsxSheetDeflater compressed
// ahead, which hold exactly this XML); the stream is the plain reference of a part's text.
//
// The XML is made on a thread of its own, a few chunks ahead of the reader, so that making it
// overlaps with whatever reads what was made before.
class XlsxSheetStream {
public:
    XlsxSheetStream(const SheetData& sheet, const XlsxCellStyles& styles, bool tabSelected,
        const std::atomic_bool* cancel);
    ~XlsxSheetStream();
    XlsxSheetStream(const XlsxSheetStream&) = delete;
    XlsxSheetStream& operator=(const XlsxSheetStream&) = delete;

    // A size no smaller than the XML. libzip records the true size of what it reads, but it
    // must be told a size up front, or it marks the entry as ZIP64.
    uint64_t sizeBound() const { return _sizeBound; }

    // A libzip source that reads this stream (which must outlive the archive's close).
    zip_source_t* makeSource(zip_t* archive);

    // Restarts at the beginning; read() then returns the XML in pieces, 0 at the end.
    void rewind();
    int64_t read(char* out, uint64_t len);
    // Why the last read failed (cancelled, or the sheet's data unreadable), empty when it didn't.
    QString failure() const;

    // The whole XML at once, for small sheets and tests.
    std::string toString();

private:
    static zip_int64_t callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd);

    // The producing thread.
    void start();
    void stop();
    void produce();
    // Makes the next chunk (waiting for a free one first when wait is set); false when there
    // is nothing more to make.
    bool produceChunk(bool wait);
    // Appends the next piece of XML (about a chunk's worth) to out; false once the end or a
    // failure has been written.
    bool fill(std::string& out, size_t& used, QString& failure);

    XlsxRowWriter _writer;
    bool _tabSelected;
    const std::atomic_bool* _cancel;
    uint64_t _sizeBound = 0;
    int _rows = 0;

    // Producer side (only the producing thread touches these while it runs).
    int _nextRow = 0; // -1: prologue pending; _rows: epilogue pending; _rows + 1: done
    SheetData::RowCursor _cursor;

    // Shared between the producer and the reader.
    mutable std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<std::string> _free; // empty chunks for the producer
    std::deque<std::pair<std::string, size_t>> _ready; // chunks made, with their lengths
    bool _produced = false; // the producer has made its last chunk (or failed)
    bool _stopping = false;
    QString _failure;
    std::thread _producer;

    // Reader side.
    std::string _chunk;
    size_t _chunkLength = 0;
    size_t _chunkPos = 0;
    bool _started = false;
    bool _inline = false; // the chunks are made by read() itself
    zip_error_t _error;
};

} // namespace Workbook
