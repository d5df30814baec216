#pragma once

// Column positions and helpers the water user dialog's two source files share.
#include <QTableView>

#include <initializer_list>

namespace WaterUserDlgColumns {

enum WaterUserColumn {
    WuIdCol = 0,
    WuAggDivCol,
    WuScenarioCol,
    WuNameCol,
    WuRiffleCol,
    WuNotesCol
};
enum AggDivColumn { SiteIdCol = 0, SiteNameCol = 3, SiteRiffleNameCol = 4, SiteOrdCol = 6 };

inline void hideColumns(QTableView* table, std::initializer_list<int> columns)
{
    for (int column : columns)
        table->setColumnHidden(column, true);
}

} // namespace WaterUserDlgColumns
