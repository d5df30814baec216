#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

namespace Workbook {

// One custom (user-defined) document property of a workbook. Reading keeps every property; the
// kinds the export writes are texts, integers and times, anything else is read as its text.
struct DocProperty {
    enum Kind { Text, Integer, Time, Other };

    QString name;
    Kind kind = Text;
    QString text; // Text and Other
    qint64 integer = 0; // Integer
    QDateTime time; // Time, in UTC

    static DocProperty textProperty(const QString& name, const QString& value);
    static DocProperty integerProperty(const QString& name, qint64 value);
    static DocProperty timeProperty(const QString& name, const QDateTime& value);

    // The value as people read it: times in ISO 8601 (UTC, "Z").
    QString valueText() const;
};

using DocProperties = std::vector<DocProperty>;

// What a save does to a book's custom properties: the existing ones for which drops() holds go,
// and so does any whose name equals (without regard to case) the name of one in added; then the
// added ones are written. Every other property is kept as it was.
struct PropertyChanges {
    std::function<bool(const QString& name)> drops;
    DocProperties added;

    bool dropsAny(const QString& name) const;
    bool empty() const { return !drops && added.empty(); }
};

// docProps/custom.xml of an Office Open XML package.
namespace CustomXml {

extern const QString ContentType;
extern const QString RelationshipType; // transitional namespace
extern const QString DefaultPart;

bool read(const QByteArray& part, DocProperties* properties, QString* error);

// The part with the changes applied; existing empty makes a new part. Elements the changes
// don't touch keep their text, prefixes and declarations. Sets changed when the result differs.
bool update(const QByteArray& existing, const PropertyChanges& changes, QByteArray* result,
    bool* changed, QString* error);

} // namespace CustomXml

// The DocumentSummaryInformation stream of an OLE2 compound file (.xls): a property set stream
// whose optional second property set holds the user-defined properties.
namespace SummaryInformation {

extern const QString StreamName; // "\005DocumentSummaryInformation"

bool readUserDefined(const QByteArray& stream, DocProperties* properties, QString* error);

// The stream with the changes applied to its user-defined properties; existing empty makes a
// new stream. The first property set and every kept user-defined property are copied as they
// were. Sets changed when the result differs.
bool update(const QByteArray& existing, const PropertyChanges& changes, QByteArray* result,
    bool* changed, QString* error);

} // namespace SummaryInformation

} // namespace Workbook
