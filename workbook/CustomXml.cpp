#include "CustomXml.h"

#include "XmlSplice.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <limits>

namespace Workbook {

namespace {

QString xmlText(const QString& text)
{
    return XmlPart::escape(XmlPart::legalText(text));
}

} // namespace

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

} // namespace Workbook
