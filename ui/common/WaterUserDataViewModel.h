#pragma once

#include "db/Records.h"
#include "ui/common/TARNViewModel.h"

// The yearly input rows of one water user. A missing value (NaN) shows as an empty cell, and
// an empty or non-numeric entry stores NaN.
class WaterUserDataViewModel : public TARNViewModel<WaterUserData> {
    Q_OBJECT

public:
    enum Column {
        IdColumn = 0,
        WaterUserIdColumn,
        YearColumn,
        DiversionColumn,
        DepletionColumn,
        EfficiencyColumn,
        SalinityColumn
    };

    using TARNViewModel<WaterUserData>::TARNViewModel;

    int numColumns() const override { return 7; }
    QVariant cellData(const WaterUserData& record, int column) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
};
