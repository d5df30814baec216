#pragma once

#include <QByteArray>
#include <QString>

#include <zip.h>

#include <cstdint>

namespace TARN {

// Reading the parts of a workbook package into memory, within limits that keep a damaged or
// hostile file from taking the machine's memory: a part that claims to inflate beyond them is
// refused before anything is allocated.
namespace ZipEntry {

enum Kind {
    // Relationships, content types, the workbook, styles, document properties: a few
    // megabytes at most in any real book, and never compressed a thousandfold.
    SmallPart,
    // Worksheets and shared strings, which grow with the data.
    LargePart
};

// Reads the part of that name (found without regard to case). False with the reason when the
// part is missing, too large for its kind or can't be read.
bool read(zip_t* zip, const QString& name, Kind kind, QByteArray* data, QString* error);

// The CRC-32 and size of the part's uncompressed bytes, as the archive records them; false when
// the part is missing or the archive doesn't record them.
bool signature(zip_t* zip, const QString& name, uint32_t* crc, uint64_t* size);

} // namespace ZipEntry

} // namespace TARN
