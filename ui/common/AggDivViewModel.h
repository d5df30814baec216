#pragma once

#include "db/Records.h"
#include "ui/common/OrderedViewModel.h"

// The sites of the baseline, in display order.
class AggDivViewModel : public OrderedViewModel<AggDiv, &AggDiv::AggDivID> {
    Q_OBJECT

public:
    enum Column { IdColumn = 0, NameColumn, RiffleNameColumn, NotesColumn, OrdColumn };

    explicit AggDivViewModel(QObject* parent = nullptr);

    int numColumns() const override { return 5; }
    QVariant cellData(const AggDiv& record, int column) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
};
