#pragma once

#include "workbook/SheetCells.h"
#include "workbook/SheetData.h"
#include "workbook/SheetFingerprint.h"
#include "workbook/SheetTable.h"
#include "workbook/WorkbookFile.h"
#include "workbook/WorkbookReader.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

// What an export does with an existing workbook at path, for either format: read every sheet's
// cells (also as a comparison streams them) and its custom properties, then load the book and
// save it with a small sheet replacing the first one and that sheet's fingerprint recorded.
namespace FuzzWorkbook {

template<typename Book>
void readAndRewrite(Workbook::WorkbookReader& reader, const QString& path)
{
    QString error;
    if (reader.open(path, &error)) {
        for (int i = 0; i < reader.sheetNames().size(); ++i) {
            Workbook::SheetCells cells;
            reader.readSheet(i, &cells, &error);
            Workbook::SheetTable table;
            table.read(reader, i, &error);
        }
        Workbook::Fingerprint::sheetHashes(reader.customProperties());
    }

    Book book;
    if (book.load(path, &error)) {
        const QStringList names = book.sheetNames();
        Workbook::SheetData sheet(names.isEmpty() ? QStringLiteral("Data") : names.first());
        const QDate dates[2] = { QDate(2000, 1, 1), QDate(2000, 2, 1) };
        const double values[2] = { 1.5, -2.25 };
        sheet.setDates(dates, 2);
        sheet.addColumn(QStringLiteral("Total"), values, 2);
        std::vector<Workbook::NewSheet> sheets(1);
        sheets[0].data = &sheet;
        sheets[0].replaces = names.isEmpty() ? -1 : 0;
        Workbook::SheetFingerprint fp;
        fp.sheet = sheet.name();
        Workbook::Fingerprint::contentHash(sheet, &fp.contentHash, &error);
        Workbook::PropertyChanges changes;
        changes.drops
            = [](const QString& name) { return !Workbook::Fingerprint::sheetOf(name).isEmpty(); };
        changes.added = fp.properties();
        book.setPropertyChanges(changes);
        book.save(sheets, nullptr, &error);
    }
}

} // namespace FuzzWorkbook
