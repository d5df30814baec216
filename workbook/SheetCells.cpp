#include "SheetCells.h"

#include <algorithm>

namespace Workbook {

void SheetCells::set(int row, int column, const ReadCell& cell)
{
    _cells.insert(key(row, column), cell);
    _rows = std::max(_rows, row + 1);
    _columns = std::max(_columns, column + 1);
}

QString builtInNumberFormat(int id)
{
    switch (id) {
    case 0:
        return QStringLiteral("General");
    case 1:
        return QStringLiteral("0");
    case 2:
        return QStringLiteral("0.00");
    case 3:
        return QStringLiteral("#,##0");
    case 4:
        return QStringLiteral("#,##0.00");
    case 9:
        return QStringLiteral("0%");
    case 10:
        return QStringLiteral("0.00%");
    case 11:
        return QStringLiteral("0.00E+00");
    case 14:
        return QStringLiteral("mm-dd-yy");
    case 15:
        return QStringLiteral("d-mmm-yy");
    case 16:
        return QStringLiteral("d-mmm");
    case 17:
        return QStringLiteral("mmm-yy");
    case 22:
        return QStringLiteral("m/d/yy h:mm");
    case 49:
        return QStringLiteral("@");
    default:
        return QStringLiteral("General");
    }
}

} // namespace Workbook
