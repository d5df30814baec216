#include "WorkbookProjects.h"

#include "workbook/SheetFingerprint.h"
#include "workbook/WorkbookReader.h"

#include <QFileInfo>

namespace TARN {

okstat workbookProjects(const QString& path, QHash<QString, QString>* projects)
{
    projects->clear();
    if (!QFileInfo::exists(path))
        return {};
    QString error;
    const std::unique_ptr<Workbook::WorkbookReader> book
        = Workbook::WorkbookReader::openFile(path, &error);
    if (!book)
        return error;
    *projects = Workbook::Fingerprint::sheetProjects(book->customProperties());
    return {};
}

} // namespace TARN
