#pragma once

#include <QSortFilterProxyModel>

// Narrows a site list to the rows whose name or river-model name matches the filter.
class AggDivProxyModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};
