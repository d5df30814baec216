// An existing .xlsx/.xlsm workbook as the export meets it: the reader of its cells, and the book
// that an export loads and saves with a new sheet added.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "FuzzWorkbook.h"

#include "workbook/XlsxBook.h"
#include "workbook/XlsxReader.h"

#include <QFile>

void FuzzTarget::xlsx(const uint8_t* data, size_t size)
{
    static const QString path = FuzzInput::path(".xlsx");
    if (!FuzzInput::write(path, data, size))
        return;

    Workbook::XlsxReader reader;
    FuzzWorkbook::readAndRewrite<Workbook::XlsxBook>(reader, path);
    QFile::remove(path);
}

TARNHELM_FUZZ_ENTRY(xlsx, true)
