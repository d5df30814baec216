#include "SheetLayout.h"

namespace Workbook {

SheetLayout::SheetLayout(int oldCount, const std::vector<NewSheet>& newSheets)
    : oldCount(oldCount)
    , removed(static_cast<size_t>(oldCount), false)
    , newIndex(static_cast<size_t>(oldCount), -1)
{
    for (const auto& sheet : newSheets)
        if (sheet.replaces >= 0 && sheet.replaces < oldCount)
            removed[static_cast<size_t>(sheet.replaces)] = true;
    for (int i = 0; i < oldCount; ++i)
        if (!removed[static_cast<size_t>(i)])
            newIndex[static_cast<size_t>(i)] = kept++;
    for (size_t n = 0; n < newSheets.size(); ++n)
        if (newSheets[n].replaces >= 0 && newSheets[n].replaces < oldCount)
            newIndex[static_cast<size_t>(newSheets[n].replaces)] = kept + static_cast<int>(n);
    newCount = kept + static_cast<int>(newSheets.size());
}

} // namespace Workbook
