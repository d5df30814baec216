#include "XmlSplice.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

namespace Workbook {

QString XmlElement::prefix() const
{
    const int colon = qualifiedName.indexOf(QLatin1Char(':'));
    return colon < 0 ? QString() : qualifiedName.left(colon);
}

bool XmlPart::parse(const QByteArray& data, QString* error)
{
    _elements.clear();
    _edits.clear();
    QByteArray bytes = data;
    _bom = bytes.startsWith("\xEF\xBB\xBF");
    if (_bom)
        bytes.remove(0, 3);
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        *error = QStringLiteral("the part is not encoded as UTF-8");
        return false;
    }
    _text = QString::fromUtf8(bytes);

    // The reader's offset after a start or end tag is exact (after its '>'), while after text it
    // may include look-ahead; so each tag is found from its end, back to its own '<', which is
    // the nearest one as a tag holds no other.
    QXmlStreamReader reader(_text);
    std::vector<size_t> open;
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        const int offset = static_cast<int>(reader.characterOffset());
        if (token == QXmlStreamReader::StartElement) {
            XmlElement element;
            element.qualifiedName = reader.qualifiedName().toString();
            element.name = reader.name().toString();
            element.namespaceUri = reader.namespaceUri().toString();
            element.attributes = reader.attributes();
            element.depth = static_cast<int>(open.size());
            element.startTagEnd = offset;
            element.start = std::max(_text.lastIndexOf(QLatin1Char('<'), offset - 1), 0);
            element.empty
                = _text.midRef(element.start, offset - element.start).endsWith(QLatin1String("/>"));
            open.push_back(_elements.size());
            _elements.push_back(element);
        } else if (token == QXmlStreamReader::EndElement) {
            XmlElement& element = _elements[open.back()];
            open.pop_back();
            element.end = offset;
            element.endTagStart = element.empty
                ? offset
                : std::max(_text.lastIndexOf(QLatin1String("</"), offset - 1), element.startTagEnd);
        }
    }
    if (reader.hasError()) {
        *error = reader.errorString();
        return false;
    }
    return true;
}

std::vector<const XmlElement*> XmlPart::find(const QString& name) const
{
    std::vector<const XmlElement*> found;
    for (const auto& element : _elements)
        if (element.name == name)
            found.push_back(&element);
    return found;
}

const XmlElement* XmlPart::first(const QString& name) const
{
    for (const auto& element : _elements)
        if (element.name == name)
            return &element;
    return nullptr;
}

std::vector<const XmlElement*> XmlPart::children(const XmlElement& parent) const
{
    std::vector<const XmlElement*> found;
    for (const auto& element : _elements)
        if (element.depth == parent.depth + 1 && element.start >= parent.startTagEnd
            && element.end <= parent.end)
            found.push_back(&element);
    return found;
}

QString XmlPart::innerText(const XmlElement& element) const
{
    QString raw = _text.mid(element.startTagEnd, element.endTagStart - element.startTagEnd);
    if (raw.startsWith(QLatin1String("<![CDATA[")) && raw.endsWith(QLatin1String("]]>")))
        return raw.mid(9, raw.size() - 12);
    // The only entities these parts can hold: the predefined ones and character references.
    static const QRegularExpression entity(
        QStringLiteral("&(#x[0-9A-Fa-f]+|#[0-9]+|amp|lt|gt|quot|apos);"));
    QString out;
    int pos = 0;
    auto it = entity.globalMatch(raw);
    while (it.hasNext()) {
        const auto m = it.next();
        out += raw.midRef(pos, m.capturedStart() - pos);
        const QString name = m.captured(1);
        if (name == QLatin1String("amp"))
            out += QLatin1Char('&');
        else if (name == QLatin1String("lt"))
            out += QLatin1Char('<');
        else if (name == QLatin1String("gt"))
            out += QLatin1Char('>');
        else if (name == QLatin1String("quot"))
            out += QLatin1Char('"');
        else if (name == QLatin1String("apos"))
            out += QLatin1Char('\'');
        else {
            const uint code = name.startsWith(QLatin1String("#x"))
                ? name.midRef(2).toUInt(nullptr, 16)
                : name.midRef(1).toUInt();
            out += QString::fromUcs4(&code, 1);
        }
        pos = m.capturedEnd();
    }
    out += raw.midRef(pos);
    return out;
}

void XmlPart::replace(int start, int end, const QString& with)
{
    _edits.push_back({ start, end, with });
}

void XmlPart::setAttribute(
    const XmlElement& element, const QString& qualifiedName, const QString& value)
{
    const QString tag = _text.mid(element.start, element.startTagEnd - element.start);
    const QRegularExpression re(QStringLiteral("\\s%1\\s*=\\s*(\"[^\"]*\"|'[^']*')")
                                    .arg(QRegularExpression::escape(qualifiedName)));
    const auto match = re.match(tag);
    if (match.hasMatch()) {
        replace(element.start + match.capturedStart(1), element.start + match.capturedEnd(1),
            QLatin1Char('"') + escape(value) + QLatin1Char('"'));
        return;
    }
    int at = element.startTagEnd - (element.empty ? 2 : 1);
    while (at > element.start && _text.at(at - 1).isSpace())
        --at;
    insert(at,
        QLatin1Char(' ') + qualifiedName + QStringLiteral("=\"") + escape(value)
            + QLatin1Char('"'));
}

void XmlPart::appendChild(const XmlElement& element, const QString& content)
{
    if (!element.empty) {
        insert(element.endTagStart, content);
        return;
    }
    int at = element.startTagEnd - 2;
    replace(at, element.startTagEnd,
        QStringLiteral(">") + content + QStringLiteral("</") + element.qualifiedName
            + QLatin1Char('>'));
}

QByteArray XmlPart::result() const
{
    auto edits = _edits;
    std::stable_sort(
        edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.start < b.start; });
    QString out;
    out.reserve(_text.size() + 256);
    int pos = 0;
    for (const auto& edit : edits) {
        out += _text.midRef(pos, edit.start - pos);
        out += edit.with;
        pos = std::max(pos, edit.end);
    }
    out += _text.midRef(pos);
    QByteArray bytes = out.toUtf8();
    if (_bom)
        bytes.prepend("\xEF\xBB\xBF");
    return bytes;
}

QString XmlPart::escape(const QString& text)
{
    return text.toHtmlEscaped();
}

QString XmlPart::legalText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out += c;
            out += text.at(++i);
            continue;
        }
        const ushort u = c.unicode();
        const bool allowed = u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u < 0xD800)
            || (u >= 0xE000 && u <= 0xFFFD);
        out += allowed ? c : QChar(QChar::ReplacementCharacter);
    }
    return out;
}

} // namespace Workbook
