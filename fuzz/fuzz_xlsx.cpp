// An existing .xlsx/.xlsm workbook as the export meets it: the reader of its cells, and the book
// that an export loads and saves with a new sheet added.
#include "FuzzInput.h"
#include "FuzzTargets.h"

#include "export/SheetData.h"
#include "export/XlsxBook.h"
#include "export/XlsxReader.h"

#include <QDate>
#include <QFile>

void FuzzTarget::xlsx(const uint8_t* data, size_t size)
{
    static const QString path = FuzzInput::path(".xlsx");
    if (!FuzzInput::write(path, data, size))
        return;

    QString error;
    TARN::XlsxReader reader;
    if (reader.open(path, &error)) {
        for (int i = 0; i < reader.sheetNames().size(); ++i) {
            TARN::SheetCells cells;
            reader.readSheet(i, &cells, &error);
        }
    }

    TARN::XlsxBook book;
    if (book.load(path, &error)) {
        const QStringList names = book.sheetNames();
        TARN::SheetData sheet(names.isEmpty() ? QStringLiteral("Data") : names.first());
        const QDate dates[2] = { QDate(2000, 1, 1), QDate(2000, 2, 1) };
        const double values[2] = { 1.5, -2.25 };
        sheet.setDates(dates, 2);
        sheet.addColumn(QStringLiteral("Total"), values, 2);
        std::vector<TARN::NewSheet> sheets(1);
        sheets[0].data = &sheet;
        sheets[0].replaces = names.isEmpty() ? -1 : 0;
        book.save(sheets, nullptr, &error);
    }
    QFile::remove(path);
}

TARNHELM_FUZZ_ENTRY(xlsx, true)
