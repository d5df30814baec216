// LibXlConnect: the workbook of one export, collected and saved through the workbook library.

#pragma once

#include "db/okstat.h"
#include "workbook/SheetFingerprint.h"

#include <QCoreApplication>
#include <QDate>
#include <QHash>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace Workbook {
class SheetData;
class WorkbookFile;
struct WorkbookComparison;
struct SaveProgress;
} // namespace Workbook

// The workbook of one export: opens (or prepares) the file, collects the sheets the export
// writes, and writes the book in one go on save(). Until then the file on disk is untouched.
//
// The export hands over its series one column at a time; the columns are kept (8 bytes a value)
// and written out row by row when the book is saved. Only the sheet being filled stays in
// memory: a sheet the export has moved on from goes to a temporary file. A sheet the export
// declares complete (completeSheet()) is handed to the book at once: an .xlsx book compresses
// it while the export goes on.
class LibXlConnect {
    Q_DECLARE_TR_FUNCTIONS(LibXlConnect)

public:
    LibXlConnect();
    ~LibXlConnect();
    LibXlConnect(const LibXlConnect&) = delete;
    LibXlConnect& operator=(const LibXlConnect&) = delete;

    // Chooses the kind of book by the file name's extension (.xlsx, .xlsm, .xls, in any case)
    // and loads the file when it exists.
    TARN::okstat open(const QString& fileName);

    bool isOpen() const { return _book != nullptr; }
    const QString& fileName() const { return _fileName; }

    // The sheet of that name made in this export, or a new one at the end of the book that
    // replaces an existing sheet of exactly that name when the book is saved.
    TARN::okstat sheet(const QString& name, Workbook::SheetData** sheet = nullptr);

    // Fails, before anything is collected, when a sheet of that many rows (header included)
    // and columns (date column included) would not fit into the book's format.
    TARN::okstat checkSize(int rows, int columns) const;

    // Adds a column of count values with its header to the sheet (made as by sheet() when
    // needed); the sheet's first column gets the count dates when it has none yet. A missing
    // (NaN) value is written as the text "NaN".
    TARN::okstat writeColumn(const QString& sheetName, const QString& header, int count,
        const QDate* dates, const double* values);

    // Declares the sheet complete: it gets no more columns, and the book may get it ready for
    // the save now. A sheet that got no column is left alone (it isn't made).
    TARN::okstat completeSheet(const QString& sheetName);

    // Writes the book to the file (through a temporary file renamed over it), then releases
    // the book and forgets the file name and the sheets, whether or not the save succeeded.
    TARN::okstat save();

    // Records in the book's custom properties what the sheet of fp.sheet holds (its content
    // hash is worked out on save). The properties that earlier exports recorded for a sheet this
    // export writes go in any case; those of the book's other sheets stay.
    void setFingerprint(const Workbook::SheetFingerprint& fp);
    // Works out the content hashes of the fingerprinted sheets (on up to two threads); done by
    // save() when it hasn't been.
    TARN::okstat computeFingerprints();

    // Whether the file existed when it was opened.
    bool existed() const { return _existed; }
    // Compares the sheets this export writes with the sheets of the same name in the file as it
    // is on disk, before the save replaces it; a sheet whose recorded content hash equals its
    // own is equal without being read. The other sheets of the book are kept byte for byte and
    // are left out.
    // progress hears which sheet of how many is being compared and how far its reading is, in
    // thousandths, as the rows of the previous book's sheet arrive (on the calling thread).
    using CompareProgress = std::function<void(int sheet, int sheets, int permille)>;
    TARN::okstat compareWithPrevious(Workbook::WorkbookComparison* comparison, double tolerance = 0,
        const CompareProgress& progress = nullptr);

    // While set, a running save fails and leaves the file as it was.
    void setCancelFlag(const std::atomic_bool* cancel) { _cancel = cancel; }

    // Threads that compress an .xlsx book's sheets (0, the default: one per core); the book
    // written is the same whatever the number. Set before open().
    void setCompressionThreads(int threads) { _threads = threads; }
    // The cells in each piece an .xlsx sheet is cut into for compressing (0, the default:
    // about a megabyte of output). Small pieces let a small sheet be cut many times. Set
    // before open().
    void setCompressionBlockCells(int cells) { _blockCells = cells; }

    // Called on the saving thread while save() runs (not necessarily at all).
    void setSaveProgressHandler(std::function<void(const Workbook::SaveProgress&)> handler);

    // When the export moves on to another sheet, the values of the sheet it leaves go to a
    // temporary file if there are at least this many, so that memory holds one sheet's values.
    void setSpillThreshold(qint64 values) { _spillThreshold = values; }

private:
    void release();
    TARN::okstat applyFingerprints();
    bool fingerprinted(const QString& sheet) const;
    // The export has moved on from the sheet: it is hashed (when it has a fingerprint) and
    // spilled on a thread of its own while the export reads the next sheet's series.
    // Gives a complete sheet to the book (or moves its values to a file); the one whose
    // fingerprint is being worked out goes once that is done.
    void handOver(int index);
    void handOverPending();
    void waitForSheetJob();

    QString _fileName;
    std::unique_ptr<Workbook::WorkbookFile> _book;
    std::vector<std::unique_ptr<Workbook::SheetData>> _sheets;
    std::vector<int> _replaces;
    std::vector<bool> _complete;
    QHash<QString, int> _sheetIndex;
    std::function<void(const Workbook::SaveProgress&)> _saveProgress;
    int _threads = 0;
    int _blockCells = 0;
    const std::atomic_bool* _cancel = nullptr;
    qint64 _spillThreshold = 1 << 20;
    int _current = -1; // the sheet written last
    bool _existed = false;
    std::vector<Workbook::SheetFingerprint> _fingerprints;
    bool _hashesDone = false;
    // By sheet, empty until worked out; a deque, as the sheet job writes into it while the
    // export adds sheets.
    std::deque<QByteArray> _sheetHashes;
    std::thread _sheetJob;
    int _jobSheet = -1;
};
