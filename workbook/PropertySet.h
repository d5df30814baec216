#pragma once

#include "DocProperties.h"

#include <QByteArray>
#include <QString>

#include <vector>

class QTextCodec;

// The user-defined property set of an OLE property set stream (the second set of the
// DocumentSummaryInformation stream of an .xls file): its properties as stored, and their values
// as DocProperty. Used by SummaryInformation.
namespace Workbook {
namespace PropertySet {

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

// Pads to a multiple of four bytes, as every value of a set is.
void pad4(QByteArray& d);
// The codec of a set's code page (Windows-1252 for one Qt doesn't know).
QTextCodec* codecFor(quint16 codePage);

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

// The properties of a user-defined set, named from its dictionary; false when it is damaged.
bool parseUserSet(const QByteArray& set, UserSet* out, QString* error);

// The value of a stored property, for reading.
DocProperty decode(const RawProperty& raw, quint16 codePage);

// A property's value as a set of any code page stores it.
QByteArray encodeValue(const DocProperty& p);

// The value re-encoded for a CP_WINUNICODE set: code page strings become UTF-16. False for a
// value whose strings can't be found (a vector of variants), which then can't be moved.
bool recodeValue(const QByteArray& v, QTextCodec* codec, QByteArray* out);

// The set of these properties in the code page, with its dictionary of their names.
QByteArray writeUserSet(quint16 codePage, const std::vector<RawProperty>& properties);

} // namespace PropertySet
} // namespace Workbook
