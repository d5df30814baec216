#pragma once

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

private:
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
};

} // namespace TARN
