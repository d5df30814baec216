#include "ui/scenario/WaterUserSelectorDlg.h"
#include "ui_WaterUserSelectorDlg.h"

#include "db/AttributeDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/WaterUserDAO.h"
#include "ui/common/CheckBoxIconItem.h"
#include "ui/scenario/AttributeCache.h"

#include <QHeaderView>
#include <QSignalBlocker>
#include <QStringList>

#include <algorithm>

namespace {

void setupTable(QTableWidget* table, QAbstractItemView::SelectionMode mode)
{
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(mode);
    table->setWordWrap(false);
    QHeaderView* header = table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
}

} // namespace

WaterUserSelectorDlg::WaterUserSelectorDlg(QWidget* parent, bool singleSelection)
    : QDialog(parent)
    , _singleSelection(singleSelection)
    , _ui(new Ui::WaterUserSelectorWidgets)
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    setupTable(_ui->_aggDivTableWidget, QAbstractItemView::ExtendedSelection);
    setupTable(_ui->_watUsrTableWidget,
        singleSelection ? QAbstractItemView::SingleSelection
                        : QAbstractItemView::ExtendedSelection);

    connect(_ui->_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(_ui->_aggDivFiltWidget, &AttrFilterWidget::filterChanged, this,
        &WaterUserSelectorDlg::aggDivFiltChangedHandler);
    connect(_ui->_watUsrFiltWidget, &AttrFilterWidget::filterChanged, this,
        &WaterUserSelectorDlg::watUsrFiltChangedHandler);
    connect(_ui->_aggDivTableWidget->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &WaterUserSelectorDlg::aggDivSelChangedHandler);
    connect(_ui->_watUsrTableWidget->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &WaterUserSelectorDlg::watUsrSelChangedHandler);
    connect(_ui->_selAllAggDivBtn, &QPushButton::clicked, this,
        &WaterUserSelectorDlg::selAllAggDivBtnHandler);
    connect(_ui->_selAllWatUsrBtn, &QPushButton::clicked, this,
        &WaterUserSelectorDlg::selAllWatUsrBtnHandler);

    // Each opening reads the attributes afresh, once for both panels: a rolled-back transaction
    // of the dialog that opened the selector may have taken attributes or values away again
    // without any model noticing.
    AttributeCache::invalidate();
    // A setup error leaves the lists empty; there is nothing the user could do about it here.
    if (_ui->_aggDivFiltWidget->setFilterType(AttrFilterWidget::SitePanel).isOk()
        && _ui->_watUsrFiltWidget->setFilterType(AttrFilterWidget::WaterUserPanel).isOk())
        aggDivFiltChangedHandler();
}

WaterUserSelectorDlg::~WaterUserSelectorDlg()
{
    delete _ui;
}

void WaterUserSelectorDlg::setChecked(QTableWidget* table, int row, bool checked)
{
    if (auto* item = dynamic_cast<CheckBoxIconItem*>(table->item(row, 0)))
        item->checked = checked;
}

void WaterUserSelectorDlg::selectAllRows(QTableWidget* table)
{
    // One selection over the whole range: a selection call per row costs time in proportion
    // to the rows already selected.
    if (table->rowCount() == 0)
        return;
    const QItemSelection all(table->model()->index(0, 0),
        table->model()->index(table->rowCount() - 1, table->columnCount() - 1));
    table->selectionModel()->select(all, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void WaterUserSelectorDlg::fillTable(
    QTableWidget* table, const QVector<QVector<QTableWidgetItem*>>& rows)
{
    // All rows are made at once; the items go in with the model's signals blocked, as the view
    // would otherwise hear of every one. It is repainted once, and the columns sized to their
    // contents when it lays out the new rows.
    table->setRowCount(0);
    table->setRowCount(rows.size());
    {
        const QSignalBlocker blocker(table->model());
        for (int row = 0; row < rows.size(); ++row)
            for (int column = 0; column < rows.at(row).size(); ++column)
                table->setItem(row, column, rows.at(row).at(column));
    }
    table->viewport()->update();
}

void WaterUserSelectorDlg::aggDivFiltChangedHandler()
{
    QTableWidget* table = _ui->_aggDivTableWidget;
    {
        const QSignalBlocker blocker(table->selectionModel());
        _chosenSites.clear();
        table->setRowCount(0);

        const QList<QList<int>> filter = _ui->_aggDivFiltWidget->chosenValues();
        AttributeDAO* attributes = TarnDbMgr::instance()->attributeDAO();
        if (!filter.isEmpty() && attributes) {
            QList<int> ids;
            if (attributes->matchingOwners(true, filter, ids).failed())
                return;
            for (int id : qAsConst(ids))
                _chosenSites.insert(id);
            if (!ids.isEmpty()) {
                QList<QPair<int, QString>> sites;
                if (attributes->getSiteNames(ids, sites).failed())
                    return;
                QVector<QVector<QTableWidgetItem*>> rows;
                for (const auto& site : qAsConst(sites)) {
                    auto* item = new CheckBoxIconItem(site.second, true);
                    item->setData(AggDivIdRole, site.first);
                    item->setData(SiteNameRole, site.second);
                    rows.append({ item });
                }
                fillTable(table, rows);
                selectAllRows(table);
            }
        }
    }
    table->viewport()->update();
    refreshWaterUsers();
}

void WaterUserSelectorDlg::aggDivSelChangedHandler(
    const QItemSelection& selected, const QItemSelection& deselected)
{
    QTableWidget* table = _ui->_aggDivTableWidget;
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() != 0)
            continue;
        setChecked(table, index.row(), true);
        _chosenSites.insert(index.data(AggDivIdRole).toInt());
    }
    for (const QModelIndex& index : deselected.indexes()) {
        if (index.column() != 0)
            continue;
        setChecked(table, index.row(), false);
        _chosenSites.remove(index.data(AggDivIdRole).toInt());
    }
    refreshWaterUsers();
}

void WaterUserSelectorDlg::watUsrFiltChangedHandler()
{
    refreshWaterUsers();
}

void WaterUserSelectorDlg::refreshWaterUsers()
{
    QTableWidget* table = _ui->_watUsrTableWidget;
    const QSignalBlocker blocker(table->selectionModel());
    table->setRowCount(0);
    if (_chosenSites.isEmpty())
        return;
    const QList<QList<int>> filter = _ui->_watUsrFiltWidget->chosenValues();
    WaterUserDAO* waterUsers = TarnDbMgr::instance()->waterUserDAO();
    if (filter.isEmpty() || !waterUsers)
        return;

    QList<int> sites = _chosenSites.values();
    std::sort(sites.begin(), sites.end());
    QList<WaterUserRef> found;
    if (waterUsers->getBaselineWaterUsers(sites, filter, found).failed())
        return;
    const bool checked = !_singleSelection;
    QVector<QVector<QTableWidgetItem*>> rows;
    for (const WaterUserRef& waterUser : qAsConst(found)) {
        auto* item = new CheckBoxIconItem(waterUser.WaterUserName, checked);
        item->setData(WaterUserIdRole, waterUser.WaterUserID);
        item->setData(AggDivIdRole, waterUser.AggDivID);
        item->setData(WaterUserNameRole, waterUser.WaterUserName);
        item->setData(SiteNameRole, waterUser.SiteName);
        rows.append({ item, new QTableWidgetItem(waterUser.SiteName) });
    }
    fillTable(table, rows);
    if (checked)
        selectAllRows(table);
    table->viewport()->update();
}

void WaterUserSelectorDlg::watUsrSelChangedHandler(
    const QItemSelection& selected, const QItemSelection& deselected)
{
    QTableWidget* table = _ui->_watUsrTableWidget;
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() == 0)
            setChecked(table, index.row(), true);
    }
    for (const QModelIndex& index : deselected.indexes()) {
        if (index.column() == 0)
            setChecked(table, index.row(), false);
    }
}

void WaterUserSelectorDlg::selAllAggDivBtnHandler()
{
    QTableWidget* table = _ui->_aggDivTableWidget;
    {
        const QSignalBlocker blocker(table->selectionModel());
        for (int row = 0; row < table->rowCount(); ++row) {
            setChecked(table, row, true);
            if (QTableWidgetItem* item = table->item(row, 0))
                _chosenSites.insert(item->data(AggDivIdRole).toInt());
        }
        selectAllRows(table);
    }
    table->viewport()->update();
    refreshWaterUsers();
}

void WaterUserSelectorDlg::selAllWatUsrBtnHandler()
{
    QTableWidget* table = _ui->_watUsrTableWidget;
    {
        const QSignalBlocker blocker(table->selectionModel());
        for (int row = 0; row < table->rowCount(); ++row)
            setChecked(table, row, true);
        selectAllRows(table);
    }
    table->viewport()->update();
}

QVector<WaterUser> WaterUserSelectorDlg::selectedWaterUsers() const
{
    QVector<WaterUser> result;
    WaterUserDAO* dao = TarnDbMgr::instance()->waterUserDAO();
    if (!dao)
        return result;
    QTableWidget* table = _ui->_watUsrTableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        auto* item = dynamic_cast<CheckBoxIconItem*>(table->item(row, 0));
        if (!item || !item->checked)
            continue;
        WaterUser waterUser;
        // A water user deleted meanwhile loads as an empty record; it is not a choice.
        if (dao->getWaterUser(item->data(WaterUserIdRole).toInt(), waterUser).isOk()
            && waterUser.WaterUserID != 0)
            result.append(waterUser);
    }
    return result;
}

AttrSelectionList WaterUserSelectorDlg::selectedFilters() const
{
    return _ui->_aggDivFiltWidget->selectedFilters() + _ui->_watUsrFiltWidget->selectedFilters();
}
