#include "ui/common/AggDivProxyModel.h"

#include "ui/common/NameFilter.h"

bool AggDivProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    return NameFilter::anyColumnMatches(this, sourceRow, sourceParent, { 1, 2 });
}
