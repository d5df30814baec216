#pragma once

#include <QString>
#include <QXmlStreamAttributes>

#include <vector>

namespace Workbook {

// One element of a small XML part, located by character offsets into the decoded text, so that
// the part can be edited by replacing text ranges: everything not touched stays as it was,
// prefixes, namespace declarations and formatting included.
struct XmlElement {
    QString qualifiedName;
    QString name; // local name
    QString namespaceUri;
    QXmlStreamAttributes attributes;
    int depth = 0;
    int start = 0; // offset of '<' of the start tag
    int startTagEnd = 0; // offset just after the start tag
    int endTagStart = 0; // offset of the end tag ('<' of "</x>"), == end for an empty element
    int end = 0; // offset just after the element
    bool empty = false; // written as <x/>

    QString prefix() const;
    QString attribute(const QString& name) const { return attributes.value(name).toString(); }
};

class XmlPart {
public:
    // Decodes UTF-8 (with or without a byte order mark) and locates the elements. Fails on
    // malformed XML and on other encodings.
    bool parse(const QByteArray& data, QString* error);

    const QString& text() const { return _text; }
    const std::vector<XmlElement>& elements() const { return _elements; }

    // Elements with the given local name, in document order.
    std::vector<const XmlElement*> find(const QString& name) const;
    const XmlElement* first(const QString& name) const;
    // Direct children of an element.
    std::vector<const XmlElement*> children(const XmlElement& parent) const;

    // The text content of an element without children, with entities resolved.
    QString innerText(const XmlElement& element) const;

    // Edits are collected and applied together; their ranges must not overlap.
    void replace(int start, int end, const QString& with);
    void insert(int at, const QString& what) { replace(at, at, what); }
    void remove(const XmlElement& element) { replace(element.start, element.end, QString()); }
    // Sets (or adds) an attribute in an element's start tag.
    void setAttribute(
        const XmlElement& element, const QString& qualifiedName, const QString& value);
    // Inserts content just before the element's end tag; an empty element <x/> is opened up.
    void appendChild(const XmlElement& element, const QString& content);

    bool modified() const { return !_edits.empty(); }
    QByteArray result() const;

    static QString escape(const QString& text);
    // The text with what XML 1.0 cannot hold, not even as a character reference (most control
    // characters, lone surrogates, U+FFFE and U+FFFF), replaced by U+FFFD.
    static QString legalText(const QString& text);

private:
    struct Edit {
        int start;
        int end;
        QString with;
    };
    QString _text;
    bool _bom = false;
    std::vector<XmlElement> _elements;
    std::vector<Edit> _edits;
};

} // namespace Workbook
