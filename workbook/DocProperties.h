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

} // namespace Workbook
