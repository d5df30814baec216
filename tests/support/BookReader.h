#pragma once

#include "workbook/SheetCells.h"
#include "workbook/WorkbookReader.h"

#include <QList>
#include <QString>
#include <QStringList>

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
