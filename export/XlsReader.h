#pragma once

#include "DocProperties.h"
#include "SheetCells.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <vector>

namespace TARN {

// Reads the sheet names and cells of an .xls (BIFF8) workbook: numbers, strings, the cached
// results of formulas, and each cell's number format and horizontal alignment.
class XlsReader {
public:
    bool open(const QString& path, QString* error);
    QStringList sheetNames() const { return _names; }
    bool readSheet(int index, SheetCells* cells, QString* error) const;

    // Gives the values of a sheet's cells to visit, one at a time.
    bool scanSheet(int index, const CellVisitor& visit, QString* error) const;

    // The user-defined properties of the DocumentSummaryInformation stream; none when the file
    // has no such stream.
    const DocProperties& customProperties() const { return _properties; }

    // What the sheet's substream is now (its CRC and size), to tell whether it is still the
    // one that was written; empty when it can't be told.
    QString partSignature(int index) const;

private:
    // Calls cell(row, column, style, type, number, text) for each cell of the sheet; false when
    // the sheet is damaged or cell returned false.
    template<typename CellFn>
    bool walkSheet(int index, CellFn cell, QString* error) const;

    struct Style {
        int format = 0;
        int alignment = 0;
    };
    QByteArray _stream;
    QStringList _names;
    std::vector<int> _positions;
    QStringList _strings;
    QHash<int, QString> _formats;
    std::vector<Style> _styles;
    DocProperties _properties;
};

} // namespace TARN
