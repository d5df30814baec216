#pragma once

#include "DocProperties.h"
#include "SheetCells.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

namespace Workbook {

// A workbook read through the library's own readers, whatever its format: the names of its
// sheets, their cells, and the book's custom document properties. XlsxReader reads .xlsx and
// .xlsm packages, XlsReader .xls compound files; openFile() picks the one the file's content
// calls for, whatever its name.
class WorkbookReader {
public:
    virtual ~WorkbookReader() = default;

    // A reader with the file open; null with the reason when the file can't be read or is
    // neither an Office Open XML package nor a compound file.
    static std::unique_ptr<WorkbookReader> openFile(const QString& path, QString* error);

    // Reads the sheet names and the custom properties, which the reader then holds.
    virtual bool open(const QString& path, QString* error) = 0;
    QStringList sheetNames() const { return _names; }

    // Every cell of a sheet, with its number format and horizontal alignment.
    virtual bool readSheet(int index, SheetCells* cells, QString* error) const = 0;
    // Gives the values of a sheet's cells to visit, one at a time, without holding the sheet.
    virtual bool scanSheet(int index, const CellVisitor& visit, QString* error) const = 0;

    // The book's custom properties; none when it has none, or when they are damaged (the cells
    // are read all the same).
    const DocProperties& customProperties() const { return _properties; }

    // What the sheet's part (.xlsx) or substream (.xls) is now, its CRC and size, to tell
    // whether it is still the one that was written; empty when it can't be told.
    virtual QString partSignature(int index) const = 0;

    // The content hashes recorded for the sheets ("Tarnhelm Sheet Hash: <sheet>"), by sheet
    // name in lower case: only those of sheets whose part is still the one the hash was
    // recorded with. A sheet that another program changed since is left out, whatever its
    // properties say.
    QHash<QString, QByteArray> trustedSheetHashes() const;

protected:
    QStringList _names;
    DocProperties _properties;
};

} // namespace Workbook
