#include "ui/scenario/ChangeSpecDlg.h"
#include "ui_ChangeSpecDlg.h"

#include "db/ModelOps.h"
#include "db/Records.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"
#include "ui/common/AttributeSelectionViewModel.h"
#include "ui/common/CheckBoxIconItem.h"
#include "ui/common/HelpButton.h"
#include "ui/common/WaterUserViewModel.h"
#include "ui/scenario/DescriptionDelegate.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QDataWidgetMapper>
#include <QHash>
#include <QHeaderView>
#include <QMessageBox>
#include <QSet>
#include <QStringList>
#include <QTableWidget>

#include <cmath>

namespace {

enum DemandChgColumn { NameCol = 2, DescriptionCol = 3, UsesFiltersCol = 7 };

bool allChecked(const QTableWidget* table)
{
    if (!table)
        return false;
    for (int row = 0; row < table->rowCount(); ++row) {
        const auto* item = dynamic_cast<const CheckBoxIconItem*>(table->item(row, 0));
        if (!item || !item->checked)
            return false;
    }
    return true;
}

} // namespace

ChangeSpecDlg::ChangeSpecDlg(QWidget* parent)
    : TarnDlg(parent)
    , _ui(new Ui::ChangeSpecWidgets)
    , _mapper(new QDataWidgetMapper(this))
    , _waterUserModel(new WaterUserViewModel(this))
    , _filterModel(new AttributeSelectionViewModel(this))
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (ScenarioDAO* scenarios = TarnDbMgr::instance()->scenarioDAO())
        _demandChgModel = scenarios->demandChgModel();
}

ChangeSpecDlg::~ChangeSpecDlg()
{
    delete _ui;
}

QModelIndex ChangeSpecDlg::usesFiltersIndex() const
{
    return _demandChgModel ? _demandChgModel->index(_row, UsesFiltersCol) : QModelIndex();
}

void ChangeSpecDlg::load(int row, int demandChgID)
{
    _row = row;
    _demandChgID = demandChgID;
    connect(_ui->_okButton, &QPushButton::clicked, this, &ChangeSpecDlg::okClicked);
    connect(_ui->_applyButton, &QPushButton::clicked, this, &ChangeSpecDlg::applyClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &ChangeSpecDlg::reject);
    connect(
        _ui->_watUsrSelectBtn, &QPushButton::clicked, this, &ChangeSpecDlg::selectWatUsrHandler);
    setupHelpButton(_ui->_helpButton);

    ScenarioDAO* scenarios = TarnDbMgr::instance()->scenarioDAO();
    if (!scenarios || !_demandChgModel)
        return;
    _mapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    _mapper->setModel(_demandChgModel);
    // The description is stored as the plain text typed (older files may hold HTML).
    _mapper->setItemDelegate(new DescriptionDelegate(_mapper));
    _mapper->addMapping(_ui->_nameLineEdit, NameCol);
    _mapper->addMapping(_ui->_descrTextEdit, DescriptionCol);
    _mapper->setCurrentIndex(row);
    _writtenUsesFilters = usesFiltersIndex().data();

    TARN::okstat status = scenarios->getDemandChgWaterUsers(demandChgID, _waterUserList);
    if (status.failed()) {
        QMessageBox::warning(this, QStringLiteral("Load Demand Change"),
            QStringLiteral("Error loading demand change: %1").arg(status.text()));
        return;
    }
    _waterUsersKnown = true;
    _writtenWaterUsers = _waterUserList;
    bindViews(false);

    status = scenarios->getDemandSelections(demandChgID, _filterList);
    if (status.failed()) {
        QMessageBox::warning(this, QStringLiteral("Load Demand Change"),
            QStringLiteral("Error loading demand change: %1").arg(status.text()));
        return;
    }
    _filtersKnown = true;
    bindViews(true);

    _ui->_depDataWidget->setup(ChangeDataWidget::Depletion, row, demandChgID);
    _ui->_effDataWidget->setup(ChangeDataWidget::Efficiency, row, demandChgID);
    for (ChangeDataWidget* widget : { _ui->_depDataWidget, _ui->_effDataWidget })
        connect(widget, &ChangeDataWidget::methodChanged, this, &ChangeSpecDlg::showMethodNote);
    showMethodNote();
    refreshBaselineValues();
}

void ChangeSpecDlg::showMethodNote()
{
    _ui->_methodNoteLabel->setVisible(_ui->_depDataWidget->method() == TARN::CalcBaselinePlusChanges
        && _ui->_effDataWidget->method() == TARN::CalcInterpolateChanges);
}

void ChangeSpecDlg::bindViews(bool filters)
{
    const bool fresh = _ui->_watUsrTableView->model() != _waterUserModel;
    if (fresh)
        _ui->_watUsrTableView->setModel(_waterUserModel);
    showWaterUsers();
    if (fresh) {
        for (int column : { 0, 1, 3, 4, 5, 6 })
            _ui->_watUsrTableView->hideColumn(column);
    }
    if (filters) {
        _ui->_filtersTableView->setModel(_filterModel);
        showFilters();
    }
}

void ChangeSpecDlg::showWaterUsers()
{
    _waterUserModel->setRecords(_waterUserList);
    _ui->_watUsrTableView->resizeColumnsToContents();
}

void ChangeSpecDlg::showFilters()
{
    _filterModel->setSelections(_filterList);
    _ui->_filtersTableView->resizeColumnToContents(AttributeSelectionViewModel::TypeColumn);
    _ui->_filtersTableView->resizeColumnToContents(AttributeSelectionViewModel::AttributeColumn);
}

void ChangeSpecDlg::refreshBaselineValues()
{
    QList<int> ids;
    for (const WaterUser& waterUser : qAsConst(_waterUserList))
        ids << waterUser.WaterUserID;
    QHash<int, double> depletionTotals;
    QHash<int, double> efficiencies;
    QList<BaseYearlyValue> rows;
    if (WaterUserDAO* waterUsers = TarnDbMgr::instance()->waterUserDAO())
        waterUsers->getBaseYearlyValues(ids, rows);
    for (const BaseYearlyValue& row : qAsConst(rows)) {
        depletionTotals[row.Year] += row.DepletionValue;
        const double efficiency = row.EfficiencyRatioValue;
        auto found = efficiencies.find(row.Year);
        if (found == efficiencies.end())
            efficiencies.insert(row.Year, efficiency);
        else if (std::isnan(efficiency) || *found != efficiency)
            *found = -1.0;
    }
    _ui->_depDataWidget->setBaselineValues(depletionTotals);
    _ui->_effDataWidget->setBaselineValues(efficiencies);
}

void ChangeSpecDlg::selectWatUsrHandler()
{
    WaterUserSelectorDlg selector(this, false);
    if (selector.exec() != QDialog::Accepted)
        return;
    const QVector<WaterUser> chosen = selector.selectedWaterUsers();
    _waterUserList = WaterUserList(chosen.cbegin(), chosen.cend());
    refreshBaselineValues();

    const bool usesFilters
        = allChecked(selector.findChild<QTableWidget*>(QStringLiteral("_aggDivTableWidget")))
        && allChecked(selector.findChild<QTableWidget*>(QStringLiteral("_watUsrTableWidget")));
    if (_demandChgModel)
        _demandChgModel->setData(usesFiltersIndex(), usesFilters ? 1 : 0);
    _filterList.clear();
    if (usesFilters)
        _filterList = selector.selectedFilters();
    // Chosen anew, both lists are known now, even after a load that failed.
    _waterUsersKnown = true;
    _filtersKnown = true;
    bindViews(true);
}

TARN::okstat ChangeSpecDlg::applyChanges()
{
    if (!_demandChgModel)
        return {};
    if (transactionLost()) {
        revertEdits();
        closeAfterLostTransaction(QString(), QStringLiteral("the demand change"));
        return QStringLiteral("The editing session has ended.");
    }
    if (!_mapper->submit())
        return submitError(_demandChgModel);
    for (ChangeDataWidget* widget : { _ui->_depDataWidget, _ui->_effDataWidget }) {
        const TARN::okstat saved = widget->save();
        if (saved.failed()) {
            showWarning(saved.text());
            return saved;
        }
    }

    ScenarioDAO* scenarios = TarnDbMgr::instance()->scenarioDAO();
    const TARN::okstat usersSet = _waterUsersKnown
        ? scenarios->setDemandChgWaterUsers(_demandChgID, _waterUserList)
        : TARN::okstat();
    QSet<int> reported;
    for (const WaterUser& waterUser : qAsConst(_waterUserList)) {
        reported.insert(waterUser.WaterUserID);
        emit waterUserEdited(
            waterUser.aggDiv.AggDivID, waterUser.WaterUserID, waterUser.WaterUserName);
    }
    // Water users the change no longer selects lose its effect and are recalculated as well.
    for (const WaterUser& waterUser : qAsConst(_writtenWaterUsers)) {
        if (!reported.contains(waterUser.WaterUserID))
            emit waterUserEdited(
                waterUser.aggDiv.AggDivID, waterUser.WaterUserID, waterUser.WaterUserName);
    }
    const bool usesFilters = usesFiltersIndex().data().toInt() != 0;
    const TARN::okstat filtersSet = _filtersKnown
        ? scenarios->setDemandSelections(_demandChgID, usesFilters, _filterList)
        : TARN::okstat();
    for (const TARN::okstat& written : { usersSet, filtersSet }) {
        if (written.failed() && transactionLost()) {
            revertEdits();
            closeAfterLostTransaction(written.text(), QStringLiteral("the demand change"));
            return written;
        }
    }
    if (usersSet.failed())
        return usersSet;
    if (filtersSet.failed())
        return filtersSet;
    _writtenWaterUsers = _waterUserList;
    _writtenUsesFilters = usesFiltersIndex().data();
    return {};
}

void ChangeSpecDlg::revertEdits()
{
    _ui->_depDataWidget->revert();
    _ui->_effDataWidget->revert();
    _mapper->revert();
    // Only the flag goes back: reverting the whole row would also drop edits of this change
    // that an earlier OK or Apply left pending for the scenario dialog's save.
    const QModelIndex flag = usesFiltersIndex();
    if (_demandChgModel && flag.isValid() && flag.data() != _writtenUsesFilters)
        _demandChgModel->setData(flag, _writtenUsesFilters);
}

void ChangeSpecDlg::revertChanges()
{
    revertEdits();
}

void ChangeSpecDlg::reject()
{
    revertEdits();
    TarnDlg::reject();
}

void ChangeSpecDlg::showEvent(QShowEvent* event)
{
    TarnDlg::showEvent(event);
    adjustSize();
}
