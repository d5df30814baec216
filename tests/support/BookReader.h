#pragma once

#include "workbook/SheetCells.h"
#include "workbook/WorkbookReader.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cmath>
#include <memory>

// Every sheet of an .xls or .xlsx/.xlsm book through the workbook library's own readers; on
// failure the reader's message is in error.
inline bool readBook(
    const QString& path, QStringList& names, QList<Workbook::SheetCells>& sheets, QString* error)
{
    const std::unique_ptr<Workbook::WorkbookReader> reader
        = Workbook::WorkbookReader::openFile(path, error);
    if (!reader)
        return false;
    names = reader->sheetNames();
    for (int i = 0; i < names.size(); ++i) {
        Workbook::SheetCells cells;
        if (!reader->readSheet(i, &cells, error))
            return false;
        sheets.append(cells);
    }
    return true;
}

// Whether two sheets hold the same cells: types, texts and numbers (NaN equal to NaN).
inline bool sameCells(const Workbook::SheetCells& a, const Workbook::SheetCells& b)
{
    if (a.rowCount() != b.rowCount() || a.columnCount() != b.columnCount()
        || a.cellCount() != b.cellCount())
        return false;
    for (int r = 0; r < a.rowCount(); ++r) {
        for (int c = 0; c < a.columnCount(); ++c) {
            const Workbook::ReadCell x = a.at(r, c);
            const Workbook::ReadCell y = b.at(r, c);
            if (x.type != y.type || x.text != y.text
                || (x.number != y.number && !(std::isnan(x.number) && std::isnan(y.number))))
                return false;
        }
    }
    return true;
}
