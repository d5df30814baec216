#pragma once

#include "DocProperties.h"

#include <QDateTime>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

namespace Workbook {

class SheetData;

// A sheet that a save adds at the end of the book, possibly in place of an existing sheet of the
// same name (given by its position in sheetNames()).
struct NewSheet {
    const SheetData* data = nullptr;
    int replaces = -1;
};

// How far a save has come: of the sheets it writes, how many are done (and the name of the one
// being worked on), and the whole save in thousandths.
struct SaveProgress {
    int sheetsDone = 0;
    int sheets = 0;
    QString sheetName;
    int permille = 0;
};

// A workbook file as the export sees it: the names of the sheets already in it, and a save that
// drops the replaced sheets, appends the new ones and leaves everything else as it was. The
// file on disk changes only when a save succeeds, and then at once.
class WorkbookFile {
public:
    virtual ~WorkbookFile() = default;

    // Reads the book at path (a new one is made by the create() of its kind); false with the
    // reason when it can't be read or updated.
    virtual bool load(const QString& path, QString* error) = 0;

    virtual QStringList sheetNames() const = 0;
    virtual int maxRows() const = 0;
    virtual int maxColumns() const = 0;
    // ".xls" or ".xlsx", for messages.
    virtual QString formatName() const = 0;

    // Writes the book to its file; on failure sets error and leaves the file as it was. A set
    // cancel flag makes a running save fail.
    virtual bool save(
        const std::vector<NewSheet>& sheets, const std::atomic_bool* cancel, QString* error)
        = 0;

    // Changes the next save makes to the book's custom document properties; every other
    // property is kept as it is.
    void setPropertyChanges(PropertyChanges changes) { _propertyChanges = std::move(changes); }
    // The time the next save records for the parts it writes (an .xlsx archive's entries);
    // invalid, the default, records the moment of the save.
    void setArchiveTime(const QDateTime& time) { _archiveTime = time; }

    // Offers a sheet the export has completed (it gets no more columns) for the book to get
    // ready for the save while the export goes on; true when the book took it, and from then on
    // looks after its memory: the sheet must not change any more.
    virtual bool takeCompleteSheet(SheetData* /*sheet*/) { return false; }

    // Called by a save, on the saving thread, as it goes (not necessarily at all).
    void setSaveProgressHandler(std::function<void(const SaveProgress&)> handler)
    {
        _saveProgress = std::move(handler);
    }

    // The file a save replaces: the target of a symbolic link (followed as far as it goes),
    // otherwise path itself. Saving through a link writes the file it points at.
    static QString linkTarget(const QString& path);

protected:
    // The names of a book's sheets (anything with a name), in order.
    template<typename Sheets>
    static QStringList namesOf(const Sheets& sheets)
    {
        QStringList names;
        for (const auto& sheet : sheets)
            names.append(sheet.name);
        return names;
    }

    void reportSaveProgress(const SaveProgress& progress) const
    {
        if (_saveProgress)
            _saveProgress(progress);
    }

    PropertyChanges _propertyChanges;
    QDateTime _archiveTime;

private:
    std::function<void(const SaveProgress&)> _saveProgress;
};

inline QString WorkbookFile::linkTarget(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

} // namespace Workbook
