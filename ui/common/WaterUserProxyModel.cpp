#include "ui/common/WaterUserProxyModel.h"

#include "ui/common/NameFilter.h"

bool WaterUserProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    return NameFilter::anyColumnMatches(this, sourceRow, sourceParent, { 2, 3 });
}
