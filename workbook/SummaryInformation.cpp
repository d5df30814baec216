#include "SummaryInformation.h"

#include "LittleEndian.h"
#include "PropertySet.h"

#include <QTextCodec>

#include <algorithm>

namespace Workbook {
namespace SummaryInformation {

const QString StreamName = QStringLiteral("\005DocumentSummaryInformation");

namespace {

using namespace PropertySet;

// FMTID_DocSummaryInformation and FMTID_UserDefinedProperties, as stored (GUIDs with their first
// three fields little-endian).
const unsigned char DocSummaryFmtId[16] = { 0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93,
    0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE };
const unsigned char UserDefinedFmtId[16] = { 0x05, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93,
    0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE };

QByteArray minimalDocSummarySet()
{
    QByteArray set;
    append32(set, 24);
    append32(set, 1);
    append32(set, CodePageId);
    append32(set, 16);
    append16(set, VtI2);
    append16(set, 0);
    append16(set, CodePageUnicode);
    append16(set, 0);
    return set;
}

struct Stream {
    quint16 version = 0;
    quint32 system = 0x00020006;
    QByteArray clsid = QByteArray(16, '\0');
    QByteArray firstFmtId = QByteArray(reinterpret_cast<const char*>(DocSummaryFmtId), 16);
    QByteArray first = minimalDocSummarySet();
    QByteArray userDefined; // empty when absent
};

bool parseStream(const QByteArray& d, Stream* out, QString* error)
{
    auto fail = [&]() {
        *error = QStringLiteral("the document summary information is damaged");
        return false;
    };
    if (d.size() < 28 || get16(d, 0) != 0xFFFE)
        return fail();
    out->version = get16(d, 2);
    out->system = get32(d, 4);
    out->clsid = d.mid(8, 16);
    const quint32 sets = get32(d, 24);
    if (sets < 1 || sets > 2 || d.size() < static_cast<int>(28 + 20 * sets))
        return fail();
    auto setAt = [&](int header, QByteArray* set) {
        const quint32 offset = get32(d, header + 16);
        if (offset + 8 > static_cast<quint32>(d.size()))
            return false;
        const quint32 size = get32(d, offset);
        if (size < 8 || size > static_cast<quint32>(d.size()) - offset)
            return false;
        *set = d.mid(static_cast<int>(offset), static_cast<int>(size));
        return true;
    };
    out->firstFmtId = d.mid(28, 16);
    if (!setAt(28, &out->first))
        return fail();
    if (sets == 2) {
        if (d.mid(48, 16) != QByteArray(reinterpret_cast<const char*>(UserDefinedFmtId), 16))
            return fail();
        if (!setAt(48, &out->userDefined))
            return fail();
    }
    return true;
}

QByteArray writeStream(const Stream& s)
{
    const bool two = !s.userDefined.isEmpty();
    QByteArray d;
    append16(d, 0xFFFE);
    append16(d, s.version);
    append32(d, s.system);
    d += s.clsid.leftJustified(16, '\0', true);
    append32(d, two ? 2 : 1);
    const quint32 headerSize = two ? 68 : 48;
    QByteArray first = s.first;
    pad4(first);
    d += s.firstFmtId;
    append32(d, headerSize);
    if (two) {
        d += QByteArray(reinterpret_cast<const char*>(UserDefinedFmtId), 16);
        append32(d, headerSize + static_cast<quint32>(first.size()));
    }
    d += first;
    if (two)
        d += s.userDefined;
    return d;
}

} // namespace

bool readUserDefined(const QByteArray& stream, DocProperties* properties, QString* error)
{
    properties->clear();
    Stream s;
    if (!parseStream(stream, &s, error))
        return false;
    if (s.userDefined.isEmpty())
        return true;
    UserSet set;
    if (!parseUserSet(s.userDefined, &set, error))
        return false;
    for (const auto& raw : set.properties)
        if (!raw.name.isEmpty())
            properties->push_back(decode(raw, set.codePage));
    return true;
}

bool update(const QByteArray& existing, const PropertyChanges& changes, QByteArray* result,
    bool* changed, QString* error)
{
    *changed = false;
    Stream s;
    if (!existing.isEmpty() && !parseStream(existing, &s, error))
        return false;
    UserSet set;
    if (!s.userDefined.isEmpty() && !parseUserSet(s.userDefined, &set, error))
        return false;

    std::vector<RawProperty> kept;
    quint32 maxId = 1;
    for (auto& p : set.properties) {
        if (p.id < 0x80000000u)
            maxId = std::max(maxId, p.id);
        if (!p.name.isEmpty() && changes.dropsAny(p.name)) {
            *changed = true;
            continue;
        }
        kept.push_back(p);
    }
    if (!*changed && changes.added.empty()) {
        *result = existing;
        return true;
    }
    *changed = true;

    // Names are stored in the set's code page: one that can't spell a new name is given up for
    // UTF-16, with the kept strings re-encoded, when they can all be found.
    quint16 codePage = set.codePage;
    if (codePage != CodePageUnicode) {
        QTextCodec* codec = codecFor(codePage);
        bool spellable = true;
        for (const auto& p : changes.added)
            spellable = spellable && codec->canEncode(p.name);
        if (!spellable) {
            std::vector<RawProperty> recoded = kept;
            bool movable = true;
            for (auto& p : recoded)
                movable = movable && recodeValue(p.value, codec, &p.value);
            if (movable) {
                kept = recoded;
                codePage = CodePageUnicode;
            }
        }
    }
    for (const auto& p : changes.added) {
        RawProperty raw;
        raw.id = ++maxId;
        raw.name = p.name;
        raw.value = encodeValue(p);
        kept.push_back(raw);
    }
    s.userDefined = writeUserSet(codePage, kept);
    *result = writeStream(s);
    return true;
}

} // namespace SummaryInformation
} // namespace Workbook
