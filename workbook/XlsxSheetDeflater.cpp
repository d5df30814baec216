#include "XlsxSheetDeflater.h"

#include "SheetData.h"

#include <QDir>
#include <QTemporaryFile>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>

namespace Workbook {

namespace {

// The deflate window: a dictionary longer than this is of no use.
const size_t Window = 32768;
// Fast deflate: the sheets are most of the file and the higher levels gain little on them.
const int Level = 1;
// As libzip deflates; a level below 3 is flagged as "fast" in the entry's header.
const int MemLevel = 9;
const zip_uint16_t FastDeflateFlags = 2 << 1;
const zip_uint16_t DeflateOptionMask = 3 << 1;
// zlib counts in 32 bits.
const size_t MaxFeed = size_t(1) << 30;

// Deflates length bytes at in into out (replacing what it held), after dictionary when given.
// The output ends on a byte boundary; with last, it ends the stream.
bool deflatePiece(z_stream& zs, const char* in, size_t length, const std::string& dictionary,
    bool last, std::string& out)
{
    if (deflateReset(&zs) != Z_OK)
        return false;
    if (!dictionary.empty()
        && deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(dictionary.data()),
               static_cast<uInt>(dictionary.size()))
            != Z_OK)
        return false;
    out.resize(
        static_cast<size_t>(deflateBound(&zs, static_cast<uLong>(std::min(length, MaxFeed)))) + 64);
    size_t consumed = 0;
    size_t produced = 0;
    for (;;) {
        const size_t feed = std::min(length - consumed, MaxFeed);
        const bool end = consumed + feed == length;
        const int flush = !end ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in + consumed));
        zs.avail_in = static_cast<uInt>(feed);
        for (;;) {
            if (out.size() - produced < 64)
                out.resize(out.size() * 2 + 64);
            zs.next_out = reinterpret_cast<Bytef*>(&out[produced]);
            zs.avail_out = static_cast<uInt>(std::min(out.size() - produced, MaxFeed));
            const int result = deflate(&zs, flush);
            if (result == Z_STREAM_ERROR)
                return false;
            produced = static_cast<size_t>(reinterpret_cast<char*>(zs.next_out) - out.data());
            const bool fed = zs.avail_in == 0;
            if (flush == Z_FINISH ? result == Z_STREAM_END
                                  : fed && (flush == Z_NO_FLUSH || zs.avail_out != 0))
                break;
        }
        consumed += feed;
        if (end)
            break;
    }
    out.resize(produced);
    return true;
}

uint32_t crcOf(const char* data, size_t length)
{
    return static_cast<uint32_t>(
        crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef*>(data), length));
}

} // namespace

// The already compressed data of one part for libzip: the beginning made at the save, then
// the blocks from the deflater's file, in row order.
class XlsxSheetDeflater::PartSource {
public:
    XlsxSheetDeflater* owner = nullptr;
    std::string head;
    std::vector<std::pair<qint64, qint64>> pieces; // offset and length in the file
    uint64_t rawSize = 0;
    uint64_t compressedSize = 0;
    uint32_t crc = 0;
    size_t piece = 0; // 0: the head, then pieces[piece - 1]
    qint64 position = 0; // within the current piece
    zip_error_t error;

    PartSource() { zip_error_init(&error); }
    ~PartSource() { zip_error_fini(&error); }

    zip_int64_t read(char* out, zip_uint64_t length)
    {
        zip_uint64_t done = 0;
        while (done < length && piece <= pieces.size()) {
            const qint64 size
                = piece == 0 ? static_cast<qint64>(head.size()) : pieces[piece - 1].second;
            if (position == size) {
                ++piece;
                position = 0;
                continue;
            }
            const qint64 n = std::min<qint64>(size - position, static_cast<qint64>(length - done));
            if (piece == 0) {
                std::memcpy(out + done, head.data() + position, static_cast<size_t>(n));
            } else if (!owner->readPiece(pieces[piece - 1].first + position, out + done, n)) {
                zip_error_set(&error, ZIP_ER_READ, 0);
                return -1;
            }
            position += n;
            done += static_cast<zip_uint64_t>(n);
        }
        return static_cast<zip_int64_t>(done);
    }

    static zip_int64_t callback(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
    {
        auto* self = static_cast<PartSource*>(state);
        switch (cmd) {
        case ZIP_SOURCE_OPEN:
            self->piece = 0;
            self->position = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return self->read(static_cast<char*>(data), len);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = self->rawSize;
            st->comp_size = self->compressedSize;
            st->crc = self->crc;
            st->comp_method = ZIP_CM_DEFLATE;
            st->encryption_method = ZIP_EM_NONE;
            st->valid |= ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD
                | ZIP_STAT_ENCRYPTION_METHOD;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
            if (len < sizeof(zip_file_attributes_t)) {
                zip_error_set(&self->error, ZIP_ER_INVAL, 0);
                return -1;
            }
            auto* attributes = static_cast<zip_file_attributes_t*>(data);
            attributes->valid |= ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
            attributes->general_purpose_bit_flags = FastDeflateFlags;
            attributes->general_purpose_bit_mask = DeflateOptionMask;
            return sizeof(zip_file_attributes_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&self->error, data, len);
        case ZIP_SOURCE_FREE:
            return 0; // the deflater owns the source's state
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
        default:
            zip_error_set(&self->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }
};

XlsxSheetDeflater::XlsxSheetDeflater(const XlsxCellStyles& styles, int threads, int blockCells)
    : _styles(styles)
    , _threads(std::max(threads, 1))
    , _blockCells(blockCells > 0 ? blockCells : DefaultBlockCells)
{
}

XlsxSheetDeflater::~XlsxSheetDeflater()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _abort = true; // whatever is left is dropped
        _abortFlag = true;
    }
    _changed.notify_all();
    for (auto& worker : _workers)
        worker.join();
}

XlsxSheetDeflater::Job* XlsxSheetDeflater::jobOf(const SheetData* sheet)
{
    for (auto& job : _jobs)
        if (job->sheet == sheet)
            return job.get();
    return nullptr;
}

const XlsxSheetDeflater::Job* XlsxSheetDeflater::jobOf(const SheetData* sheet) const
{
    for (const auto& job : _jobs)
        if (job->sheet == sheet)
            return job.get();
    return nullptr;
}

void XlsxSheetDeflater::add(const SheetData* sheet)
{
    auto job = std::make_unique<Job>();
    job->sheet = sheet;
    job->inMemory = !sheet->spilled();
    // The rows are cut by the width alone, so that the same cells always give the same blocks.
    const int rows = sheet->usedRows();
    const int rowsPerBlock = std::max(1, _blockCells / std::max(sheet->usedColumns(), 1));
    for (int first = 0; first < rows; first += rowsPerBlock) {
        Block block;
        block.firstRow = first;
        block.endRow = std::min(rows, first + rowsPerBlock);
        job->blocks.push_back(block);
    }
    if (job->blocks.empty())
        job->blocks.emplace_back(); // no rows: the block holds the end of the part
    job->blocks.back().last = true;

    std::lock_guard<std::mutex> lock(_mutex);
    if (jobOf(sheet))
        return;
    _jobs.push_back(std::move(job));
    while (static_cast<int>(_workers.size()) < _threads) {
        try {
            _workers.emplace_back(&XlsxSheetDeflater::work, this, false);
        } catch (const std::system_error&) {
            break; // finish() makes what no thread takes
        }
    }
    _changed.notify_all();
}

bool XlsxSheetDeflater::contains(const SheetData* sheet) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return jobOf(sheet) != nullptr;
}

bool XlsxSheetDeflater::isDone(const SheetData* sheet) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    const Job* job = jobOf(sheet);
    return job && job->blocksDone == job->blocks.size();
}

bool XlsxSheetDeflater::compressingInMemory() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    for (const auto& job : _jobs)
        if (job->inMemory && job->blocksDone < job->blocks.size())
            return true;
    return false;
}

bool XlsxSheetDeflater::takeBlock(Job** job, size_t* index)
{
    for (auto& candidate : _jobs) {
        if (candidate->nextBlock < candidate->blocks.size()) {
            *job = candidate.get();
            *index = candidate->nextBlock++;
            return true;
        }
    }
    return false;
}

void XlsxSheetDeflater::fail(const QString& failure)
{
    if (!_abort) {
        _abort = true;
        _abortFlag = true;
        _failure = failure;
    }
    _changed.notify_all();
}

void XlsxSheetDeflater::work(bool untilIdle)
{
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    const bool initialised
        = deflateInit2(&zs, Level, Z_DEFLATED, -MAX_WBITS, MemLevel, Z_DEFAULT_STRATEGY) == Z_OK;
    std::string xml;
    std::string compressed;
    std::unique_lock<std::mutex> lock(_mutex);
    if (!initialised)
        fail(QStringLiteral("the compression can't be set up"));
    for (;;) {
        Job* job = nullptr;
        size_t index = 0;
        if (untilIdle) {
            if (_abort || !takeBlock(&job, &index))
                break;
        } else {
            _changed.wait(lock, [&] { return _abort || takeBlock(&job, &index); });
            if (!job)
                break;
        }
        Block block = job->blocks[index];
        lock.unlock();
        QString failure;
        const bool made = makeBlock(&zs, *job, block, xml, compressed, &failure);
        lock.lock();
        if (!made) {
            fail(failure.isEmpty()
                    ? QStringLiteral("the sheet \"%1\" can't be compressed").arg(job->sheet->name())
                    : failure);
            continue;
        }
        block.done = true;
        job->blocks[index] = block;
        ++job->blocksDone;
        _changed.notify_all();
    }
    lock.unlock();
    if (initialised)
        deflateEnd(&zs);
}

bool XlsxSheetDeflater::store(const std::string& compressed, qint64* offset, QString* failure)
{
    std::lock_guard<std::mutex> lock(_fileMutex);
    if (!_file) {
        auto file = std::make_unique<QTemporaryFile>(
            QDir::tempPath() + QStringLiteral("/tarnhelm-part-XXXXXX"));
        if (!file->open()) {
            *failure = file->errorString();
            return false;
        }
        _file = std::move(file);
        _fileEnd = 0;
    }
    const qint64 length = static_cast<qint64>(compressed.size());
    if (!_file->seek(_fileEnd) || _file->write(compressed.data(), length) != length) {
        *failure = _file->errorString();
        return false;
    }
    *offset = _fileEnd;
    _fileEnd += length;
    return true;
}

bool XlsxSheetDeflater::readPiece(qint64 offset, char* out, qint64 length)
{
    std::lock_guard<std::mutex> lock(_fileMutex);
    return _file && _file->seek(offset) && _file->read(out, length) == length;
}

bool XlsxSheetDeflater::makeBlock(::z_stream_s* zs, const Job& job, Block& block, std::string& xml,
    std::string& compressed, QString* failure)
{
    const SheetData& sheet = *job.sheet;
    XlsxRowWriter writer(sheet, _styles);
    const size_t columns = static_cast<size_t>(std::max(sheet.columnCount(), 1));

    // The dictionary is the XML right before the block, which the reader has just decoded:
    // as many of the previous rows as fill the window.
    std::string dictionary;
    if (block.firstRow > 0) {
        std::string before;
        for (int count = 1;; count *= 4) {
            const int from = std::max(0, block.firstRow - count);
            SheetData::RowCursor cursor(
                sheet, static_cast<size_t>(block.firstRow - from) * columns * sizeof(double));
            size_t used = 0;
            for (int row = from; row < block.firstRow; ++row) {
                if (row > 0 && !cursor.seek(row - 1, failure))
                    return false;
                used = writer.writeRow(before, used, row, cursor);
            }
            if (used >= Window || from == 0) {
                const size_t length = std::min(used, Window);
                dictionary.assign(before, used - length, length);
                break;
            }
        }
    }

    SheetData::RowCursor cursor(
        sheet, static_cast<size_t>(block.endRow - block.firstRow) * columns * sizeof(double));
    size_t used = 0;
    for (int row = block.firstRow; row < block.endRow; ++row) {
        if (_abortFlag)
            return false;
        if (row > 0 && !cursor.seek(row - 1, failure))
            return false;
        used = writer.writeRow(xml, used, row, cursor);
    }
    if (block.last) {
        const size_t length = std::strlen(XlsxRowWriter::epilogue());
        std::memcpy(XlsxRowWriter::reserve(xml, used, length), XlsxRowWriter::epilogue(), length);
        used += length;
    }
    block.rawSize = used;
    block.crc = crcOf(xml.data(), used);
    if (!deflatePiece(*zs, xml.data(), used, dictionary, block.last, compressed)) {
        *failure = QStringLiteral("the compression failed");
        return false;
    }
    block.length = static_cast<qint64>(compressed.size());
    return store(compressed, &block.offset, failure);
}

XlsxSheetDeflater::Progress XlsxSheetDeflater::progressLocked() const
{
    Progress progress;
    progress.sheets = static_cast<int>(_jobs.size());
    for (const auto& job : _jobs) {
        progress.blocks += static_cast<qint64>(job->blocks.size());
        progress.blocksDone += static_cast<qint64>(job->blocksDone);
        if (job->blocksDone == job->blocks.size())
            ++progress.sheetsDone;
        else if (progress.current.isEmpty())
            progress.current = job->sheet->name();
    }
    return progress;
}

bool XlsxSheetDeflater::finish(const std::atomic_bool* cancel,
    const std::function<void(const Progress&)>& progress, QString* error)
{
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::milliseconds(50);
    std::unique_lock<std::mutex> lock(_mutex);
    if (_workers.empty()) {
        lock.unlock();
        work(true); // no thread could be had
        lock.lock();
    }
    Clock::time_point reported = Clock::now() - interval;
    for (;;) {
        if (cancel && cancel->load())
            fail(QStringLiteral("the export was cancelled"));
        if (_abort) {
            *error = _failure.isEmpty() ? QStringLiteral("the compression was stopped") : _failure;
            return false;
        }
        const Progress now = progressLocked();
        const bool done = now.blocksDone == now.blocks;
        if (progress && (done || Clock::now() - reported >= interval)) {
            reported = Clock::now();
            lock.unlock();
            progress(now);
            lock.lock();
        }
        if (done)
            break;
        _changed.wait_for(lock, interval);
    }
    lock.unlock();
    std::lock_guard<std::mutex> fileLock(_fileMutex);
    if (_file && !_file->flush()) {
        *error = _file->errorString();
        return false;
    }
    return true;
}

bool XlsxSheetDeflater::partSignature(
    const SheetData* sheet, bool tabSelected, uint32_t* crc, uint64_t* size) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    const Job* job = jobOf(sheet);
    if (!job || job->blocksDone != job->blocks.size())
        return false;
    const std::string prologue = XlsxRowWriter(*sheet, _styles).prologue(tabSelected);
    *crc = crcOf(prologue.data(), prologue.size());
    *size = prologue.size();
    for (const Block& block : job->blocks) {
        *crc = static_cast<uint32_t>(
            crc32_combine(*crc, block.crc, static_cast<z_off_t>(block.rawSize)));
        *size += block.rawSize;
    }
    return true;
}

zip_source_t* XlsxSheetDeflater::makeSource(
    zip_t* archive, const SheetData* sheet, bool tabSelected)
{
    const Job* job = nullptr;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        job = jobOf(sheet);
        if (!job || job->blocksDone != job->blocks.size()) {
            zip_error_set(zip_get_error(archive), ZIP_ER_INTERNAL, 0);
            return nullptr;
        }
    }
    auto source = std::make_unique<PartSource>();
    source->owner = this;
    const std::string prologue = XlsxRowWriter(*sheet, _styles).prologue(tabSelected);
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (deflateInit2(&zs, Level, Z_DEFLATED, -MAX_WBITS, MemLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
        zip_error_set(zip_get_error(archive), ZIP_ER_MEMORY, 0);
        return nullptr;
    }
    const bool made
        = deflatePiece(zs, prologue.data(), prologue.size(), std::string(), false, source->head);
    deflateEnd(&zs);
    if (!made) {
        zip_error_set(zip_get_error(archive), ZIP_ER_ZLIB, 0);
        return nullptr;
    }
    source->rawSize = prologue.size();
    source->compressedSize = source->head.size();
    source->crc = crcOf(prologue.data(), prologue.size());
    for (const Block& block : job->blocks) {
        source->pieces.emplace_back(block.offset, block.length);
        source->crc = static_cast<uint32_t>(
            crc32_combine(source->crc, block.crc, static_cast<z_off_t>(block.rawSize)));
        source->rawSize += block.rawSize;
        source->compressedSize += static_cast<uint64_t>(block.length);
    }
    zip_source_t* zipSource = zip_source_function(archive, &PartSource::callback, source.get());
    if (zipSource)
        _sources.push_back(std::move(source));
    return zipSource;
}

} // namespace Workbook
