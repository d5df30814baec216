#pragma once

#include "db/Records.h"
#include "ui/common/TARNViewModel.h"

// The sites of the baseline, in display order.
class AggDivViewModel : public TARNViewModel<AggDiv> {
    Q_OBJECT

public:
    enum Column { IdColumn = 0, NameColumn, RiffleNameColumn, NotesColumn, OrdColumn };

    explicit AggDivViewModel(QObject* parent = nullptr);

    int numColumns() const override { return 5; }
    QVariant cellData(const AggDiv& record, int column) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Moving renumbers Ord so that it follows the new order.
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
        const QModelIndex& destinationParent, int destinationChild) override;
    void renumberOrd();
    // Overwrites the record with the same AggDivID in place; nothing happens without one.
    void replaceRecord(const AggDiv& record);
};
