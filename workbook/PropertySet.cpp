#include "PropertySet.h"

#include "LittleEndian.h"

#include <QHash>
#include <QTextCodec>
#include <QtEndian>

#include <algorithm>
#include <limits>

namespace Workbook {
namespace PropertySet {

namespace {

QByteArray unicodeBytes(const QString& text)
{
    QByteArray out;
    for (const QChar ch : text)
        append16(out, ch.unicode());
    append16(out, 0);
    return out;
}

QString fromUnicodeBytes(const QByteArray& d, qint64 at, qint64 chars)
{
    QString s;
    for (qint64 i = 0; i < chars; ++i) {
        const quint16 c = get16(d, at + 2 * i);
        if (c == 0)
            break;
        s.append(QChar(c));
    }
    return s;
}

// A CodePageString of the old code page as one of CP_WINUNICODE (UTF-16, padded); false when
// the bytes don't hold one.
bool recodeString(const QByteArray& v, qint64& at, QTextCodec* codec, QByteArray& out)
{
    if (at + 4 > v.size())
        return false;
    const qint64 bytes = get32(v, at);
    if (bytes > v.size() - at - 4)
        return false;
    QString text = codec->toUnicode(v.constData() + at + 4, static_cast<int>(bytes));
    const int nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    const QByteArray chars = unicodeBytes(text);
    append32(out, static_cast<quint32>(chars.size()));
    out += chars;
    pad4(out);
    at += 4 + bytes;
    return true;
}

} // namespace

void pad4(QByteArray& d)
{
    while (d.size() % 4)
        d.append('\0');
}

QTextCodec* codecFor(quint16 codePage)
{
    QTextCodec* codec = nullptr;
    if (codePage == 65001)
        codec = QTextCodec::codecForName("UTF-8");
    else if (codePage == 932)
        codec = QTextCodec::codecForName("Shift_JIS");
    else if (codePage == 936)
        codec = QTextCodec::codecForName("GBK");
    else if (codePage == 950)
        codec = QTextCodec::codecForName("Big5");
    else if (codePage == 10000)
        codec = QTextCodec::codecForName("Apple Roman");
    if (!codec)
        codec = QTextCodec::codecForName(QByteArray("windows-") + QByteArray::number(codePage));
    if (!codec)
        codec = QTextCodec::codecForName(QByteArray("CP") + QByteArray::number(codePage));
    if (!codec)
        codec = QTextCodec::codecForName("windows-1252");
    return codec;
}

bool parseUserSet(const QByteArray& set, UserSet* out, QString* error)
{
    auto fail = [&]() {
        *error = QStringLiteral("the user-defined document properties are damaged");
        return false;
    };
    if (set.size() < 8)
        return fail();
    const quint32 count = get32(set, 4);
    if (count > static_cast<quint32>((set.size() - 8) / 8))
        return fail();
    std::vector<std::pair<quint32, quint32>> entries; // id, offset
    for (quint32 i = 0; i < count; ++i) {
        const quint32 id = get32(set, 8 + 8 * i);
        const quint32 offset = get32(set, 12 + 8 * i);
        if (offset < 8 + 8 * count || offset + 4 > static_cast<quint32>(set.size()))
            return fail();
        entries.emplace_back(id, offset);
    }
    std::vector<quint32> offsets;
    for (const auto& e : entries)
        offsets.push_back(e.second);
    std::sort(offsets.begin(), offsets.end());
    auto endOf = [&](quint32 offset) {
        const auto next = std::upper_bound(offsets.begin(), offsets.end(), offset);
        return next == offsets.end() ? static_cast<quint32>(set.size()) : *next;
    };

    for (const auto& e : entries)
        if (e.first == CodePageId && get16(set, e.second) == VtI2) {
            out->codePage = get16(set, e.second + 4);
            out->hasCodePage = true;
        }
    const bool unicode = out->codePage == CodePageUnicode;
    QTextCodec* codec = unicode ? nullptr : codecFor(out->codePage);

    QHash<quint32, QString> names;
    for (const auto& e : entries) {
        if (e.first != DictionaryId)
            continue;
        const qint64 end = endOf(e.second);
        qint64 at = e.second;
        const quint32 n = get32(set, at);
        at += 4;
        for (quint32 k = 0; k < n; ++k) {
            if (at + 8 > end)
                return fail();
            const quint32 id = get32(set, at);
            const quint32 length = get32(set, at + 4);
            at += 8;
            const qint64 bytes = unicode ? qint64(length) * 2 : qint64(length);
            if (bytes > end - at)
                return fail();
            names.insert(id,
                unicode ? fromUnicodeBytes(set, at, length)
                        : codec->toUnicode(set.constData() + at,
                            static_cast<int>(std::max<qint64>(bytes - 1, 0))));
            at += bytes;
            if (unicode)
                at += (4 - bytes % 4) % 4;
        }
    }
    for (const auto& e : entries) {
        if (e.first == DictionaryId || e.first == CodePageId)
            continue;
        RawProperty p;
        p.id = e.first;
        p.name = names.value(e.first);
        p.value = set.mid(e.second, static_cast<int>(endOf(e.second) - e.second));
        out->properties.push_back(p);
    }
    return true;
}

DocProperty decode(const RawProperty& raw, quint16 codePage)
{
    DocProperty p;
    p.name = raw.name;
    p.kind = DocProperty::Other;
    const QByteArray& v = raw.value;
    if (v.size() < 4)
        return p;
    const quint16 type = get16(v, 0);
    const qint64 size = v.size();
    auto integer = [&](qint64 value) {
        p.kind = DocProperty::Integer;
        p.integer = value;
    };
    switch (type) {
    case VtI2:
        if (size >= 6)
            integer(static_cast<qint16>(get16(v, 4)));
        break;
    case VtUi2:
        if (size >= 6)
            integer(get16(v, 4));
        break;
    case VtI1:
        if (size >= 5)
            integer(static_cast<qint8>(v.at(4)));
        break;
    case VtUi1:
        if (size >= 5)
            integer(static_cast<quint8>(v.at(4)));
        break;
    case VtI4:
    case VtInt:
        if (size >= 8)
            integer(static_cast<qint32>(get32(v, 4)));
        break;
    case VtUi4:
    case VtUint:
        if (size >= 8)
            integer(get32(v, 4));
        break;
    case VtI8:
    case VtUi8:
        if (size >= 12)
            integer(qFromLittleEndian<qint64>(v.constData() + 4));
        break;
    case VtR8:
        if (size >= 12) {
            p.text = QString::number(qFromLittleEndian<double>(v.constData() + 4), 'g', 17);
        }
        break;
    case VtBool:
        if (size >= 6)
            p.text = get16(v, 4) ? QStringLiteral("true") : QStringLiteral("false");
        break;
    case VtLpstr:
        if (size >= 8) {
            const qint64 bytes = std::min<qint64>(get32(v, 4), size - 8);
            p.kind = DocProperty::Text;
            if (codePage == CodePageUnicode)
                p.text = fromUnicodeBytes(v, 8, bytes / 2);
            else
                p.text = codecFor(codePage)->toUnicode(
                    v.constData() + 8, static_cast<int>(std::max<qint64>(bytes - 1, 0)));
            const int nul = p.text.indexOf(QChar(0));
            if (nul >= 0)
                p.text.truncate(nul);
        }
        break;
    case VtLpwstr:
        if (size >= 8) {
            p.kind = DocProperty::Text;
            p.text = fromUnicodeBytes(v, 8, std::min<qint64>(get32(v, 4), (size - 8) / 2));
        }
        break;
    case VtFiletime:
        if (size >= 12) {
            const qint64 ticks = static_cast<qint64>(get64(v, 4));
            p.kind = DocProperty::Time;
            p.time = QDateTime::fromMSecsSinceEpoch((ticks - FileTimeEpochOffset) / 10000, Qt::UTC);
        }
        break;
    default:
        break;
    }
    return p;
}

QByteArray encodeValue(const DocProperty& p)
{
    QByteArray v;
    switch (p.kind) {
    case DocProperty::Integer:
        if (p.integer >= std::numeric_limits<qint32>::min()
            && p.integer <= std::numeric_limits<qint32>::max()) {
            append16(v, VtI4);
            append16(v, 0);
            append32(v, static_cast<quint32>(static_cast<qint32>(p.integer)));
        } else {
            append16(v, VtI8);
            append16(v, 0);
            append64(v, static_cast<quint64>(p.integer));
        }
        break;
    case DocProperty::Time:
        append16(v, VtFiletime);
        append16(v, 0);
        append64(v, static_cast<quint64>(p.time.toMSecsSinceEpoch() * 10000 + FileTimeEpochOffset));
        break;
    case DocProperty::Text:
    case DocProperty::Other: {
        // UTF-16 whatever the set's code page, so that any text survives.
        append16(v, VtLpwstr);
        append16(v, 0);
        append32(v, static_cast<quint32>(p.text.size() + 1));
        v += unicodeBytes(p.text);
        pad4(v);
        break;
    }
    }
    return v;
}

bool recodeValue(const QByteArray& v, QTextCodec* codec, QByteArray* out)
{
    if (v.size() < 4)
        return false;
    const quint16 type = get16(v, 0);
    if (type == VtLpstr) {
        QByteArray r = v.left(4);
        qint64 at = 4;
        if (!recodeString(v, at, codec, r))
            return false;
        *out = r;
        return true;
    }
    if (type == (VtVector | VtLpstr)) {
        if (v.size() < 8)
            return false;
        QByteArray r = v.left(8);
        const quint32 n = get32(v, 4);
        qint64 at = 8;
        for (quint32 i = 0; i < n; ++i) {
            if (!recodeString(v, at, codec, r))
                return false;
            at += (4 - at % 4) % 4;
        }
        *out = r;
        return true;
    }
    if ((type & 0x0FFF) == VtVariant)
        return false;
    *out = v;
    return true;
}

QByteArray writeUserSet(quint16 codePage, const std::vector<RawProperty>& properties)
{
    const bool unicode = codePage == CodePageUnicode;
    QTextCodec* codec = unicode ? nullptr : codecFor(codePage);
    QByteArray dictionary;
    append32(dictionary, 0);
    quint32 named = 0;
    for (const auto& p : properties) {
        if (p.name.isEmpty())
            continue;
        ++named;
        append32(dictionary, p.id);
        if (unicode) {
            append32(dictionary, static_cast<quint32>(p.name.size() + 1));
            dictionary += unicodeBytes(p.name);
            pad4(dictionary);
        } else {
            QByteArray bytes = codec->fromUnicode(p.name);
            bytes.append('\0');
            append32(dictionary, static_cast<quint32>(bytes.size()));
            dictionary += bytes;
        }
    }
    put32(dictionary, 0, named);
    pad4(dictionary);
    QByteArray codePageValue;
    append16(codePageValue, VtI2);
    append16(codePageValue, 0);
    append16(codePageValue, codePage);
    append16(codePageValue, 0);

    std::vector<std::pair<quint32, const QByteArray*>> values;
    values.emplace_back(DictionaryId, &dictionary);
    values.emplace_back(CodePageId, &codePageValue);
    for (const auto& p : properties)
        values.emplace_back(p.id, &p.value);
    const quint32 headerSize = 8 + 8 * static_cast<quint32>(values.size());
    QByteArray body;
    QByteArray index;
    for (const auto& [id, value] : values) {
        append32(index, id);
        append32(index, headerSize + static_cast<quint32>(body.size()));
        body += *value;
        pad4(body);
    }
    QByteArray set;
    append32(set, headerSize + static_cast<quint32>(body.size()));
    append32(set, static_cast<quint32>(values.size()));
    return set + index + body;
}

} // namespace PropertySet
} // namespace Workbook
