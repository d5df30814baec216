#pragma once

#include "WorkbookFile.h"

#include <vector>

namespace Workbook {

// Where a save puts a book's sheets: the existing ones that are not replaced keep their order at
// the front, the new ones follow at the end, and a replaced sheet is represented by its
// replacement.
struct SheetLayout {
    SheetLayout(int oldCount, const std::vector<NewSheet>& newSheets);

    // The position after the save of existing sheet old; anything else (-1 for none) as it is.
    int map(int old) const
    {
        return old >= 0 && old < oldCount ? newIndex[static_cast<size_t>(old)] : old;
    }

    int oldCount;
    std::vector<bool> removed; // replaced by a new sheet
    std::vector<int> newIndex; // position after the save
    int kept = 0; // existing sheets that stay
    int newCount = 0; // sheets after the save
};

} // namespace Workbook
