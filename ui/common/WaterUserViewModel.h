#pragma once

#include "db/Records.h"
#include "ui/common/TARNViewModel.h"

// Water users with their site, in display order.
class WaterUserViewModel : public TARNViewModel<WaterUser> {
    Q_OBJECT

public:
    enum Column {
        IdColumn = 0,
        ScenarioColumn,
        NameColumn,
        RiffleNameColumn,
        NotesColumn,
        OrdColumn,
        AggDivIdColumn,
        SiteNameColumn
    };

    explicit WaterUserViewModel(QObject* parent = nullptr);

    int numColumns() const override { return 8; }
    QVariant cellData(const WaterUser& record, int column) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Moving renumbers Ord so that it follows the new order.
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
        const QModelIndex& destinationParent, int destinationChild) override;
    void renumberOrd();
    // Overwrites the record with the same WaterUserID in place; nothing happens without one.
    void replaceRecord(const WaterUser& record);
};
