#pragma once

#include "db/okstat.h"

#include <QCoreApplication>
#include <QDate>
#include <QHash>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace TARN {
class SheetData;
class WorkbookFile;
} // namespace TARN

// The workbook of one export: opens (or prepares) the file, collects the sheets the export
// writes, and writes the book in one go on save(). Until then the file on disk is untouched.
//
// The export hands over its series one column at a time; the columns are kept (8 bytes a value)
// and written out row by row when the book is saved. Only the sheet being filled stays in
// memory: a sheet the export has moved on from goes to a temporary file.
class LibXlConnect {
    Q_DECLARE_TR_FUNCTIONS(LibXlConnect)

public:
    LibXlConnect();
    ~LibXlConnect();
    LibXlConnect(const LibXlConnect&) = delete;
    LibXlConnect& operator=(const LibXlConnect&) = delete;

    // Chooses the kind of book by the file name's extension (.xlsx, .xlsm, .xls, in any case)
    // and loads the file when it exists.
    TARN::okstat open(const QString& fileName);

    bool isOpen() const { return _book != nullptr; }
    const QString& fileName() const { return _fileName; }

    // The sheet of that name made in this export, or a new one at the end of the book that
    // replaces an existing sheet of exactly that name when the book is saved.
    TARN::okstat sheet(const QString& name, TARN::SheetData** sheet = nullptr);

    // Fails, before anything is collected, when a sheet of that many rows (header included)
    // and columns (date column included) would not fit into the book's format.
    TARN::okstat checkSize(int rows, int columns) const;

    // Adds a column of count values with its header to the sheet (made as by sheet() when
    // needed); the sheet's first column gets the count dates when it has none yet. A missing
    // (NaN) value is written as the text "NaN".
    TARN::okstat writeColumn(const QString& sheetName, const QString& header, int count,
        const QDate* dates, const double* values);

    // Writes the book to the file (through a temporary file renamed over it), then releases
    // the book and forgets the file name and the sheets, whether or not the save succeeded.
    TARN::okstat save();

    // While set, a running save fails and leaves the file as it was.
    void setCancelFlag(const std::atomic_bool* cancel) { _cancel = cancel; }

    // When the export moves on to another sheet, the values of the sheet it leaves go to a
    // temporary file if there are at least this many, so that memory holds one sheet's values.
    void setSpillThreshold(qint64 values) { _spillThreshold = values; }

private:
    void release();

    QString _fileName;
    std::unique_ptr<TARN::WorkbookFile> _book;
    std::vector<std::unique_ptr<TARN::SheetData>> _sheets;
    std::vector<int> _replaces;
    QHash<QString, int> _sheetIndex;
    const std::atomic_bool* _cancel = nullptr;
    qint64 _spillThreshold = 1 << 20;
    int _current = -1; // the sheet written last
};
