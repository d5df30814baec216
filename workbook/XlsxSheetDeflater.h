#pragma once

#include "XlsxSheetStream.h"

#include <QString>

#include <zip.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QTemporaryFile;
struct z_stream_s;

namespace Workbook {

class SheetData;

// Compresses worksheet parts on worker threads, ahead of the save that stores them.
//
// A sheet's rows are cut into blocks whose size follows from the sheet's width alone. Each
// block is made into XML and deflated on its own, with the last 32 KB of the XML before it as
// the dictionary (so it compresses as well as in one stream), and ends on a byte boundary
// without being the last deflate block. The pieces go into a temporary file in whatever order
// they are done. Laid end to end behind the compressed beginning of the part (which says
// whether the sheet is the active one, known only when the book is saved) they form one raw
// deflate stream, which the part's libzip source hands over as already compressed data with
// its size and CRC. What is written depends on the cells alone: never on the number of threads
// or on which thread made which block.
class XlsxSheetDeflater {
public:
    struct Progress {
        int sheetsDone = 0;
        int sheets = 0;
        qint64 blocksDone = 0;
        qint64 blocks = 0;
        QString current; // the first sheet not yet done
    };

    // Cells in a block by default: about a megabyte of compressed output.
    static constexpr int DefaultBlockCells = 1 << 18;

    // threads < 1 means one; blockCells < 1 the default.
    XlsxSheetDeflater(const XlsxCellStyles& styles, int threads, int blockCells = 0);
    ~XlsxSheetDeflater();
    XlsxSheetDeflater(const XlsxSheetDeflater&) = delete;
    XlsxSheetDeflater& operator=(const XlsxSheetDeflater&) = delete;

    const XlsxCellStyles& styles() const { return _styles; }

    // Queues a complete sheet. It must neither change nor go until finish() returned or the
    // deflater is destroyed. A sheet is queued once.
    void add(const SheetData* sheet);
    bool contains(const SheetData* sheet) const;
    bool isDone(const SheetData* sheet) const;
    // Whether a sheet whose values are in memory (not spilled) is still being compressed.
    bool compressingInMemory() const;

    // Waits until every queued sheet is compressed, calling progress on the calling thread
    // about every 50 ms and once at the end. A set cancel flag stops the work. False, with the
    // reason, when the work failed or was cancelled.
    bool finish(const std::atomic_bool* cancel,
        const std::function<void(const Progress&)>& progress, QString* error);

    // After finish(): the libzip source of a sheet's part, whose beginning is made here. It
    // reads the deflater's file, so the deflater must outlive the archive's close or discard.
    zip_source_t* makeSource(zip_t* archive, const SheetData* sheet, bool tabSelected);
    // After finish(): the CRC-32 and size of the part makeSource gives (uncompressed); false
    // when the sheet isn't done.
    bool partSignature(
        const SheetData* sheet, bool tabSelected, uint32_t* crc, uint64_t* size) const;

private:
    struct Block {
        int firstRow = 0;
        int endRow = 0;
        bool last = false;
        bool done = false;
        qint64 offset = 0; // of the compressed piece in the file
        qint64 length = 0;
        uint64_t rawSize = 0;
        uint32_t crc = 0;
    };
    struct Job {
        const SheetData* sheet = nullptr;
        bool inMemory = false;
        std::vector<Block> blocks;
        size_t nextBlock = 0; // the first block no worker has taken
        size_t blocksDone = 0;
    };
    class PartSource;

    // Makes blocks until told to stop; with untilIdle, only until no block is left to take.
    void work(bool untilIdle);
    bool takeBlock(Job** job, size_t* index);
    void fail(const QString& failure);
    Progress progressLocked() const;
    bool makeBlock(::z_stream_s* zs, const Job& job, Block& block, std::string& xml,
        std::string& compressed, QString* failure);
    bool store(const std::string& compressed, qint64* offset, QString* failure);
    Job* jobOf(const SheetData* sheet);
    const Job* jobOf(const SheetData* sheet) const;
    bool readPiece(qint64 offset, char* out, qint64 length);

    XlsxCellStyles _styles;
    int _threads;
    int _blockCells;

    mutable std::mutex _mutex;
    std::condition_variable _changed;
    std::vector<std::unique_ptr<Job>> _jobs;
    std::vector<std::thread> _workers;
    bool _abort = false; // nothing more is made: the work failed, was cancelled or is dropped
    std::atomic_bool _abortFlag { false }; // the same, for the workers to look at between rows
    QString _failure;

    std::mutex _fileMutex;
    std::unique_ptr<QTemporaryFile> _file;
    qint64 _fileEnd = 0;

    std::vector<std::unique_ptr<PartSource>> _sources;
};

} // namespace Workbook
