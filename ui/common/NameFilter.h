#pragma once

#include <QModelIndex>
#include <QSortFilterProxyModel>

namespace NameFilter {

// True when the display text of one of the given source columns contains a match of the
// proxy's filter, whether it was set as a QRegularExpression or through the older setters.
bool anyColumnMatches(const QSortFilterProxyModel* proxy, int sourceRow,
    const QModelIndex& sourceParent, std::initializer_list<int> columns);

} // namespace NameFilter
