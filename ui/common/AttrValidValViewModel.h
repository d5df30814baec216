#pragma once

#include "db/Records.h"
#include "ui/common/TARNViewModel.h"

// The valid values of one attribute.
class AttrValidValViewModel : public TARNViewModel<AttrValidVal> {
    Q_OBJECT

public:
    enum Column { IdColumn = 0, AttrIdColumn, ValueColumn };

    using TARNViewModel<AttrValidVal>::TARNViewModel;

    int numColumns() const override { return 3; }
    QVariant cellData(const AttrValidVal& record, int column) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};
