#include "ui/baseline/BaselineDlg.h"
#include "ui_BaselineDlg.h"

#include "calc/DemandCalculator.h"
#include "calc/Recalculation.h"
#include "db/AggDivDAO.h"
#include "db/AttributeDAO.h"
#include "db/BaselineDAO.h"
#include "db/DbFailure.h"
#include "db/ModelOps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"
#include "export/AttributeExporter.h"
#include "ui/baseline/PasswordConfigDlg.h"
#include "ui/baseline/TimeRangeDlg.h"
#include "ui/common/AggDivProxyModel.h"
#include "ui/common/AggDivViewModel.h"
#include "ui/common/AttrValidValViewModel.h"
#include "ui/common/AttributeExportRunner.h"
#include "ui/common/AttributeViewModel.h"
#include "ui/common/HelpButton.h"
#include "ui/common/ModalRunner.h"
#include "ui/common/WaterUserProxyModel.h"
#include "ui/common/WaterUserViewModel.h"

#include <QApplication>
#include <QDate>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QMessageBox>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringList>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>

namespace {

const QString SaveTitle = QStringLiteral("Save Baseline");
const QString CancelTitle = QStringLiteral("Cancel Changes to Baseline");
const QString UncomputedText = QStringLiteral(
    "The results of the edits saved earlier could not be computed, so they are out of date. Run "
    "Recalculate All Data once the cause is fixed; Check Project lists what is out of date.");

template<typename T>
void sortByOrd(QList<T>& records)
{
    std::stable_sort(
        records.begin(), records.end(), [](const T& a, const T& b) { return a.Ord < b.Ord; });
}

} // namespace

BaselineDlg::BaselineDlg(QWidget* parent)
    : CalcSessionDlg(CancelTitle, UncomputedText, parent)
    , _ui(new Ui::BaselineWidgets)
    , _attributeModel(new AttributeViewModel(this))
    , _attrValModel(new AttrValidValViewModel(this))
    , _aggDivViewModel(new AggDivViewModel(this))
    , _aggDivProxy(new AggDivProxyModel(this))
    , _waterUserViewModel(new WaterUserViewModel(this))
    , _waterUserProxy(new WaterUserProxyModel(this))
{
    _aggDivProxy->setSourceModel(_aggDivViewModel);
    _waterUserProxy->setSourceModel(_waterUserViewModel);

    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setupHelpButton(_ui->_helpButton);
    _ui->_attributeTableView->setModel(_attributeModel);
    _ui->_attrValTableView->setModel(_attrValModel);
    _ui->_aggDivTableView->setModel(_aggDivProxy);
    _ui->_waterUserTableView->setModel(_waterUserProxy);

    connect(
        _ui->_addAttributeButton, &QPushButton::clicked, this, &BaselineDlg::addAttributeClicked);
    connect(_ui->_deleteAttributeButton, &QPushButton::clicked, this,
        &BaselineDlg::delAttributeClicked);
    connect(_ui->_addAttrValButton, &QPushButton::clicked, this, &BaselineDlg::addAttrValClicked);
    connect(
        _ui->_deleteAttrValButton, &QPushButton::clicked, this, &BaselineDlg::delAttrValClicked);
    connect(_ui->_aggDivFilterLineEdit, &QLineEdit::textChanged, this,
        &BaselineDlg::aggDivFilterTextChanged);
    connect(_ui->_waterUserFilterLineEdit, &QLineEdit::textChanged, this,
        &BaselineDlg::waterUserFilterTextChanged);
    connect(_ui->_findWaterUserLineEdit, &QLineEdit::returnPressed, this,
        &BaselineDlg::findWaterUserHandler);
    connect(_ui->_moveAggDivUpButton, &QPushButton::clicked, this, [this] { moveAggDiv(true); });
    connect(_ui->_moveAggDivDownButton, &QPushButton::clicked, this, [this] { moveAggDiv(false); });
    connect(_ui->_addAggDivButton, &QPushButton::clicked, this, &BaselineDlg::addAggDivClicked);
    connect(_ui->_editAggDivButton, &QPushButton::clicked, this, &BaselineDlg::editAggDivHandler);
    connect(_ui->_deleteAggDivButton, &QPushButton::clicked, this, &BaselineDlg::delAggDivClicked);
    connect(
        _ui->_moveWaterUserUpButton, &QPushButton::clicked, this, [this] { moveWaterUser(true); });
    connect(_ui->_moveWaterUserDownButton, &QPushButton::clicked, this,
        [this] { moveWaterUser(false); });
    connect(
        _ui->_addWaterUserButton, &QPushButton::clicked, this, &BaselineDlg::addWaterUserHandler);
    connect(
        _ui->_editWaterUserButton, &QPushButton::clicked, this, &BaselineDlg::editWaterUserHandler);
    connect(_ui->_deleteWaterUserButton, &QPushButton::clicked, this,
        &BaselineDlg::delWaterUserHandler);
    connect(_ui->_waterUserTableView, &QAbstractItemView::doubleClicked, this,
        &BaselineDlg::editWaterUserHandler);
    connect(_ui->_modifyPasswordButton, &QPushButton::clicked, this,
        &BaselineDlg::modifyPasswordClicked);
    connect(_ui->_modifyTimeRangeButton, &QPushButton::clicked, this,
        &BaselineDlg::editTimeRangeClicked);
    connect(_ui->_exportAttributesButton, &QPushButton::clicked, this,
        &BaselineDlg::exportAttributesHandler);
    connect(
        _ui->_importInputsButton, &QPushButton::clicked, this, &BaselineDlg::importInputsClicked);
    connect(
        _ui->_exportInputsButton, &QPushButton::clicked, this, &BaselineDlg::exportInputsClicked);
    connect(_ui->_recalculateAllButton, &QPushButton::clicked, this,
        &BaselineDlg::recalculateAllClickedHandler);
    connect(_ui->_okButton, &QPushButton::clicked, this, &TarnDlg::okClicked);
    connect(_ui->_applyButton, &QPushButton::clicked, this, &TarnDlg::applyClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &BaselineDlg::reject);

    connect(_ui->_aggDivTableView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        &BaselineDlg::aggDivSelectionChanged);
    connect(_ui->_attributeTableView->selectionModel(), &QItemSelectionModel::currentRowChanged,
        this, &BaselineDlg::updateAttrValViewModel);
    connect(_ui->_attrValTableView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        &BaselineDlg::attrValSelectionChanged);
    connect(_ui->_waterUserTableView->selectionModel(), &QItemSelectionModel::currentRowChanged,
        this, &BaselineDlg::updateButtons);

    loadBaseline();
    loadAttributes();
    loadAggDivs();

    for (int column : { WaterUserViewModel::IdColumn, WaterUserViewModel::ScenarioColumn,
             WaterUserViewModel::RiffleNameColumn, WaterUserViewModel::NotesColumn,
             WaterUserViewModel::OrdColumn, WaterUserViewModel::AggDivIdColumn,
             WaterUserViewModel::SiteNameColumn })
        _ui->_waterUserTableView->hideColumn(column);
    _ui->_waterUserTableView->horizontalHeader()->setStretchLastSection(true);
    aggDivSelectionChanged();
    updateButtons();

    if (_waterUserDistModel)
        _submitModels.append(_waterUserDistModel);
}

BaselineDlg::~BaselineDlg()
{
    delete _ui;
}

void BaselineDlg::loadBaseline()
{
    BaselineDAO* dao = TarnDbMgr::instance()->baselineDAO();
    const TARN::okstat status
        = dao ? dao->getBaseline(_baseline) : TARN::okstat(QStringLiteral("no project is open"));
    if (status.failed()) {
        showWarning(QStringLiteral("Unable to load baseline: %1").arg(status.text()));
        return;
    }
    _ui->_baselineDescription->setHtml(_baseline.Description);
    _ui->_toolUserName->setText(_baseline.ToolUserName);
    _ui->_createdDateLabel->setText(_baseline.CreatedDate);
    _ui->_modifiedDateLabel->setText(_baseline.ModifiedDate);
    _ui->_startYearLineEdit->setText(QString::number(_baseline.StartYear));
    _ui->_endYearLineEdit->setText(QString::number(_baseline.EndYear));
    if (_baseline.outputTypeId == 1)
        _ui->_outputNameRequested->setChecked(true);
    else if (_baseline.outputTypeId == 2)
        _ui->_outputNameSchedule->setChecked(true);
}

void BaselineDlg::loadAttributes()
{
    AttributeDAO* dao = TarnDbMgr::instance()->attributeDAO();
    AttributeList attributes;
    const TARN::okstat status = dao ? dao->getAttributes(attributes, 0)
                                    : TARN::okstat(QStringLiteral("no project is open"));
    if (status.failed())
        showWarning(QStringLiteral("Unable to load attributes: %1").arg(status.text()));
    _attributeModel->setRecords(attributes);
    QTableView* view = _ui->_attributeTableView;
    for (int column : { AttributeViewModel::IdColumn, AttributeViewModel::BaselineColumn,
             AttributeViewModel::TypeIdColumn })
        view->hideColumn(column);
    view->horizontalHeader()->setSectionResizeMode(
        AttributeViewModel::NameColumn, QHeaderView::Stretch);
    view->selectRow(0);

    QTableView* values = _ui->_attrValTableView;
    values->hideColumn(AttrValidValViewModel::IdColumn);
    values->hideColumn(AttrValidValViewModel::AttrIdColumn);
    values->horizontalHeader()->setSectionResizeMode(
        AttrValidValViewModel::ValueColumn, QHeaderView::Stretch);
}

void BaselineDlg::loadAggDivs()
{
    AggDivDAO* dao = TarnDbMgr::instance()->aggDivDAO();
    AggDivList aggDivs;
    const TARN::okstat status
        = dao ? dao->getAggDivs(aggDivs) : TARN::okstat(QStringLiteral("no project is open"));
    if (status.failed())
        showWarning(QStringLiteral("Unable to load aggregate diversions: %1").arg(status.text()));
    // The stored order is the planner's: the rows come back in whatever order the file keeps.
    sortByOrd(aggDivs);
    _aggDivViewModel->setRecords(aggDivs);
    QTableView* view = _ui->_aggDivTableView;
    for (int column :
        { AggDivViewModel::IdColumn, AggDivViewModel::NotesColumn, AggDivViewModel::OrdColumn })
        view->hideColumn(column);
    view->horizontalHeader()->setStretchLastSection(true);
    view->selectRow(0);
}

int BaselineDlg::currentAggDivRow() const
{
    const QModelIndex index = _ui->_aggDivTableView->currentIndex();
    return index.isValid() ? _aggDivProxy->mapToSource(index).row() : -1;
}

int BaselineDlg::currentWaterUserRow() const
{
    const QModelIndex index = _ui->_waterUserTableView->currentIndex();
    return index.isValid() ? _waterUserProxy->mapToSource(index).row() : -1;
}

void BaselineDlg::updateButtons()
{
    const bool attribute = _ui->_attributeTableView->currentIndex().isValid();
    _ui->_deleteAttributeButton->setEnabled(attribute);
    _ui->_addAttrValButton->setEnabled(attribute);
    _ui->_deleteAttrValButton->setEnabled(_ui->_attrValTableView->currentIndex().isValid());
    const bool site = _ui->_aggDivTableView->currentIndex().isValid();
    for (QPushButton* button : { _ui->_editAggDivButton, _ui->_deleteAggDivButton,
             _ui->_moveAggDivUpButton, _ui->_moveAggDivDownButton, _ui->_addWaterUserButton })
        button->setEnabled(site);
    const bool waterUser = _ui->_waterUserTableView->currentIndex().isValid();
    for (QPushButton* button : { _ui->_editWaterUserButton, _ui->_deleteWaterUserButton,
             _ui->_moveWaterUserUpButton, _ui->_moveWaterUserDownButton })
        button->setEnabled(waterUser);
}

// ---- Settings ---------------------------------------------------------------------------------

void BaselineDlg::editTimeRangeClicked()
{
    const int startYear = _baseline.StartYear;
    const int endYear = _baseline.EndYear;
    TimeRangeDlg dialog(_baseline, this);
    dialog.exec();
    _ui->_startYearLineEdit->setText(QString::number(_baseline.StartYear));
    _ui->_endYearLineEdit->setText(QString::number(_baseline.EndYear));
    if (_baseline.StartYear != startYear || _baseline.EndYear != endYear)
        _changeLog.setFullRecalculation();
}

void BaselineDlg::modifyPasswordClicked()
{
    PasswordConfigDlg dialog(_baseline, this);
    dialog.exec();
}

void BaselineDlg::exportAttributesHandler()
{
    AttributeExportRunner::run(this, AttributeExporter::BaselineId);
}

// ---- Save, recalculation, cancel --------------------------------------------------------------

TARN::okstat BaselineDlg::applyChanges()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    // A failure the dialog did not see (in a dialog it opened) may have ended the transaction;
    // what is saved now would then be written on its own, without the edits before it.
    if (transactionLost())
        return saveFailed(QString(), QString());

    _baseline.Description = _ui->_baselineDescription->toHtml();
    _baseline.ToolUserName = _ui->_toolUserName->text();
    _baseline.ModifiedDate = QDate::currentDate().toString(Qt::ISODate);
    if (_ui->_outputNameRequested->isChecked()) {
        _baseline.outputTypeId = 1;
        _baseline.outputTypeName = QStringLiteral("Requested");
    } else {
        _baseline.outputTypeId = 2;
        _baseline.outputTypeName = QStringLiteral("Scheduled");
    }
    // A baseline row that could not be written (its time range included) must not be
    // committed as if it had been.
    const TARN::okstat baselineSaved = mgr->baselineDAO()->saveBaseline(_baseline);
    if (baselineSaved.failed())
        return saveFailed(baselineSaved.text(), QStringLiteral("Unable to save baseline: %1"));

    const int currentSite = _aggDivViewModel->record(currentAggDivRow()).AggDivID;
    const int currentWaterUser = _waterUserViewModel->record(currentWaterUserRow()).WaterUserID;
    _aggDivViewModel->renumberOrd();
    _waterUserViewModel->renumberOrd();

    AggDivList aggDivs = _aggDivViewModel->records();
    TARN::okstat status = mgr->aggDivDAO()->saveAggDivs(aggDivs);
    if (status.failed())
        return saveFailed(status.text(), QStringLiteral("Unable to save aggregate diversions: %1"));
    _aggDivViewModel->setRecords(aggDivs);

    WaterUserList waterUsers = _waterUserViewModel->records();
    status = mgr->waterUserDAO()->saveWaterUsers(waterUsers);
    if (status.failed())
        return saveFailed(status.text(), QStringLiteral("Unable to save water users: %1"));
    _waterUserViewModel->setRecords(waterUsers);
    // The resets cleared the selections; keep the planner where he was.
    scrollToAggDiv(currentSite);
    scrollToWaterUser(currentWaterUser);

    QStringList failures;
    QString firstError;
    if (!submitModels(_submitModels, failures, firstError))
        return saveFailed(firstError, failures.join(QLatin1Char('\n')), SaveTitle);

    const TARN::okstat committed = mgr->commit();
    if (committed.failed())
        return saveFailed(committed.text(), QStringLiteral("%1"), SaveTitle);

    _ui->_modifiedDateLabel->setText(_baseline.ModifiedDate);
    TARN::okstat result;
    const TARN::okstat calculated = _changeLog.hasChanges() ? recalculate() : TARN::okstat();
    // A failed calculation keeps the recorded edits, so that the next save computes them
    // again, and keeps the dialog open after OK: closing would lose them while the stored
    // results no longer follow the saved input.
    if (calculated.failed()) {
        result = calculated;
        _uncomputed = _changeLog;
    } else {
        _changeLog.clear();
        _uncomputed.clear();
    }
    if ((keepsOpen() || calculated.failed()) && !continueInNewTransaction())
        computeWhatWasSaved();
    updateButtons();
    return result;
}

TARN::okstat BaselineDlg::saveFailed(
    const QString& error, const QString& pattern, const QString& title)
{
    if (transactionLost()) {
        const QString text = DbFailure::editsLost(error, QStringLiteral("the baseline"));
        showWarning(text, SaveTitle);
        reloadFromFile();
        return text;
    }
    QString text = notSavedText(error, QStringLiteral("the baseline"));
    if (text.isEmpty())
        text = pattern.contains(QLatin1String("%1")) ? pattern.arg(DbFailure::databaseText(error))
                                                     : pattern;
    if (title.isEmpty())
        showWarning(text);
    else
        QMessageBox::information(this, title, text);
    return text;
}

bool BaselineDlg::transactionKept(const QString& error)
{
    if (!transactionLost())
        return true;
    showWarning(DbFailure::editsLost(error, QStringLiteral("the baseline")), SaveTitle);
    reloadFromFile();
    return false;
}

void BaselineDlg::reloadFromFile()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    for (QSqlTableModel* model : qAsConst(_submitModels))
        model->revertAll();
    // Nothing is left to undo; this only ends what the connection may still count as open.
    mgr->rollback();
    reselectModels();
    // What was lost needs no computing; what an earlier save committed without its results does.
    _changeLog = _uncomputed;
    const TARN::okstat begun = mgr->beginTransaction();
    if (begun.failed()) {
        showWarning(begun.text());
        computeWhatWasSaved();
        done(QDialog::Rejected);
        return;
    }
    // The list's water users are the lost ones: they must not be saved by the reload.
    reloadLists();
}

void BaselineDlg::reselectModels()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    if (mgr->baselineDAO())
        ModelOps::selectAll(mgr->baselineDAO()->baselineModel());
    for (QSqlTableModel* model :
        { static_cast<QSqlTableModel*>(_aggDivModel), static_cast<QSqlTableModel*>(_waterUserModel),
            static_cast<QSqlTableModel*>(_waterUserDistModel) }) {
        if (model)
            ModelOps::selectAll(model);
    }
}

void BaselineDlg::reloadLists()
{
    _waterUserViewModel->setRecords({});
    loadBaseline();
    loadAttributes();
    loadAggDivs();
    aggDivSelectionChanged();
    updateAttrValViewModel();
}

TARN::okstat BaselineDlg::recalculate()
{
    Recalculation recalculation(_changeLog);
    recalculation.setExecutor([this](DemandCalculator& calculator) {
        return ModalRunner::runCalculator(this, calculator);
    });
    recalculation.setLineHandler([this](const QString& line) { emit diagMessage(line); });
    // Each failure is shown; a scenario's does not keep the others from their results.
    recalculation.setFailureHandler([this](const RecalcRun&, const TARN::okstat& failed) {
        showWarning(failed.text());
        return true;
    });
    const TARN::okstat result = recalculation.run();
    // The scenarios could not be listed: nothing was computed.
    if (result.failed() && !recalculation.failedInRun())
        showWarning(result.text());
    return result;
}

void BaselineDlg::recalculateAllClickedHandler()
{
    if (QMessageBox::question(this, QStringLiteral("Recalculate All Data"),
            QStringLiteral("Are you sure you want to recalculate all baseline and scenario data? "
                           "This operation may take a while."),
            QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    TarnDbMgr* mgr = TarnDbMgr::instance();
    _changeLog.setFullRecalculation();
    bool calculated = false;
    const TARN::okstat commit = mgr->commit();
    const bool committed = commit.isOk();
    if (committed)
        calculated = recalculate().isOk();
    else if (!transactionKept(commit.text()))
        return;
    else
        QMessageBox::information(this, SaveTitle, DbFailure::databaseText(commit.text()));
    // After a failure the flag stays, so that the next save recalculates everything.
    if (calculated) {
        _changeLog.clear();
        _uncomputed.clear();
    } else if (committed) {
        _uncomputed = _changeLog;
    }
    // After a failed commit the dialog goes on in the transaction that is still open.
    if (committed && !continueInNewTransaction())
        computeWhatWasSaved();
}

bool BaselineDlg::computeChanges()
{
    return recalculate().isOk();
}

bool BaselineDlg::rollBackSession()
{
    if (!rollBack(_submitModels))
        return false;
    TarnDbMgr* mgr = TarnDbMgr::instance();
    // The shared models still hold what the rolled-back save wrote into them (the baseline
    // row with its description, password digest and time range among it); left so, the next
    // save or the password check would take it for the file's content.
    if (mgr->baselineDAO())
        ModelOps::selectAll(mgr->baselineDAO()->baselineModel());
    for (QSqlTableModel* model : { static_cast<QSqlTableModel*>(_aggDivModel),
             static_cast<QSqlTableModel*>(_waterUserModel) }) {
        if (model)
            ModelOps::selectAll(model);
    }
    if (mgr->baselineDAO())
        mgr->baselineDAO()->getBaseline(_baseline);
    return true;
}

void BaselineDlg::revertChanges()
{
    rollBackSession();
}
