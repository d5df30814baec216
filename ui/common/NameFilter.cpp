#include "ui/common/NameFilter.h"

#include <QRegExp>
#include <QRegularExpression>

namespace NameFilter {

bool anyColumnMatches(const QSortFilterProxyModel* proxy, int sourceRow,
    const QModelIndex& sourceParent, std::initializer_list<int> columns)
{
    const QAbstractItemModel* source = proxy->sourceModel();
    if (!source)
        return false;
    // The fixed-string and wildcard setters store a QRegExp, which filterRegularExpression()
    // does not report; whichever form is set is the filter.
    const QRegExp oldExpression = proxy->filterRegExp();
    const QRegularExpression expression = proxy->filterRegularExpression();
    for (int column : columns) {
        const QString text = source->index(sourceRow, column, sourceParent).data().toString();
        const bool match
            = oldExpression.isEmpty() ? text.contains(expression) : text.contains(oldExpression);
        if (match)
            return true;
    }
    return false;
}

} // namespace NameFilter
