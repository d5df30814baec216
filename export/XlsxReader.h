#pragma once

#include "DocProperties.h"
#include "SheetCells.h"

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

private:
    struct Style {
        QString numberFormat;
        QString alignment;
    };
    QString _path;
    QStringList _names;
    QStringList _sheetParts;
    QStringList _sharedStrings;
    std::vector<Style> _styles;
    DocProperties _properties;
};

} // namespace TARN
