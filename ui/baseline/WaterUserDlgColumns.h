#pragma once

// Column positions and helpers the water user dialog's two source files share.
#include <QString>
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

// The names a new water user is stored with until the planner types its own.
const QString NewWaterUserName = QStringLiteral("Enter Water User Name");
const QString NewRiffleName = QStringLiteral("Enter Riffle Name");

inline void hideColumns(QTableView* table, std::initializer_list<int> columns)
{
    for (int column : columns)
        table->setColumnHidden(column, true);
}

} // namespace WaterUserDlgColumns
