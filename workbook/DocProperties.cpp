#include "DocProperties.h"

#include "LittleEndian.h"
#include "XmlSplice.h"

#include <QHash>
#include <QRegularExpression>
#include <QTextCodec>
#include <QXmlStreamReader>
#include <QtEndian>

#include <algorithm>
#include <limits>

namespace Workbook {

DocProperty DocProperty::textProperty(const QString& name, const QString& value)
{
    DocProperty p;
    p.name = name;
    p.kind = Text;
    p.text = value;
    return p;
}

DocProperty DocProperty::integerProperty(const QString& name, qint64 value)
{
    DocProperty p;
    p.name = name;
    p.kind = Integer;
    p.integer = value;
    return p;
}

DocProperty DocProperty::timeProperty(const QString& name, const QDateTime& value)
{
    DocProperty p;
    p.name = name;
    p.kind = Time;
    p.time = value.toUTC();
    return p;
}

QString DocProperty::valueText() const
{
    switch (kind) {
    case Integer:
        return QString::number(integer);
    case Time:
        return time.toUTC().toString(Qt::ISODate);
    case Text:
    case Other:
        break;
    }
    return text;
}

bool PropertyChanges::dropsAny(const QString& name) const
{
    if (drops && drops(name))
        return true;
    for (const auto& p : added)
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

namespace {

QString xmlText(const QString& text)
{
    return XmlPart::escape(XmlPart::legalText(text));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// docProps/custom.xml

namespace CustomXml {

const QString ContentType
    = QStringLiteral("application/vnd.openxmlformats-officedocument.custom-properties+xml");
const QString RelationshipType = QStringLiteral(
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties");
const QString DefaultPart = QStringLiteral("docProps/custom.xml");

namespace {

const QString PropertiesNs
    = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/custom-properties");
const QString VariantNs
    = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes");
// The format id that every custom property of a package carries.
const QString CustomFmtId = QStringLiteral("{D5CDD505-2E9C-101B-9397-08002B2CF9AE}");

QString valueElement(const QString& vt, const DocProperty& p)
{
    QString tag;
    QString value;
    switch (p.kind) {
    case DocProperty::Integer:
        tag = p.integer >= std::numeric_limits<qint32>::min()
                && p.integer <= std::numeric_limits<qint32>::max()
            ? QStringLiteral("i4")
            : QStringLiteral("i8");
        value = QString::number(p.integer);
        break;
    case DocProperty::Time:
        tag = QStringLiteral("filetime");
        value = p.time.toUTC().toString(Qt::ISODate);
        break;
    case DocProperty::Text:
    case DocProperty::Other:
        tag = QStringLiteral("lpwstr");
        value = xmlText(p.text);
        break;
    }
    const QString qualified = vt + QLatin1Char(':') + tag;
    return QStringLiteral("<%1>%2</%1>").arg(qualified, value);
}

QString propertyElement(const QString& element, const QString& vt, const DocProperty& p, int pid)
{
    return QStringLiteral("<%1 fmtid=\"%2\" pid=\"%3\" name=\"%4\">%5</%1>")
        .arg(element, CustomFmtId, QString::number(pid), xmlText(p.name), valueElement(vt, p));
}

} // namespace

bool read(const QByteArray& part, DocProperties* properties, QString* error)
{
    properties->clear();
    QXmlStreamReader xml(part);
    DocProperty* current = nullptr;
    int depth = 0;
    int propertyDepth = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (xml.name() == QLatin1String("property") && propertyDepth < 0) {
                properties->emplace_back();
                current = &properties->back();
                current->name = xml.attributes().value(QStringLiteral("name")).toString();
                current->kind = DocProperty::Other;
                propertyDepth = depth;
            } else if (current && depth == propertyDepth + 1) {
                const QString type = xml.name().toString();
                const QString value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                --depth; // readElementText consumed the end element
                if (type == QLatin1String("lpwstr") || type == QLatin1String("lpstr")
                    || type == QLatin1String("bstr")) {
                    current->kind = DocProperty::Text;
                    current->text = value;
                } else if (QRegularExpression(QStringLiteral("^u?i[1248]$|^u?int$"))
                               .match(type)
                               .hasMatch()) {
                    bool ok = false;
                    current->integer = value.trimmed().toLongLong(&ok);
                    current->kind = ok ? DocProperty::Integer : DocProperty::Other;
                    current->text = value;
                } else if (type == QLatin1String("filetime") || type == QLatin1String("date")) {
                    current->time = QDateTime::fromString(value.trimmed(), Qt::ISODate).toUTC();
                    current->kind
                        = current->time.isValid() ? DocProperty::Time : DocProperty::Other;
                    current->text = value;
                } else {
                    current->kind = DocProperty::Other;
                    current->text = value;
                }
            }
        } else if (xml.isEndElement()) {
            if (depth == propertyDepth) {
                current = nullptr;
                propertyDepth = -1;
            }
            --depth;
        }
    }
    if (xml.hasError()) {
        *error = QStringLiteral("the custom properties are malformed: %1").arg(xml.errorString());
        return false;
    }
    return true;
}

bool update(const QByteArray& existing, const PropertyChanges& changes, QByteArray* result,
    bool* changed, QString* error)
{
    *changed = false;
    if (existing.isEmpty()) {
        QString xml
            = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                             "<Properties xmlns=\"%1\" xmlns:vt=\"%2\">")
                  .arg(PropertiesNs, VariantNs);
        int pid = 2; // 0 and 1 are reserved
        for (const auto& p : changes.added)
            xml += propertyElement(QStringLiteral("property"), QStringLiteral("vt"), p, pid++);
        xml += QStringLiteral("</Properties>");
        *result = xml.toUtf8();
        *changed = true;
        return true;
    }

    XmlPart part;
    if (!part.parse(existing, error))
        return false;
    const XmlElement* root = part.first(QStringLiteral("Properties"));
    if (!root || root->depth != 0) {
        *error = QStringLiteral("the custom properties are malformed");
        return false;
    }
    int maxPid = 1;
    for (const auto* element : part.children(*root)) {
        if (element->name != QLatin1String("property"))
            continue;
        maxPid = std::max(maxPid, element->attribute(QStringLiteral("pid")).toInt());
        if (changes.dropsAny(element->attribute(QStringLiteral("name")))) {
            part.remove(*element);
            *changed = true;
        }
    }
    if (!changes.added.empty()) {
        // The variant types' prefix as the part declares it on its root; declared there when
        // it isn't.
        const QRegularExpression declaration(
            QStringLiteral("xmlns:([A-Za-z_][\\w.-]*)\\s*=\\s*[\"']%1[\"']")
                .arg(QRegularExpression::escape(VariantNs)));
        const auto match
            = declaration.match(part.text().midRef(root->start, root->startTagEnd - root->start));
        QString vt = QStringLiteral("vt");
        if (match.hasMatch()) {
            vt = match.captured(1);
        } else {
            const QString taken = part.text().mid(root->start, root->startTagEnd - root->start);
            while (taken.contains(QStringLiteral("xmlns:%1=").arg(vt)))
                vt += QLatin1Char('x');
            part.setAttribute(*root, QStringLiteral("xmlns:") + vt, VariantNs);
        }
        const QString prefix = root->prefix();
        const QString element
            = prefix.isEmpty() ? QStringLiteral("property") : prefix + QStringLiteral(":property");
        QString added;
        int pid = maxPid;
        for (const auto& p : changes.added)
            added += propertyElement(element, vt, p, ++pid);
        part.appendChild(*root, added);
        *changed = true;
    }
    *result = *changed ? part.result() : existing;
    return true;
}

} // namespace CustomXml

// ---------------------------------------------------------------------------------------------
// DocumentSummaryInformation

namespace SummaryInformation {

const QString StreamName = QStringLiteral("\005DocumentSummaryInformation");

namespace {

// FMTID_DocSummaryInformation and FMTID_UserDefinedProperties, as stored (GUIDs with their first
// three fields little-endian).
const unsigned char DocSummaryFmtId[16] = { 0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93,
    0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE };
const unsigned char UserDefinedFmtId[16] = { 0x05, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93,
    0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE };

const quint32 DictionaryId = 0;
const quint32 CodePageId = 1;
const quint16 CodePageUnicode = 1200;

enum VarType : quint16 {
    VtI2 = 0x0002,
    VtI4 = 0x0003,
    VtR4 = 0x0004,
    VtR8 = 0x0005,
    VtBool = 0x000B,
    VtI1 = 0x0010,
    VtUi1 = 0x0011,
    VtUi2 = 0x0012,
    VtUi4 = 0x0013,
    VtI8 = 0x0014,
    VtUi8 = 0x0015,
    VtInt = 0x0016,
    VtUint = 0x0017,
    VtLpstr = 0x001E,
    VtLpwstr = 0x001F,
    VtFiletime = 0x0040,
    VtVector = 0x1000,
    VtVariant = 0x000C,
};

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
const qint64 FileTimeEpochOffset = Q_INT64_C(116444736000000000);

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

// One property of a set: its id, its name (from the dictionary) and its value's bytes (type,
// padding and value) as stored.
struct RawProperty {
    quint32 id = 0;
    QString name;
    QByteArray value;
};

struct UserSet {
    quint16 codePage = CodePageUnicode;
    bool hasCodePage = false;
    std::vector<RawProperty> properties; // without the dictionary and code page
};

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

// The value of a stored property, for reading.
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
            integer(static_cast<qint64>(get64(v, 4)));
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

// The value re-encoded for a CP_WINUNICODE set: code page strings become UTF-16. False for a
// value whose strings can't be found (a vector of variants), which then can't be moved.
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
