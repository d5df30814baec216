#pragma once

#include "CellFormat.h"
#include "OpcPackage.h"
#include "WorkbookFile.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

#include <memory>

namespace Workbook {

class XmlPart;
class XlsxSheetDeflater;
struct XlsxCellStyles;
struct SheetLayout;

// An Office Open XML workbook (.xlsx, .xlsm) in its ZIP package. A loaded package stays open
// until it is saved or the book is destroyed; the save rewrites only the parts that must change
// (workbook, its relationships, content types, styles and the replaced sheets) and lets libzip
// copy every other entry unchanged.
//
// The sheets are deflated on worker threads, one per core unless told otherwise: a sheet the
// export has completed is compressed while the export reads the next one, and the save
// compresses what is left before it writes the archive (see XlsxSheetDeflater).
class XlsxBook : public WorkbookFile {
public:
    XlsxBook();
    ~XlsxBook() override;
    XlsxBook(const XlsxBook&) = delete;
    XlsxBook& operator=(const XlsxBook&) = delete;

    // A new book that will be written to path; macroEnabled gives it the .xlsm content type.
    void create(const QString& path, bool macroEnabled);
    bool load(const QString& path, QString* error) override;

    QStringList sheetNames() const override;
    int maxRows() const override { return XlCell::MaxRows; }
    int maxColumns() const override { return XlCell::MaxColumns; }
    QString formatName() const override { return QStringLiteral(".xlsx"); }
    bool save(const std::vector<NewSheet>& sheets, const std::atomic_bool* cancel,
        QString* error) override;
    bool takeCompleteSheet(SheetData* sheet) override;

    // Threads that compress the sheets; 0 (the default) means one per core. The file written is
    // the same whatever the number.
    void setThreadCount(int threads) { _threads = threads; }
    // Cells in each of the pieces a sheet is cut into for compressing (0: the default).
    void setBlockCells(int cells) { _blockCells = cells; }
    // Whether the values of a sheet compressed before the save stay readable (moved to a file
    // instead of dropped): an export that compares what it writes with the book it replaces
    // reads them again.
    void setKeepCompressedValues(bool keep) { _keepCompressedValues = keep; }

private:
    struct Sheet {
        QString name;
        QString relId;
        QString part; // package path without the leading '/'
        int sheetId = 0;
        bool chart = false; // a chartsheet
    };
    using Relationship = OpcPackage::Relationship;

    // The book reads only the small parts: relationships, content types, workbook, styles and
    // document properties.
    bool readPart(const QString& name, QByteArray* data, QString* error) const
    {
        return _package.readPart(name, OpcPackage::SmallPart, data, error);
    }
    bool loadStructure(QString* error);
    bool checkWorkbookType(QString* error) const;
    // Brings the custom properties part up to date in changed (adding it, with its package
    // relationship and content type, when the book has none).
    bool applyPropertyChanges(
        const PropertyChanges& changes, QMap<QString, QByteArray>& changed, QString* error) const;
    // The styles part as the save writes it, and the cell formats the sheets use.
    bool editStyles(XmlPart* styles, QString* stylesPart, bool* newStylesPart,
        XlsxCellStyles* cellStyles, QString* error) const;

    struct AddedSheet {
        QString part;
        QString relId;
        int sheetId = 0;
    };
    // The workbook part as the save writes it: the sheet list, the local names and views that
    // follow their sheets, the built-in names of replaced sheets dropped.
    bool editWorkbook(const SheetLayout& layout, const std::vector<NewSheet>& newSheets,
        const std::vector<AddedSheet>& added, QMap<QString, QByteArray>& changed,
        int* activeAfterSave, QString* error) const;
    // The workbook's relationships as the save writes them: those of the replaced sheets (and
    // the calculation chain) go, those of the added sheets and of a new styles part (its path,
    // empty when there is none) come, their ids numbered on from relNumber.
    bool editWorkbookRelationships(const QSet<QString>& removedRelIds,
        const std::vector<AddedSheet>& added, const QString& newStyles, int relNumber,
        QMap<QString, QByteArray>& changed, QString* error) const;
    // The content types: the overrides of the deleted parts (keys) go, those of the added
    // sheets and of a new styles part come.
    bool editContentTypes(const QSet<QString>& deleted, const std::vector<AddedSheet>& added,
        const QString& newStyles, QMap<QString, QByteArray>& changed, QString* error) const;
    // The sheet lists of the app properties, brought up to date; the rest of the part stays.
    bool editAppProperties(const SheetLayout& layout, const std::vector<NewSheet>& newSheets,
        QMap<QString, QByteArray>& changed, QString* error) const;

    struct SheetPart {
        QString part;
        const SheetData* data;
        bool tabSelected;
    };
    int threadCount() const;
    bool compressSheets(const std::vector<NewSheet>& sheets, const XlsxCellStyles& styles,
        const std::atomic_bool* cancel, QString* error);
    void releaseCompressed();
    bool writeArchive(const QMap<QString, QByteArray>& changed, const QStringList& deleted,
        const std::vector<SheetPart>& sheets, QString* error);

    OpcPackage _package;
    QString _workbookPart;
    QString _workbookRelsPart;
    std::vector<Sheet> _sheets;
    std::vector<Relationship> _workbookRels;

    int _threads = 0;
    int _blockCells = 0;
    bool _keepCompressedValues = false;
    std::unique_ptr<XlsxSheetDeflater> _deflater;
    std::vector<SheetData*> _taken; // complete sheets handed to the deflater
    const std::atomic_bool* _closeCancel = nullptr;
};

} // namespace Workbook
