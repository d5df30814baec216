#pragma once

#include "db/Records.h"
#include "ui/common/OrderedViewModel.h"

// Water users with their site, in display order.
class WaterUserViewModel : public OrderedViewModel<WaterUser, &WaterUser::WaterUserID> {
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
};
