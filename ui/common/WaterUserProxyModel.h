#pragma once

#include <QSortFilterProxyModel>

// Narrows a water user list to the rows whose name or river-model name matches the filter.
class WaterUserProxyModel : public QSortFilterProxyModel {
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
};
