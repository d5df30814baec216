#pragma once

#include "DocProperties.h"

#include <QByteArray>
#include <QString>

namespace Workbook {

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

} // namespace Workbook
