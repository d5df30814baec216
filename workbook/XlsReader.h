#pragma once

#include "WorkbookReader.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <vector>

namespace Workbook {

// Reads the sheet names and cells of an .xls (BIFF8) workbook: numbers, strings, the cached
// results of formulas, and each cell's number format and horizontal alignment. The custom
// properties are the user-defined ones of the DocumentSummaryInformation stream.
class XlsReader : public WorkbookReader {
public:
    bool open(const QString& path, QString* error) override;
    bool readSheet(int index, SheetCells* cells, QString* error) const override;
    bool scanSheet(int index, const CellVisitor& visit, QString* error) const override;
    QString partSignature(int index) const override;

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
    std::vector<int> _positions;
    QStringList _strings;
    QHash<int, QString> _formats;
    std::vector<Style> _styles;
};

} // namespace Workbook
