#pragma once

#include "SheetCells.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace Workbook {

// Reads the cell values of a worksheet part as it streams in, a chunk at a time, so that a sheet
// of hundreds of megabytes of XML never sits in memory. It understands what worksheets hold
// (elements with or without a namespace prefix, entities, character references, CDATA, comments,
// processing instructions) and nothing more: it is not a general XML parser, and it doesn't
// check that the part is well formed beyond what it needs to find the cells.
class XlsxSheetScanner {
public:
    // Fills buffer with up to size bytes; returns how many, 0 at the end, -1 on a read error.
    using Source = std::function<qint64(char* buffer, qint64 size)>;

    explicit XlsxSheetScanner(const QStringList& sharedStrings)
        : _sharedStrings([&sharedStrings]() -> const QStringList& { return sharedStrings; })
    {
    }
    // The shared strings come from sharedStrings, called at the first cell that refers to one
    // (a sheet that has none never reads them).
    explicit XlsxSheetScanner(std::function<const QStringList&()> sharedStrings)
        : _sharedStrings(std::move(sharedStrings))
    {
    }

    // Texts are given as the reader gives them: "_xHHHH_" escapes decoded.
    bool scan(const Source& source, const CellVisitor& visit, QString* error) const;

private:
    std::function<const QStringList&()> _sharedStrings;
};

} // namespace Workbook
