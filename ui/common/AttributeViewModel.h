#pragma once

#include "db/Records.h"
#include "ui/common/TARNViewModel.h"

// Attributes with the name of their type.
class AttributeViewModel : public TARNViewModel<Attribute> {
    Q_OBJECT

public:
    enum Column { IdColumn = 0, BaselineColumn, NameColumn, TypeIdColumn, TypeNameColumn };

    using TARNViewModel<Attribute>::TARNViewModel;

    int numColumns() const override { return 5; }
    QVariant cellData(const Attribute& record, int column) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};
