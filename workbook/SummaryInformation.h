#pragma once

#include "DocProperties.h"

#include <QByteArray>
#include <QString>

namespace Workbook {

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
