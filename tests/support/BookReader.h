#pragma once

#include "workbook/SheetCells.h"
#include "workbook/XlsReader.h"
#include "workbook/XlsxReader.h"

#include <QList>
#include <QString>
#include <QStringList>

// Every sheet of an .xls or .xlsx/.xlsm book through the workbook layer's own readers; on
// failure the reader's message is in error.
template<typename Reader>
bool readBookWith(
    const QString& path, QStringList& names, QList<Workbook::SheetCells>& sheets, QString* error)
{
    Reader reader;
    if (!reader.open(path, error))
        return false;
    names = reader.sheetNames();
    for (int i = 0; i < names.size(); ++i) {
        Workbook::SheetCells cells;
        if (!reader.readSheet(i, &cells, error))
            return false;
        sheets.append(cells);
    }
    return true;
}

inline bool readBook(
    const QString& path, QStringList& names, QList<Workbook::SheetCells>& sheets, QString* error)
{
    return path.endsWith(QLatin1String(".xls"), Qt::CaseInsensitive)
        ? readBookWith<Workbook::XlsReader>(path, names, sheets, error)
        : readBookWith<Workbook::XlsxReader>(path, names, sheets, error);
}
