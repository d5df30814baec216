#pragma once

#include "DocProperties.h"
#include "SheetCells.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <vector>

namespace TARN {

// Reads the sheet names and cells of an .xlsx/.xlsm workbook: values (shared, inline and
// formula strings included), the number format and horizontal alignment of each cell.
class XlsxReader {
public:
    bool open(const QString& path, QString* error);
    QStringList sheetNames() const { return _names; }
    bool readSheet(int index, SheetCells* cells, QString* error) const;

    // Streams the values of a sheet's cells to visit without holding the sheet in memory.
    bool scanSheet(int index, const CellVisitor& visit, QString* error) const;

    // The package's custom properties (docProps/custom.xml); none when it has no such part.
    const DocProperties& customProperties() const { return _properties; }

    // What the sheet's part is now (its CRC and size), to tell whether it is still the part
    // that was written; empty when it can't be told.
    QString partSignature(int index) const;

private:
    // The shared strings, read on first use (thread-safe).
    const QStringList& sharedStrings() const;

    struct Style {
        QString numberFormat;
        QString alignment;
    };
    QString _path;
    QStringList _names;
    QStringList _sheetParts;
    QString _sharedStringsPart;
    mutable QMutex _stringsMutex;
    mutable bool _stringsRead = false;
    mutable QStringList _sharedStrings;
    std::vector<Style> _styles;
    DocProperties _properties;
};

} // namespace TARN
