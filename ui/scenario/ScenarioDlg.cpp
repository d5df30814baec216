#include "ui/scenario/ScenarioDlg.h"
#include "ui_ScenarioDlg.h"

#include "calc/ScenarioDemandCalculator.h"
#include "db/DbFailure.h"
#include "db/ModelOps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "db/WaterUserDAO.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/HelpButton.h"
#include "ui/common/ModalRunner.h"
#include "ui/scenario/ChangeSpecDlg.h"
#include "ui/scenario/DescriptionDelegate.h"

#include <QDataWidgetMapper>
#include <QDate>
#include <QHeaderView>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlRelation>

namespace {

enum ScenarioColumn {
    ScenIdCol = 0,
    ScenNameCol = 2,
    ScenShortNameCol = 3,
    ScenDescriptionCol = 4,
    ScenUserCol = 5,
    ScenCreatedCol = 6,
    ScenModifiedCol = 7
};
enum DemandChgColumn { ChgIdCol = 0, ChgScenarioCol = 1, ChgDescriptionCol = 3, ChgCreatedCol = 4 };
enum WaterUserColumn { WuIdCol = 0, WuAggDivCol = 1, WuScenarioCol = 2, WuNameCol = 3 };

const QString SaveTitle = QStringLiteral("Save Scenario");
const QString CancelTitle = QStringLiteral("Cancel Changes to Scenario");
const QString UncomputedText = QStringLiteral(
    "The results of the changes saved earlier could not be computed, so they are out of date. "
    "Run Recalculate All Data in the baseline editor once the cause is fixed; Check Project lists "
    "what is out of date.");

QString today()
{
    return QDate::currentDate().toString(Qt::ISODate);
}

} // namespace

ScenarioDlg::ScenarioDlg(QWidget* parent)
    : CalcSessionDlg(CancelTitle, UncomputedText, parent)
    , _ui(new Ui::ScenarioWidgets)
    , _mapper(new QDataWidgetMapper(this))
    , _demandChgProxy(new QSortFilterProxyModel(this))
    , _scenarioWaterUserModel(new TarnRelationalTableModel(this, TarnDbMgr::instance()->database()))
    , _waterUserProxy(new QSortFilterProxyModel(this))
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (ScenarioDAO* scenarios = TarnDbMgr::instance()->scenarioDAO()) {
        _scenarioModel = scenarios->scenarioModel();
        _demandChgModel = scenarios->demandChgModel();
        _saveModels = { _scenarioModel, _demandChgModel, scenarios->depletionChgModel(),
            scenarios->efficiencyChgModel() };
    }
    for (QSqlTableModel* model : { _waterUserModel, _waterUserDistModel, _waterUserDataModel }) {
        if (model)
            _saveModels.append(model);
    }
}

ScenarioDlg::~ScenarioDlg()
{
    delete _ui;
}

int ScenarioDlg::findScenarioRow() const
{
    for (int row = 0; row < _scenarioModel->rowCount(); ++row) {
        if (_scenarioModel->index(row, ScenIdCol).data().toInt() == _scenarioID)
            return row;
    }
    return -1;
}

TARN::okstat ScenarioDlg::load(int scenarioID)
{
    _scenarioID = scenarioID;
    setupHelpButton(_ui->_helpButton);
    if (!_scenarioModel || !_demandChgModel)
        return {};

    _mapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    _mapper->setModel(_scenarioModel);
    // The description is stored as the plain text typed (older files may hold HTML).
    _mapper->setItemDelegate(new DescriptionDelegate(_mapper));
    _mapper->addMapping(_ui->_nameLineEdit, ScenNameCol);
    _mapper->addMapping(_ui->_shortNameLineEdit, ScenShortNameCol);
    _mapper->addMapping(_ui->_userLineEdit, ScenUserCol);
    _mapper->addMapping(_ui->_createDateLabel, ScenCreatedCol, "text");
    _mapper->addMapping(_ui->_modDateLabel, ScenModifiedCol, "text");
    _mapper->addMapping(_ui->_descrTextEdit, ScenDescriptionCol);
    _scenarioRow = findScenarioRow();
    _mapper->setCurrentIndex(_scenarioRow);

    const QString onlyThisScenario = QStringLiteral("^%1$").arg(scenarioID);
    ModelOps::selectAll(_demandChgModel);
    _demandChgProxy->setSourceModel(_demandChgModel);
    _demandChgProxy->setFilterKeyColumn(ChgScenarioCol);
    _demandChgProxy->setFilterRegularExpression(onlyThisScenario);
    _ui->_demandChgTableView->setModel(_demandChgProxy);
    QHeaderView* header = _ui->_demandChgTableView->horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int column : { 0, 1, 5, 6, 7 })
        _ui->_demandChgTableView->hideColumn(column);
    header->moveSection(header->visualIndex(ChgCreatedCol), header->visualIndex(ChgDescriptionCol));
    _ui->_demandChgTableView->setItemDelegateForColumn(
        ChgDescriptionCol, new DescriptionDelegate(_ui->_demandChgTableView));

    if (_waterUserModel)
        ModelOps::resetAndSelect(_waterUserModel);
    _scenarioWaterUserModel->setTable(TN::WaterUserTable);
    _scenarioWaterUserModel->setRelation(
        WuAggDivCol, QSqlRelation(TN::AggDivTable, TN::AggDivID, TN::SiteName));
    ModelOps::selectAll(_scenarioWaterUserModel);
    _scenarioWaterUserModel->setHeaderData(WuNameCol, Qt::Horizontal, QStringLiteral("Name"));
    _scenarioWaterUserModel->setHeaderData(
        WuAggDivCol, Qt::Horizontal, QStringLiteral("Agg. Diversion Site"));
    _waterUserProxy->setSourceModel(_scenarioWaterUserModel);
    _waterUserProxy->setFilterKeyColumn(WuScenarioCol);
    _waterUserProxy->setFilterRegularExpression(onlyThisScenario);
    _ui->_waterUsersTableView->setModel(_waterUserProxy);
    header = _ui->_waterUsersTableView->horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int column : { 0, 2, 4, 5, 6 })
        _ui->_waterUsersTableView->hideColumn(column);
    header->moveSection(header->visualIndex(WuAggDivCol), header->visualIndex(WuNameCol));

    connect(_ui->_demandChgTableView->selectionModel(), &QItemSelectionModel::selectionChanged,
        this, &ScenarioDlg::sensitizeWidgets);
    connect(_ui->_waterUsersTableView->selectionModel(), &QItemSelectionModel::selectionChanged,
        this, &ScenarioDlg::sensitizeWidgets);
    connect(_ui->_demandChgTableView, &QTableView::doubleClicked, this,
        &ScenarioDlg::editDemandChgHandler);
    connect(_ui->_waterUsersTableView, &QTableView::doubleClicked, this,
        &ScenarioDlg::editWaterUserClicked);
    connect(_ui->_addDemandChgBtn, &QPushButton::clicked, this, &ScenarioDlg::addDemandChgClicked);
    connect(
        _ui->_editDemandChgBtn, &QPushButton::clicked, this, &ScenarioDlg::editDemandChgHandler);
    connect(_ui->_delDemandChgBtn, &QPushButton::clicked, this, &ScenarioDlg::delDemandChgClicked);
    connect(_ui->_addWaterUserBtn, &QPushButton::clicked, this, &ScenarioDlg::addWaterUserClicked);
    connect(
        _ui->_editWaterUserBtn, &QPushButton::clicked, this, &ScenarioDlg::editWaterUserClicked);
    connect(_ui->_delWaterUserBtn, &QPushButton::clicked, this, &ScenarioDlg::delWaterUserClicked);
    connect(
        _ui->_importChangesButton, &QPushButton::clicked, this, &ScenarioDlg::importChangesClicked);
    connect(
        _ui->_exportChangesButton, &QPushButton::clicked, this, &ScenarioDlg::exportChangesClicked);
    connect(_ui->_okButton, &QPushButton::clicked, this, &TarnDlg::okClicked);
    connect(_ui->_applyButton, &QPushButton::clicked, this, &TarnDlg::applyClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &ScenarioDlg::reject);
    sensitizeWidgets();
    return {};
}

void ScenarioDlg::sensitizeWidgets()
{
    const bool change = _ui->_demandChgTableView->currentIndex().isValid();
    _ui->_editDemandChgBtn->setEnabled(change);
    _ui->_delDemandChgBtn->setEnabled(change);
    const bool waterUser = _ui->_waterUsersTableView->currentIndex().isValid();
    _ui->_editWaterUserBtn->setEnabled(waterUser);
    _ui->_delWaterUserBtn->setEnabled(waterUser);
}

// ---- Demand changes ---------------------------------------------------------------------------

void ScenarioDlg::openChangeSpec(int row, int demandChgID)
{
    _addingWaterUser = false;
    auto* dialog = new ChangeSpecDlg(this);
    connect(dialog, &ChangeSpecDlg::waterUserEdited, this, &ScenarioDlg::waterUserEditedHandler);
    dialog->load(row, demandChgID);
    dialog->exec();
    delete dialog;
    // The change dialog has said what a failed write that ended the transaction took with it.
    if (transactionLost())
        reloadFromFile();
    sensitizeWidgets();
}

void ScenarioDlg::addDemandChgClicked()
{
    QSqlRecord record = _demandChgModel->record();
    record.setValue(TN::ScenarioID, _scenarioID);
    // By position: these columns may carry other names in a file made elsewhere.
    record.setValue(TP::DemandChgName, QString(QLatin1String("")));
    record.setValue(TP::DemandChgCreatedDate, today());
    record.setValue(TP::DemandChgDepletionMethod, TARN::CalcBaselinePlusChanges);
    record.setValue(TP::DemandChgEfficiencyMethod, TARN::CalcBaselinePlusChanges);
    // Columns left unset take the file's defaults (UsesFilters is NOT NULL DEFAULT 0).
    for (int field = 0; field < record.count(); ++field) {
        if (record.isNull(field))
            record.setGenerated(field, false);
    }
    if (!_demandChgModel->insertRecord(-1, record) || !_demandChgModel->submitAll()) {
        const QString error = _demandChgModel->lastError().text();
        // The half-made row must not be written by the next save.
        _demandChgModel->revertAll();
        if (transactionLost()) {
            saveFailed(error, QString());
            return;
        }
        showWarning(QStringLiteral("Unable to create demand change: %1")
                        .arg(DbFailure::databaseText(error)));
        return;
    }
    const int demandChgID = _demandChgModel->query().lastInsertId().toInt();
    ModelOps::selectAll(_demandChgModel);
    const QModelIndex created = ModelOps::findRowById(_demandChgModel, demandChgID);
    openChangeSpec(
        created.isValid() ? created.row() : _demandChgModel->rowCount() - 1, demandChgID);
}

void ScenarioDlg::editDemandChgHandler()
{
    const QModelIndex index
        = _demandChgProxy->mapToSource(_ui->_demandChgTableView->currentIndex());
    if (!index.isValid())
        return;
    const int demandChgID = _demandChgModel->index(index.row(), ChgIdCol).data().toInt();
    openChangeSpec(index.row(), demandChgID);
}

void ScenarioDlg::delDemandChgClicked()
{
    const QModelIndex current = _ui->_demandChgTableView->currentIndex();
    if (!current.isValid())
        return;
    if (QMessageBox::question(this, QStringLiteral("Delete Demand Change"),
            QStringLiteral("Are you sure you want to delete this demand change?"),
            QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::No)
        return;
    const int demandChgID = _demandChgProxy->index(current.row(), ChgIdCol).data().toInt();
    if (!_demandChgProxy->removeRow(current.row())) {
        showWarning(QStringLiteral("Unable to delete the demandChange: %1")
                        .arg(_demandChgModel->lastError().text()));
        return;
    }
    QList<WaterUserRef> members;
    if (ScenarioDAO* scenarios = TarnDbMgr::instance()->scenarioDAO())
        scenarios->getDemandChgMembers(demandChgID, members);
    for (const WaterUserRef& member : qAsConst(members))
        _changeLog.waterUserDeleted(member.AggDivID, member.WaterUserID, member.WaterUserName);
    sensitizeWidgets();
}

// ---- Scenario water users ---------------------------------------------------------------------

void ScenarioDlg::openWaterUser(int waterUserID, int aggDivID, int scenarioID)
{
    auto* dialog = new WaterUserDlg(this, waterUserID, aggDivID, scenarioID);
    connect(dialog, &WaterUserDlg::waterUserEdited, this, &ScenarioDlg::waterUserEditedHandler);
    dialog->exec();
    delete dialog;
    if (transactionLost()) {
        reloadFromFile();
        return;
    }
    // The list shows the names and sites as the water user dialog left them.
    ModelOps::selectAll(_scenarioWaterUserModel);
    sensitizeWidgets();
}

void ScenarioDlg::addWaterUserClicked()
{
    _addingWaterUser = true;
    openWaterUser(-1, -1, _scenarioID);
}

void ScenarioDlg::editWaterUserClicked()
{
    const QModelIndex current = _ui->_waterUsersTableView->currentIndex();
    if (!current.isValid())
        return;
    const int waterUserID = _waterUserProxy->index(current.row(), WuIdCol).data().toInt();
    // The site column shows the site's name; the dialog needs its id.
    int aggDivID = -1;
    WaterUserRef found;
    WaterUserDAO* waterUsers = TarnDbMgr::instance()->waterUserDAO();
    if (waterUsers && waterUsers->findWaterUser(waterUserID, found))
        aggDivID = found.AggDivID;
    _addingWaterUser = false;
    openWaterUser(waterUserID, aggDivID, -1);
}

void ScenarioDlg::delWaterUserClicked()
{
    const QModelIndex current = _ui->_waterUsersTableView->currentIndex();
    if (!current.isValid())
        return;
    if (QMessageBox::question(this, QStringLiteral("Delete Water User"),
            QStringLiteral("Are you sure you want to delete this water user?"),
            QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::No)
        return;
    const int waterUserID = _waterUserProxy->index(current.row(), WuIdCol).data().toInt();
    // Read before the removal: the row leaves the table at once, and its site must still be
    // recalculated without it.
    WaterUserRef deleted;
    WaterUserDAO* waterUsers = TarnDbMgr::instance()->waterUserDAO();
    const bool found = waterUsers && waterUsers->findWaterUser(waterUserID, deleted);
    const int aggDivID = found ? deleted.AggDivID : -1;
    const QString name = found ? deleted.WaterUserName : QString();
    if (!_waterUserProxy->removeRow(current.row())) {
        showWarning(QStringLiteral("Unable to delete the water user: %1")
                        .arg(_scenarioWaterUserModel->lastError().text()));
        _scenarioWaterUserModel->revertAll();
        return;
    }
    if (found)
        _changeLog.waterUserDeleted(aggDivID, waterUserID, name);
    sensitizeWidgets();
}

void ScenarioDlg::waterUserEditedHandler(int aggDivID, int waterUserID, QString waterUserName)
{
    if (_addingWaterUser)
        _changeLog.waterUserAdded(aggDivID, waterUserID, waterUserName);
    else
        _changeLog.waterUserEdited(aggDivID, waterUserID, waterUserName);
}

// ---- Save, recalculation, cancel --------------------------------------------------------------

TARN::okstat ScenarioDlg::applyChanges()
{
    if (!_scenarioModel)
        return {};
    // A failure in a dialog this one opened may have ended the transaction unseen.
    if (transactionLost())
        return saveFailed(QString(), QString());
    // The label is mapped too: it must carry the new date, or the mapper's submit would write
    // the old one back.
    const QString modified = today();
    _ui->_modDateLabel->setText(modified);
    _scenarioModel->setData(_scenarioModel->index(_scenarioRow, ScenModifiedCol), modified);
    if (!_mapper->submit()) {
        const QString error = _scenarioModel->lastError().text();
        if (transactionLost())
            return saveFailed(error, QString());
        const TARN::okstat text = submitError(_scenarioModel);
        showWarning(text.text());
        return text;
    }

    QStringList failures;
    QString firstError;
    if (!submitModels(_saveModels, failures, firstError))
        return saveFailed(firstError, failures.join(QLatin1Char('\n')));
    const TARN::okstat committed = TarnDbMgr::instance()->commit();
    if (committed.failed())
        return saveFailed(committed.text(), DbFailure::databaseText(committed.text()));

    ModelOps::selectAll(_demandChgModel);
    _scenarioRow = findScenarioRow();
    _mapper->setCurrentIndex(_scenarioRow);

    // A failed calculation keeps its entries, so that the next save tries them again, and keeps
    // the dialog open after OK: the saved input no longer matches the stored results.
    const bool calculated = recalculate();
    if (calculated) {
        _changeLog.clear();
        _uncomputed.clear();
    } else {
        _uncomputed = _changeLog;
    }
    if ((keepsOpen() || !calculated) && !continueInNewTransaction())
        computeWhatWasSaved();
    if (!calculated)
        return QStringLiteral("The results of the saved changes could not be computed.");
    return {};
}

TARN::okstat ScenarioDlg::saveFailed(const QString& error, const QString& text)
{
    if (transactionLost()) {
        const QString lost = DbFailure::editsLost(error, QStringLiteral("the scenario"));
        QMessageBox::information(this, SaveTitle, lost);
        reloadFromFile();
        return lost;
    }
    QString shown = notSavedText(error, QStringLiteral("the scenario"));
    if (shown.isEmpty())
        shown = text;
    QMessageBox::information(this, SaveTitle, shown);
    return shown;
}

void ScenarioDlg::reloadFromFile()
{
    for (QSqlTableModel* model : qAsConst(_saveModels))
        model->revertAll();
    TarnDbMgr* mgr = TarnDbMgr::instance();
    // Nothing is left to undo; what an earlier save committed without its results still needs
    // computing.
    mgr->rollback();
    _changeLog = _uncomputed;
    const TARN::okstat begun = mgr->beginTransaction();
    if (begun.failed()) {
        showWarning(begun.text());
        computeWhatWasSaved();
        done(QDialog::Rejected);
        return;
    }
    for (QSqlTableModel* model : qAsConst(_saveModels))
        ModelOps::selectAll(model);
    ModelOps::selectAll(_scenarioWaterUserModel);
    _scenarioRow = findScenarioRow();
    if (_scenarioRow < 0) {
        // A new scenario: its row was among what was lost.
        done(QDialog::Rejected);
        return;
    }
    _mapper->setCurrentIndex(_scenarioRow);
    sensitizeWidgets();
}

bool ScenarioDlg::recalculate()
{
    if (!_changeLog.hasChanges())
        return true;
    const QString name = _scenarioModel->index(_scenarioRow, ScenNameCol).data().toString();
    auto* calculator = new ScenarioDemandCalculator(_scenarioID, name, this);
    const TARN::okstat ready = calculator->initialize(&_changeLog, true);
    if (ready.failed()) {
        delete calculator;
        showWarning(ready.text());
        return false;
    }
    const TARN::okstat result = ModalRunner::runCalculator(this, *calculator);
    delete calculator;
    if (result.failed())
        showWarning(result.text());
    return result.isOk();
}
