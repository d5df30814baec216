// An existing .xls workbook as the export meets it: the compound file, the reader of its cells,
// and the book that an export loads and saves with a new sheet added.
#include "FuzzInput.h"
#include "FuzzTargets.h"
#include "FuzzWorkbook.h"

#include "workbook/CompoundFile.h"
#include "workbook/XlsBook.h"
#include "workbook/XlsReader.h"

#include <QFile>

void FuzzTarget::xls(const uint8_t* data, size_t size)
{
    QString error;
    {
        Workbook::CompoundFile file;
        const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
        if (file.read(bytes, &error))
            file.write();
    }

    static const QString path = FuzzInput::path(".xls");
    if (!FuzzInput::write(path, data, size))
        return;

    Workbook::XlsReader reader;
    FuzzWorkbook::readAndRewrite<Workbook::XlsBook>(reader, path);
    QFile::remove(path);
}

TARNHELM_FUZZ_ENTRY(xls, true)
