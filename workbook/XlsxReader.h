#pragma once

#include "WorkbookReader.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <vector>

namespace Workbook {

// Reads the sheet names and cells of an .xlsx/.xlsm workbook: values (shared, inline and
// formula strings included), the number format and horizontal alignment of each cell. The custom
// properties are those of the package's docProps/custom.xml.
class XlsxReader : public WorkbookReader {
public:
    bool open(const QString& path, QString* error) override;
    bool readSheet(int index, SheetCells* cells, QString* error) const override;
    bool scanSheet(int index, const CellVisitor& visit, QString* error) const override;
    QString partSignature(int index) const override;

private:
    // The shared strings, read on first use (thread-safe).
    const QStringList& sharedStrings() const;

    struct Style {
        QString numberFormat;
        QString alignment;
    };
    QString _path;
    QStringList _sheetParts;
    QString _sharedStringsPart;
    mutable QMutex _stringsMutex;
    mutable bool _stringsRead = false;
    mutable QStringList _sharedStrings;
    std::vector<Style> _styles;
};

} // namespace Workbook
