#include "BiffRecords.h"

#include <algorithm>
#include <cstring>

namespace Workbook {
namespace Biff {

bool readSubstream(const QByteArray& stream, int offset, std::vector<Record>* records)
{
    records->clear();
    // The offset comes from the file (a sheet's position): a damaged one may point anywhere.
    if (offset < 0 || offset >= stream.size())
        return false;
    int depth = 0;
    int at = offset;
    while (at + 4 <= stream.size()) {
        Record r;
        r.type = get16(stream, at);
        r.length = get16(stream, at + 2);
        r.offset = at;
        if (r.end() > stream.size())
            return false;
        records->push_back(r);
        at = r.end();
        if (r.type == Bof)
            ++depth;
        else if (r.type == Eof && --depth <= 0)
            return true;
    }
    return false;
}

void appendRecord(QByteArray& out, quint16 type, const QByteArray& data)
{
    out += le16(type);
    out += le16(static_cast<quint16>(data.size()));
    out += data;
}

namespace {

bool needsHighBytes(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() > 0xFF)
            return true;
    return false;
}

QByteArray characters(const QString& text, bool high)
{
    QByteArray out;
    if (high) {
        out.resize(text.size() * 2);
        for (int i = 0; i < text.size(); ++i)
            put16(out, 2 * i, text.at(i).unicode());
    } else {
        out.resize(text.size());
        for (int i = 0; i < text.size(); ++i)
            out[i] = static_cast<char>(text.at(i).unicode());
    }
    return out;
}

} // namespace

QByteArray unicodeString(const QString& text)
{
    const bool high = needsHighBytes(text);
    return le16(static_cast<quint16>(text.size())) + QByteArray(1, high ? '\x01' : '\x00')
        + characters(text, high);
}

QByteArray shortUnicodeString(const QString& text)
{
    const bool high = needsHighBytes(text);
    return QByteArray(1, static_cast<char>(text.size())) + QByteArray(1, high ? '\x01' : '\x00')
        + characters(text, high);
}

QString readUnicodeString(const QByteArray& data, int at, bool shortCount, int* used)
{
    int pos = at;
    if (pos + (shortCount ? 2 : 3) > data.size())
        return QString();
    const int count = shortCount ? static_cast<unsigned char>(data.at(pos)) : get16(data, pos);
    pos += shortCount ? 1 : 2;
    const quint8 flags = static_cast<quint8>(data.at(pos++));
    QString text;
    const bool high = flags & 0x01;
    int runs = 0;
    int ext = 0;
    if (flags & 0x08) {
        runs = get16(data, pos);
        pos += 2;
    }
    if (flags & 0x04) {
        ext = static_cast<int>(get32(data, pos));
        pos += 4;
    }
    for (int i = 0; i < count && pos < data.size(); ++i) {
        if (high) {
            text += QChar(get16(data, pos));
            pos += 2;
        } else {
            text += QChar(static_cast<ushort>(static_cast<unsigned char>(data.at(pos))));
            pos += 1;
        }
    }
    pos += 4 * runs + ext;
    if (used)
        *used = pos - at;
    return text;
}

namespace {

// Reads across the SST's record boundaries.
class BlockReader {
public:
    explicit BlockReader(const std::vector<QByteArray>& blocks)
        : _blocks(blocks)
    {
    }
    bool atEnd()
    {
        skipEmpty();
        return _block >= _blocks.size();
    }
    bool atBlockStart() const { return _pos == 0; }
    bool bytes(int n, QByteArray* out)
    {
        out->clear();
        while (n > 0) {
            skipEmpty();
            if (_block >= _blocks.size())
                return false;
            const int take = std::min(n, _blocks[_block].size() - _pos);
            out->append(_blocks[_block].constData() + _pos, take);
            _pos += take;
            n -= take;
        }
        return true;
    }
    bool chars(int count, bool high, QString* out)
    {
        out->clear();
        while (count > 0) {
            if (_block < _blocks.size() && _pos == _blocks[_block].size()) {
                // Characters go on in the next record, which starts with its own width flag.
                ++_block;
                _pos = 0;
                if (_block >= _blocks.size() || _blocks[_block].isEmpty())
                    return false;
                high = _blocks[_block].at(0) & 0x01;
                _pos = 1;
            }
            if (_block >= _blocks.size())
                return false;
            const QByteArray& b = _blocks[_block];
            const int width = high ? 2 : 1;
            const int n = std::min(count, (b.size() - _pos) / width);
            if (n == 0)
                return false;
            for (int i = 0; i < n; ++i)
                out->append(high
                        ? QChar(get16(b, _pos + 2 * i))
                        : QChar(static_cast<ushort>(static_cast<unsigned char>(b.at(_pos + i)))));
            _pos += n * width;
            count -= n;
        }
        return true;
    }

private:
    void skipEmpty()
    {
        while (_block < _blocks.size() && _pos >= _blocks[_block].size()) {
            ++_block;
            _pos = 0;
        }
    }
    const std::vector<QByteArray>& _blocks;
    size_t _block = 0;
    int _pos = 0;
};

// Writes SST data, starting CONTINUE records where a record would grow too long.
class SstWriter {
public:
    SstWriter(QByteArray& out)
        : _out(out)
    {
    }
    void begin(quint16 type)
    {
        flush();
        _type = type;
        _data.clear();
    }
    int room() const { return MaxRecordData - _data.size(); }
    // Stream position and offset in its record of the next byte written.
    int position() const { return _out.size() + 4 + _data.size(); }
    int recordOffset() const { return 4 + _data.size(); }
    void raw(const QByteArray& bytes)
    {
        int done = 0;
        while (done < bytes.size()) {
            if (room() == 0)
                begin(Continue);
            const int n = std::min(room(), bytes.size() - done);
            _data.append(bytes.constData() + done, n);
            done += n;
        }
    }
    void string(const SstString& s)
    {
        const bool high = needsHighBytes(s.text);
        const bool rich = s.runCount > 0;
        const int header = 3 + (rich ? 2 : 0) + (s.hasExt ? 4 : 0);
        // A header is never split, and at least one character follows it in the same record.
        if (room() < header + (s.text.isEmpty() ? 0 : (high ? 2 : 1)))
            begin(Continue);
        _starts.push_back({ position(), recordOffset() });
        QByteArray h = le16(static_cast<quint16>(s.text.size()));
        h += static_cast<char>((high ? 0x01 : 0) | (s.hasExt ? 0x04 : 0) | (rich ? 0x08 : 0));
        if (rich)
            h += le16(s.runCount);
        if (s.hasExt)
            h += le32(static_cast<quint32>(s.ext.size()));
        _data += h;
        const int width = high ? 2 : 1;
        int done = 0;
        while (done < s.text.size()) {
            if (room() < width) {
                begin(Continue);
                _data += static_cast<char>(high ? 0x01 : 0x00);
            }
            const int n = std::min(room() / width, s.text.size() - done);
            _data += characters(s.text.mid(done, n), high);
            done += n;
        }
        raw(s.runs);
        raw(s.ext);
    }
    void flush()
    {
        if (_type)
            appendRecord(_out, _type, _data);
        _type = 0;
        _data.clear();
    }
    struct Start {
        int position;
        int recordOffset;
    };
    std::vector<Start> _starts;

private:
    QByteArray& _out;
    quint16 _type = 0;
    QByteArray _data;
};

} // namespace

bool parseSst(
    const std::vector<QByteArray>& blocks, quint32* total, std::vector<SstString>* strings)
{
    strings->clear();
    BlockReader reader(blocks);
    QByteArray head;
    if (!reader.bytes(8, &head))
        return false;
    *total = get32(head, 0);
    const quint32 unique = get32(head, 4);
    for (quint32 i = 0; i < unique && !reader.atEnd(); ++i) {
        QByteArray h;
        if (!reader.bytes(3, &h))
            return false;
        SstString s;
        const int count = get16(h, 0);
        const quint8 flags = static_cast<quint8>(h.at(2));
        QByteArray extra;
        if (flags & 0x08) {
            if (!reader.bytes(2, &extra))
                return false;
            s.runCount = get16(extra, 0);
        }
        quint32 extSize = 0;
        if (flags & 0x04) {
            if (!reader.bytes(4, &extra))
                return false;
            extSize = get32(extra, 0);
            s.hasExt = true;
        }
        if (!reader.chars(count, flags & 0x01, &s.text))
            return false;
        if (!reader.bytes(4 * s.runCount, &s.runs)
            || !reader.bytes(static_cast<int>(extSize), &s.ext))
            return false;
        strings->push_back(s);
    }
    return true;
}

void writeSst(QByteArray& out, quint32 total, const std::vector<SstString>& strings)
{
    SstWriter writer(out);
    writer.begin(Sst);
    writer.raw(le32(total) + le32(static_cast<quint32>(strings.size())));
    for (const auto& s : strings)
        writer.string(s);
    writer.flush();

    const int unique = static_cast<int>(strings.size());
    const int perBucket = unique >= 1024 ? 1 + unique / 128 : 8;
    QByteArray ext = le16(static_cast<quint16>(perBucket));
    for (int i = 0; i < unique; i += perBucket) {
        ext += le32(static_cast<quint32>(writer._starts[static_cast<size_t>(i)].position));
        ext += le16(static_cast<quint16>(writer._starts[static_cast<size_t>(i)].recordOffset));
        ext += le16(0);
    }
    appendRecord(out, ExtSst, ext);
}

QByteArray bof(quint16 kind)
{
    QByteArray d(16, '\0');
    put16(d, 0, 0x0600);
    put16(d, 2, kind);
    put16(d, 4, 0x0DBB);
    put16(d, 6, 0x07CC);
    put32(d, 8, 0x000100C1);
    put32(d, 12, 0x00000406);
    return d;
}

QByteArray font()
{
    QByteArray d(14, '\0');
    put16(d, 0, 200); // 10 pt
    put16(d, 4, 0x7FFF); // automatic colour
    put16(d, 6, 400); // normal weight
    return d + shortUnicodeString(QStringLiteral("Arial"));
}

QByteArray xf(quint16 numberFormat, quint8 alignment, bool style)
{
    QByteArray d(20, '\0');
    put16(d, 2, numberFormat);
    put16(d, 4, style ? 0xFFF5 : 0x0001);
    d[6] = static_cast<char>(alignment | 0x20); // bottom aligned
    d[9] = static_cast<char>(style ? 0x00 : 0xFC); // the attributes this format sets itself
    put16(d, 18, 0x20C0); // pattern colours: automatic
    return d;
}

QByteArray window1(quint16 activeTab, quint16 firstTab)
{
    QByteArray d(18, '\0');
    put16(d, 4, 0x4000);
    put16(d, 6, 0x2000);
    put16(d, 8, 0x0038);
    put16(d, 10, activeTab);
    put16(d, 12, firstTab);
    put16(d, 14, 1);
    put16(d, 16, 0x0258);
    return d;
}

QByteArray newGlobals()
{
    QByteArray out;
    appendRecord(out, Bof, bof(0x0005));
    appendRecord(out, CodePage, le16(1200));
    appendRecord(out, Window1, window1(0, 0));
    appendRecord(out, DateMode, le16(0));
    for (int i = 0; i < 5; ++i)
        appendRecord(out, Font, font());
    for (int i = 0; i < 15; ++i)
        appendRecord(out, Xf, xf(0, 0, true));
    appendRecord(out, Xf, xf(0, 0, false));
    QByteArray style(4, '\0');
    put16(style, 0, 0x8000);
    style[3] = static_cast<char>(0xFF);
    appendRecord(out, Style, style);
    appendRecord(out, Eof, QByteArray());
    return out;
}

} // namespace Biff
} // namespace Workbook
