#include "WorkbookProjects.h"

#include "SheetFingerprint.h"
#include "WorkbookDiff.h"

#include <QFileInfo>

namespace TARN {

okstat workbookProjects(const QString& path, QHash<QString, QString>* projects)
{
    projects->clear();
    if (!QFileInfo::exists(path))
        return {};
    WorkbookSource book;
    QString error;
    if (!book.open(path, &error))
        return error;
    *projects = Fingerprint::sheetProjects(book.customProperties());
    return {};
}

} // namespace TARN
