#include "XlsxSheetStream.h"

#include "CellFormat.h"
#include "SheetData.h"

#include <QRegularExpression>

#include <cmath>
#include <cstring>

namespace TARN {

namespace {

const size_t ChunkSize = 1 << 18;

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

XlsxSheetStream::XlsxSheetStream(const SheetData& sheet, const XlsxCellStyles& styles,
    bool tabSelected, const std::atomic_bool* cancel)
    : _sheet(sheet)
    , _styles(styles)
    , _tabSelected(tabSelected)
    , _cancel(cancel)
    , _rows(sheet.usedRows())
    , _columns(sheet.usedColumns())
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

void XlsxSheetStream::rewind()
{
    _chunk.clear();
    _chunkPos = 0;
    _nextRow = -1;
    _failure.clear();
}

void XlsxSheetStream::cellStart(int row, int column, int style)
{
    _chunk += "<c r=\"";
    XlCell::appendColumnName(column, _chunk);
    _chunk += std::to_string(row + 1);
    _chunk += "\" s=\"";
    _chunk += std::to_string(style);
    _chunk.push_back('"');
}

void XlsxSheetStream::writeText(int row, int column, int style, const QString& text)
{
    cellStart(row, column, style);
    _chunk += " t=\"inlineStr\"><is><t";
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()))
        _chunk += " xml:space=\"preserve\"";
    _chunk.push_back('>');
    _chunk += escapeText(text);
    _chunk += "</t></is></c>";
}

void XlsxSheetStream::writeNumber(int row, int column, int style, double value)
{
    if (!std::isfinite(value)) {
        writeText(row, column, _styles.missing, QStringLiteral("NaN"));
        return;
    }
    cellStart(row, column, style);
    _chunk += "><v>";
    char buf[32];
    _chunk.append(buf, XlCell::formatNumber(value, buf));
    _chunk += "</v></c>";
}

void XlsxSheetStream::writeRow(int row)
{
    _chunk += "<row r=\"";
    _chunk += std::to_string(row + 1);
    _chunk += "\">";
    if (row == 0) {
        for (int c = 0; c < _sheet.columnCount(); ++c)
            writeText(0, c + 1, _styles.header, _sheet.header(c));
    } else {
        const size_t i = static_cast<size_t>(row - 1);
        if (i < _sheet.dates().size()) {
            const QDate& date = _sheet.dates()[i];
            const int serial = XlCell::serialOf(date);
            if (serial > 0)
                writeNumber(row, 0, _styles.date, serial);
            else if (date.isValid())
                writeText(row, 0, _styles.date, XlCell::dateText(date));
        }
        for (int c = 0; c < _sheet.columnCount(); ++c)
            if (_cursor.has(c))
                writeNumber(row, c + 1, _styles.number, _cursor.value(c));
    }
    _chunk += "</row>";
}

void XlsxSheetStream::fillChunk()
{
    _chunk.clear();
    _chunkPos = 0;
    if (_nextRow < 0) {
        _chunk += Prologue;
        _chunk += "<dimension ref=\"A1";
        if (_rows > 1 || _columns > 1) {
            _chunk.push_back(':');
            XlCell::appendColumnName(std::max(_columns - 1, 0), _chunk);
            _chunk += std::to_string(std::max(_rows, 1));
        }
        _chunk += "\"/><sheetViews><sheetView ";
        if (_tabSelected)
            _chunk += "tabSelected=\"1\" ";
        _chunk += "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>"
                  "<sheetData>";
        _nextRow = 0;
    }
    while (_nextRow < _rows && _chunk.size() < ChunkSize) {
        if (_cancel && _cancel->load()) {
            _failure = QStringLiteral("the export was cancelled");
            return;
        }
        if (_nextRow > 0 && !_cursor.seek(_nextRow - 1, &_failure)) {
            if (_failure.isEmpty())
                _failure = QStringLiteral("the sheet's data can't be read back");
            return;
        }
        writeRow(_nextRow++);
    }
    if (_nextRow == _rows && _chunk.size() < ChunkSize) {
        _chunk += Epilogue;
        ++_nextRow;
    }
}

int64_t XlsxSheetStream::read(char* out, uint64_t len)
{
    uint64_t done = 0;
    while (done < len) {
        if (_chunkPos == _chunk.size()) {
            if (_nextRow > _rows)
                break;
            fillChunk();
            if (!_failure.isEmpty())
                return -1;
        }
        const uint64_t n = std::min<uint64_t>(len - done, _chunk.size() - _chunkPos);
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
        self->_chunk.clear();
        self->_chunk.shrink_to_fit();
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

} // namespace TARN
