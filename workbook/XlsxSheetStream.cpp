#include "XlsxSheetStream.h"

#include "CellFormat.h"
#include "SheetData.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

namespace Workbook {

namespace {

// The producer works this many bytes ahead of the reader at most, in chunks of this size.
const size_t ChunkSize = 1 << 20;
const size_t ChunkCount = 4;
// No number cell is longer: "<c", a reference of 3 letters and 7 digits, a style of 10 digits,
// the value of at most 24 characters, and the tags around it.
const size_t MaxNumberCell = 96;

// Everything up to and after the cells. sheetViews and sheetFormatPr come before sheetData and
// pageMargins after it, as the worksheet schema orders them.
const char* const Prologue = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                             "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                             "2006/main\" xmlns:r=\"http://schemas.openxmlformats.org/"
                             "officeDocument/2006/relationships\">";
const char* const Epilogue = "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" "
                             "bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/></worksheet>";

bool isXmlChar(char16_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF);
}

void appendHex4(std::string& out, unsigned v)
{
    static const char* digits = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        out.push_back(digits[(v >> shift) & 0xF]);
}

// Text content of a <t>: XML escapes, and the _xHHHH_ escape for characters XML can't hold.
// A literal "_xHHHH_" gets its underscore escaped so readers don't decode it.
std::string escapeText(const QString& text)
{
    static const QRegularExpression escapeLike(QStringLiteral("^_x[0-9A-Fa-f]{4}_"));
    QString cleaned;
    cleaned.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch == QLatin1Char('_') && escapeLike.match(text.midRef(i, 7)).hasMatch()) {
            cleaned += QLatin1String("_x005F_");
            continue;
        }
        if (!isXmlChar(ch.unicode())) {
            std::string hex;
            appendHex4(hex, ch.unicode());
            cleaned += QLatin1String("_x") + QString::fromLatin1(hex.c_str()) + QLatin1Char('_');
            continue;
        }
        cleaned += ch;
    }
    const QByteArray utf8 = cleaned.toUtf8();
    std::string out;
    out.reserve(static_cast<size_t>(utf8.size()) + 16);
    for (const char c : utf8) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

char* appendUInt(char* p, unsigned v)
{
    return std::to_chars(p, p + 10, v).ptr;
}

char* appendLiteral(char* p, const char* text, size_t length)
{
    std::memcpy(p, text, length);
    return p + length;
}

template<size_t N>
char* appendLiteral(char* p, const char (&text)[N])
{
    return appendLiteral(p, text, N - 1);
}

uint64_t decimalDigits(uint64_t v)
{
    uint64_t n = 1;
    while (v >= 10) {
        v /= 10;
        ++n;
    }
    return n;
}

} // namespace

XlsxRowWriter::XlsxRowWriter(const SheetData& sheet, const XlsxCellStyles& styles)
    : _sheet(sheet)
    , _styles(styles)
{
    if (_styles.missing != 0)
        _missingCell = " s=\"" + std::to_string(_styles.missing) + '"';
    _missingCell += " t=\"inlineStr\"><is><t>NaN</t></is></c>";
}

std::string XlsxRowWriter::prologue(bool tabSelected) const
{
    const int rows = _sheet.usedRows();
    const int columns = _sheet.usedColumns();
    std::string prologue = Prologue;
    prologue += "<dimension ref=\"A1";
    if (rows > 1 || columns > 1) {
        prologue.push_back(':');
        XlCell::appendColumnName(std::max(columns - 1, 0), prologue);
        prologue += std::to_string(std::max(rows, 1));
    }
    prologue += "\"/><sheetViews><sheetView ";
    if (tabSelected)
        prologue += "tabSelected=\"1\" ";
    prologue += "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>"
                "<sheetData>";
    return prologue;
}

const char* XlsxRowWriter::epilogue()
{
    return Epilogue;
}

XlsxSheetStream::XlsxSheetStream(const SheetData& sheet, const XlsxCellStyles& styles,
    bool tabSelected, const std::atomic_bool* cancel)
    : _writer(sheet, styles)
    , _tabSelected(tabSelected)
    , _cancel(cancel)
    , _rows(sheet.usedRows())
    , _cursor(sheet)
{
    zip_error_init(&_error);
    // Every cell is bounded by its longest possible markup: reference "XFD1048576", a style
    // index, and a number of at most 24 characters or an escaped text. The escaped headers are
    // measured exactly, as they may be long.
    const uint64_t styleDigits = decimalDigits(static_cast<uint64_t>(
        std::max(std::max(styles.header, styles.date), std::max(styles.number, styles.missing))));
    const uint64_t cellBound = 40 + styleDigits + 24 + 30;
    uint64_t bound = 1024 + std::strlen(Prologue) + std::strlen(Epilogue);
    bound += static_cast<uint64_t>(_rows) * 32;
    for (int c = 0; c < sheet.columnCount(); ++c) {
        bound += cellBound + escapeText(sheet.header(c)).size() + 30;
        bound += cellBound * static_cast<uint64_t>(sheet.valueCount(c));
    }
    bound += cellBound * sheet.dates().size();
    _sizeBound = bound;
    rewind();
}

XlsxSheetStream::~XlsxSheetStream()
{
    stop();
    zip_error_fini(&_error);
}

void XlsxSheetStream::stop()
{
    if (_producer.joinable()) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            _stopping = true;
        }
        _changed.notify_all();
        _producer.join();
    }
    _started = false;
}

void XlsxSheetStream::start()
{
    stop();
    _nextRow = -1; // the cursor can stay: it seeks to any row
    std::lock_guard<std::mutex> lock(_mutex);
    _stopping = false;
    _produced = false;
    _failure.clear();
    while (!_ready.empty()) {
        _free.push_back(std::move(_ready.front().first));
        _ready.pop_front();
    }
    while (_free.size() < ChunkCount)
        _free.emplace_back();
    _started = true;
    try {
        _producer = std::thread(&XlsxSheetStream::produce, this);
        _inline = false;
    } catch (const std::system_error&) {
        _inline = true; // no thread to be had: read() makes each chunk when it needs it
    }
}

void XlsxSheetStream::rewind()
{
    stop();
    _chunkLength = 0;
    _chunkPos = 0;
    std::lock_guard<std::mutex> lock(_mutex);
    _failure.clear();
}

QString XlsxSheetStream::failure() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _failure;
}

void XlsxSheetStream::produce()
{
    while (produceChunk(true)) { }
}

bool XlsxSheetStream::produceChunk(bool wait)
{
    std::string chunk;
    {
        std::unique_lock<std::mutex> lock(_mutex);
        if (wait)
            _changed.wait(lock, [this] { return _stopping || !_free.empty(); });
        if (_stopping)
            return false;
        if (!_free.empty()) {
            chunk = std::move(_free.back());
            _free.pop_back();
        }
    }
    size_t used = 0;
    QString failure;
    const bool more = fill(chunk, used, failure);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (!failure.isEmpty()) {
            _failure = failure;
            _free.push_back(std::move(chunk));
        } else {
            _ready.emplace_back(std::move(chunk), used);
        }
        _produced = !more;
    }
    _changed.notify_all();
    return more;
}

char* XlsxRowWriter::reserve(std::string& out, size_t used, size_t bytes)
{
    if (out.size() < used + bytes)
        out.resize(std::max(used + bytes, std::max(out.size() * 2, ChunkSize + 4096)));
    return &out[used];
}

size_t XlsxRowWriter::writeText(
    std::string& out, size_t used, int row, int column, int style, const QString& text)
{
    std::string cell = "<c r=\"";
    XlCell::appendColumnName(column, cell);
    cell += std::to_string(row + 1);
    cell.push_back('"');
    if (style != 0) {
        cell += " s=\"";
        cell += std::to_string(style);
        cell.push_back('"');
    }
    cell += " t=\"inlineStr\"><is><t";
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()))
        cell += " xml:space=\"preserve\"";
    cell.push_back('>');
    cell += escapeText(text);
    cell += "</t></is></c>";
    std::memcpy(reserve(out, used, cell.size()), cell.data(), cell.size());
    return used + cell.size();
}

size_t XlsxRowWriter::writeRow(
    std::string& out, size_t used, int row, const SheetData::RowCursor& cursor)
{
    char* p = reserve(out, used, 32);
    p = appendLiteral(p, "<row r=\"");
    p = appendUInt(p, static_cast<unsigned>(row + 1));
    p = appendLiteral(p, "\">");
    used = static_cast<size_t>(p - out.data());
    if (row == 0) {
        for (int c = 0; c < _sheet.columnCount(); ++c)
            used = writeText(out, used, 0, c + 1, _styles.header, _sheet.header(c));
    } else {
        // Cells in the order of their columns; any cell may be missing, the date first of all.
        // The row's number as text, for the cells' references.
        char rowText[12];
        const size_t rowLength
            = static_cast<size_t>(appendUInt(rowText, static_cast<unsigned>(row + 1)) - rowText);
        auto numberCell = [&](int column, int style, double value) {
            char* q = &out[used];
            q = appendLiteral(q, "<c r=\"");
            q = XlCell::appendColumnName(column, q);
            q = appendLiteral(q, rowText, rowLength);
            *q++ = '"';
            if (!std::isfinite(value)) {
                q = appendLiteral(q, _missingCell.data(), _missingCell.size());
                used = static_cast<size_t>(q - out.data());
                return;
            }
            if (style != 0) {
                q = appendLiteral(q, " s=\"");
                q = appendUInt(q, static_cast<unsigned>(style));
                *q++ = '"';
            }
            q = appendLiteral(q, "><v>");
            q += XlCell::formatNumber(value, q);
            q = appendLiteral(q, "</v></c>");
            used = static_cast<size_t>(q - out.data());
        };
        const size_t i = static_cast<size_t>(row - 1);
        if (i < _sheet.dates().size()) {
            const QDate& date = _sheet.dates()[i];
            const int serial = XlCell::serialOf(date);
            reserve(out, used, MaxNumberCell + _missingCell.size());
            if (serial > 0)
                numberCell(0, _styles.date, serial);
            else if (date.isValid())
                used = writeText(out, used, row, 0, _styles.date, XlCell::dateText(date));
        }
        const int columns = _sheet.columnCount();
        const size_t cellBound = std::max(MaxNumberCell, MaxNumberCell / 2 + _missingCell.size());
        reserve(out, used, cellBound * static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c)
            if (cursor.has(c))
                numberCell(c + 1, _styles.number, cursor.value(c));
    }
    char* end = appendLiteral(reserve(out, used, 8), "</row>");
    return static_cast<size_t>(end - out.data());
}

bool XlsxSheetStream::fill(std::string& out, size_t& used, QString& failure)
{
    used = 0;
    if (_nextRow < 0) {
        const std::string prologue = _writer.prologue(_tabSelected);
        std::memcpy(
            XlsxRowWriter::reserve(out, used, prologue.size()), prologue.data(), prologue.size());
        used = prologue.size();
        _nextRow = 0;
    }
    while (_nextRow < _rows && used < ChunkSize) {
        if (_cancel && _cancel->load()) {
            failure = QStringLiteral("the export was cancelled");
            return false;
        }
        if (_nextRow > 0 && !_cursor.seek(_nextRow - 1, &failure)) {
            if (failure.isEmpty())
                failure = QStringLiteral("the sheet's data can't be read back");
            return false;
        }
        used = _writer.writeRow(out, used, _nextRow++, _cursor);
    }
    if (_nextRow == _rows && used < ChunkSize) {
        const size_t length = std::strlen(Epilogue);
        std::memcpy(XlsxRowWriter::reserve(out, used, length), Epilogue, length);
        used += length;
        ++_nextRow;
    }
    return _nextRow <= _rows;
}

int64_t XlsxSheetStream::read(char* out, uint64_t len)
{
    if (!_started)
        start();
    uint64_t done = 0;
    while (done < len) {
        if (_chunkPos == _chunkLength) {
            std::unique_lock<std::mutex> lock(_mutex);
            if (_chunkLength > 0 || !_chunk.empty()) {
                _free.push_back(std::move(_chunk));
                _chunk = std::string();
                _chunkLength = 0;
                _chunkPos = 0;
                _changed.notify_all();
            }
            if (_inline && _ready.empty() && !_produced) {
                lock.unlock();
                produceChunk(false);
                lock.lock();
            }
            _changed.wait(lock, [this] { return !_ready.empty() || _produced; });
            if (_ready.empty()) {
                if (!_failure.isEmpty())
                    return -1;
                break;
            }
            _chunk = std::move(_ready.front().first);
            _chunkLength = _ready.front().second;
            _chunkPos = 0;
            _ready.pop_front();
            continue;
        }
        const uint64_t n = std::min<uint64_t>(len - done, _chunkLength - _chunkPos);
        std::memcpy(out + done, _chunk.data() + _chunkPos, n);
        _chunkPos += n;
        done += n;
    }
    return static_cast<int64_t>(done);
}

std::string XlsxSheetStream::toString()
{
    rewind();
    std::string all;
    char buf[65536];
    int64_t n;
    while ((n = read(buf, sizeof buf)) > 0)
        all.append(buf, static_cast<size_t>(n));
    return all;
}

zip_source_t* XlsxSheetStream::makeSource(zip_t* archive)
{
    return zip_source_function(archive, &XlsxSheetStream::callback, this);
}

zip_int64_t XlsxSheetStream::callback(
    void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    auto* self = static_cast<XlsxSheetStream*>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        self->rewind();
        return 0;
    case ZIP_SOURCE_READ: {
        const int64_t n = self->read(static_cast<char*>(data), len);
        if (n < 0) {
            zip_error_set(&self->_error, ZIP_ER_CANCELLED, 0);
            return -1;
        }
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        self->stop();
        self->_chunk = std::string();
        self->_chunkLength = 0;
        self->_chunkPos = 0;
        {
            std::lock_guard<std::mutex> lock(self->_mutex);
            self->_free.clear();
            self->_ready.clear();
        }
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = self->_sizeBound;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&self->_error, data, len);
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
        zip_error_set(&self->_error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace Workbook
