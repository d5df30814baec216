#pragma once

#include "db/Records.h"

#include <QDialog>
#include <QItemSelection>
#include <QSet>
#include <QVector>

class QTableWidget;
class QTableWidgetItem;

namespace Ui {
class WaterUserSelectorWidgets;
}

// Chooses baseline water users in two steps: the site attribute filters narrow the sites, the
// chosen sites and the water user attribute filters narrow the water users, and the user ticks
// the water users wanted.
class WaterUserSelectorDlg : public QDialog {
    Q_OBJECT

public:
    // Item data roles of the two tables.
    static constexpr int WaterUserIdRole = Qt::UserRole + 1;
    static constexpr int AggDivIdRole = Qt::UserRole + 2;
    static constexpr int WaterUserNameRole = Qt::UserRole + 3;
    static constexpr int SiteNameRole = Qt::UserRole + 4;

    explicit WaterUserSelectorDlg(QWidget* parent = nullptr, bool singleSelection = false);
    ~WaterUserSelectorDlg() override;

    // The checked water users, in list order; rows that cannot be loaded are left out.
    QVector<WaterUser> selectedWaterUsers() const;
    // The site panel's chosen values followed by the water user panel's.
    AttrSelectionList selectedFilters() const;

public slots:
    void aggDivFiltChangedHandler();
    void aggDivSelChangedHandler(const QItemSelection& selected, const QItemSelection& deselected);
    void watUsrFiltChangedHandler();
    void watUsrSelChangedHandler(const QItemSelection& selected, const QItemSelection& deselected);
    void selAllAggDivBtnHandler();
    void selAllWatUsrBtnHandler();

private:
    void refreshWaterUsers();
    static void setChecked(QTableWidget* table, int row, bool checked);
    static void selectAllRows(QTableWidget* table);
    // Replaces the table's rows by these, each a list of items by column (owned by the table).
    static void fillTable(QTableWidget* table, const QVector<QVector<QTableWidgetItem*>>& rows);

    bool _singleSelection;
    QSet<int> _chosenSites;
    Ui::WaterUserSelectorWidgets* _ui;
};
