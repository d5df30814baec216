#include "ui/plot/PlotDlg.h"
#include "ui_PlotDlg.h"

#include "db/DbFailure.h"
#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/PlotDAO.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/common/HelpButton.h"
#include "ui/plot/CurveDlg.h"
#include "ui/plot/ScenarioPlotDlg.h"

#include <QDataWidgetMapper>
#include <QMessageBox>
#include <QSet>
#include <QSqlError>
#include <QSqlRecord>
#include <QStandardItemModel>

namespace {
enum PlotColumn { PlotIdCol = 0, PlotNameCol, PlotDescriptionCol };
const QString SaveTitle = QStringLiteral("Save Plot");
} // namespace

PlotDlg::PlotDlg(int plotID, QWidget* parent)
    : TarnDlg(parent)
    , _ui(new Ui::PlotWidgets)
    , _plotID(plotID)
    , _mapper(new QDataWidgetMapper(this))
    , _curveTable(new QStandardItemModel(this))
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (PlotDAO* plots = TarnDbMgr::instance()->plotDAO()) {
        _plotModel = plots->plotModel();
        _plotScenarioModel = plots->plotScenarioModel();
        _plotCurveModel = plots->plotCurveModel();
    }

    if (_plotModel) {
        _mapper->setModel(_plotModel);
        _mapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
        _mapper->addMapping(_ui->_nameLineEdit, PlotNameCol);
        _mapper->addMapping(_ui->_descriptionTextEdit, PlotDescriptionCol);
        _mapper->setCurrentIndex(plotRow());
    }
    for (TarnRelationalTableModel* model : { _plotScenarioModel, _plotCurveModel }) {
        if (model)
            ModelOps::selectAll(model);
    }

    _ui->_curveTableView->setModel(_curveTable);
    loadScenarios();
    loadCurves();

    connect(_ui->_okButton, &QPushButton::clicked, this, &TarnDlg::okClicked);
    connect(_ui->_applyButton, &QPushButton::clicked, this, &TarnDlg::applyClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &PlotDlg::reject);
    connect(_ui->_generateButton, &QPushButton::clicked, this, &PlotDlg::generateClicked);
    connect(_ui->_addCurveButton, &QPushButton::clicked, this, &PlotDlg::addCurveClicked);
    connect(_ui->_editCurveButton, &QPushButton::clicked, this, &PlotDlg::editCurveClicked);
    connect(_ui->_deleteCurveButton, &QPushButton::clicked, this, &PlotDlg::deleteCurveClicked);
    connect(
        _ui->_curveTableView, &QAbstractItemView::doubleClicked, this, &PlotDlg::editCurveClicked);
    setupHelpButton(_ui->_helpButton);
}

PlotDlg::~PlotDlg()
{
    delete _ui;
}

int PlotDlg::plotRow() const
{
    const QModelIndex index = ModelOps::findRowById(_plotModel, _plotID);
    return index.isValid() ? index.row() : -1;
}

TARN::okstat PlotDlg::fail(const QString& message, const QString& title)
{
    if (transactionLost()) {
        const QString lost = DbFailure::editsLost(message, QStringLiteral("the plot"));
        showWarning(lost, SaveTitle);
        reloadFromFile();
        return lost;
    }
    const QString known = notSavedText(message, QStringLiteral("the plot"));
    showWarning(known.isEmpty() ? message : known, title);
    return known.isEmpty() ? message : known;
}

void PlotDlg::reloadFromFile()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    _mapper->revert();
    for (TarnRelationalTableModel* model : { _plotModel, _plotScenarioModel, _plotCurveModel }) {
        if (model)
            model->revertAll();
    }
    // Nothing is left to undo; the opener rolls back the new transaction if the dialog closes.
    mgr->rollback();
    const TARN::okstat begun = mgr->beginTransaction();
    if (begun.failed()) {
        showWarning(begun.text());
        done(QDialog::Rejected);
        return;
    }
    for (TarnRelationalTableModel* model : { _plotModel, _plotScenarioModel, _plotCurveModel }) {
        if (model)
            ModelOps::selectAll(model);
    }
    const int row = plotRow();
    if (row < 0) {
        // A new plot: its row was among what was lost.
        done(QDialog::Rejected);
        return;
    }
    _mapper->setCurrentIndex(row);
    loadScenarios();
    loadCurves();
}

void PlotDlg::loadScenarios()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    QSet<int> chosen;
    bool baselineChosen = false;
    QList<QVariant> stored;
    if (mgr->plotDAO())
        mgr->plotDAO()->getPlotScenarioIds(_plotID, stored);
    for (const QVariant& id : qAsConst(stored)) {
        if (id.isNull())
            baselineChosen = true;
        else
            chosen.insert(id.toInt());
    }

    QListWidget* list = _ui->_scenarioListWidget;
    list->clear();
    auto addItem = [list](const QString& text, const QVariant& id, bool checked) {
        auto* item = new QListWidgetItem(text, list);
        item->setData(Qt::UserRole, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    };
    addItem(QStringLiteral("Baseline"), QVariant(), baselineChosen);
    QList<QPair<int, QString>> scenarios;
    if (mgr->scenarioDAO())
        mgr->scenarioDAO()->getScenarioNames(scenarios);
    for (const auto& scenario : qAsConst(scenarios))
        addItem(scenario.second, scenario.first, chosen.contains(scenario.first));
}

void PlotDlg::loadCurves()
{
    _curveTable->clear();
    _curveTable->setHorizontalHeaderLabels(
        { QStringLiteral("Name"), QStringLiteral("Data Type"), QStringLiteral("Water Users") });
    PlotDAO* plots = TarnDbMgr::instance()->plotDAO();
    QList<PlotCurveSummary> curves;
    if (!plots || plots->getPlotCurveSummaries(_plotID, curves).failed())
        return;
    for (const PlotCurveSummary& curve : qAsConst(curves)) {
        auto* name = new QStandardItem(curve.Name);
        name->setData(curve.PlotCurveID, Qt::UserRole);
        _curveTable->appendRow({ name, new QStandardItem(curve.DataTypeName),
            new QStandardItem(QString::number(curve.WaterUserCount)) });
    }
}

TARN::okstat PlotDlg::applyChanges()
{
    if (!_plotModel || !_plotScenarioModel)
        return fail(
            QStringLiteral("Error saving the plot: %1").arg(QStringLiteral("no project is open")),
            SaveTitle);
    // A failure in the curve dialog may have ended the transaction unseen.
    if (transactionLost())
        return fail(QString());
    if (_ui->_nameLineEdit->text().isEmpty())
        return fail(QStringLiteral("The plot must have a name."), SaveTitle);

    if (!_mapper->submit() || !_plotModel->submitAll())
        return fail(QStringLiteral("Error saving the plot: %1").arg(_plotModel->lastError().text()),
            SaveTitle);

    // Submitting re-selects the model; the mapper must point at the plot's row again.
    _mapper->setCurrentIndex(plotRow());

    PlotDAO* plots = TarnDbMgr::instance()->plotDAO();
    const TARN::okstat removed
        = plots ? plots->clearPlotScenarios(_plotID) : TARN::okstat(QStringLiteral("no project"));
    if (removed.failed())
        return fail(
            QStringLiteral("Unable to delete existing scenario selection: %1").arg(removed.text()));
    // The model still lists the rows just deleted; a submit must not touch them again.
    ModelOps::selectAll(_plotScenarioModel);
    const QListWidget* list = _ui->_scenarioListWidget;
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        if (item->checkState() != Qt::Checked)
            continue;
        QSqlRecord record = _plotScenarioModel->record();
        record.setGenerated(TP::Key, false);
        record.setValue(TN::PlotID, _plotID);
        record.setValue(TN::ScenarioID, item->data(Qt::UserRole));
        if (!_plotScenarioModel->insertRecord(-1, record)) {
            // Submitting the rows inserted so far would store a selection without this one.
            QString error = _plotScenarioModel->lastError().text();
            if (error.trimmed().isEmpty())
                error = QStringLiteral("\"%1\" could not be added").arg(item->text());
            _plotScenarioModel->revertAll();
            return fail(QStringLiteral("Error saving scenario selection: %1").arg(error));
        }
    }
    if (!_plotScenarioModel->submitAll()) {
        const QString error = _plotScenarioModel->lastError().text();
        _plotScenarioModel->revertAll();
        return fail(QStringLiteral("Error saving scenario selection: %1").arg(error));
    }

    const TARN::okstat committed = TarnDbMgr::instance()->commit();
    if (committed.failed())
        return fail(QStringLiteral("Error saving the plot: %1")
                        .arg(DbFailure::databaseText(committed.text())),
            SaveTitle);
    _mapper->setCurrentIndex(plotRow());
    if (keepsOpen() && !continueInNewTransaction())
        return QStringLiteral("Cannot begin the transaction");
    return {};
}

void PlotDlg::reject()
{
    if (QMessageBox::question(this, QStringLiteral("Cancel Changes to Plot"),
            QStringLiteral("Are you sure you want to cancel? Any changes made will be lost."),
            QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    // The opener rolls the transaction back; nothing of this dialog may stay pending in the
    // shared models for a later submit.
    _mapper->revert();
    for (TarnRelationalTableModel* model : { _plotModel, _plotScenarioModel, _plotCurveModel }) {
        if (model)
            model->revertAll();
    }
    TarnDlg::reject();
}

void PlotDlg::generateClicked()
{
    auto* window = new ScenarioPlotDlg(_ui->_nameLineEdit->text(), this);
    window->setPlotID(_plotID);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setModal(false);
    connect(
        window, &PlotDisplayDlg::preGenerate, this,
        [this] {
            setKeepsOpen(true);
            applyChanges();
        },
        Qt::DirectConnection);
    emit plotWindowOpened(window);
    window->show();
}

void PlotDlg::addCurveClicked()
{
    if (!_plotCurveModel)
        return;
    QSqlRecord record = _plotCurveModel->record();
    record.setGenerated(TN::PlotCurveID, false);
    record.setValue(TN::PlotID, _plotID);
    record.setValue(TN::Name, QStringLiteral(""));
    record.setValue(TN::CurveDataTypeID, int(TARN::CurveDepletion));
    int curveID = 0;
    const TARN::okstat made = ModelRows::insert(_plotCurveModel, record, curveID);
    if (made.failed()) {
        fail(QStringLiteral("Unable to create curve: %1").arg(made.text()));
        return;
    }
    if (curveID == 0)
        return;
    runCurveDlg(curveID);
}

void PlotDlg::runCurveDlg(int curveID)
{
    {
        CurveDlg curve(curveID, this);
        curve.exec();
    }
    // The curve dialog has said what a failed write that ended the transaction took with it.
    if (transactionLost()) {
        reloadFromFile();
        return;
    }
    loadCurves();
}

void PlotDlg::editCurveClicked()
{
    const QModelIndex current = _ui->_curveTableView->currentIndex();
    if (!current.isValid())
        return;
    runCurveDlg(_curveTable->index(current.row(), CurveNameColumn).data(Qt::UserRole).toInt());
}

void PlotDlg::deleteCurveClicked()
{
    const QModelIndex current = _ui->_curveTableView->currentIndex();
    if (!current.isValid() || !_plotCurveModel)
        return;
    if (QMessageBox::question(this, QStringLiteral("Delete Curve"),
            QStringLiteral("Are you sure you want to delete this curve?"),
            QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const int curveID
        = _curveTable->index(current.row(), CurveNameColumn).data(Qt::UserRole).toInt();
    const TARN::okstat deleted = ModelOps::deleteWhere(_plotCurveModel, TN::PlotCurveID, curveID);
    if (deleted.failed())
        fail(QStringLiteral("Unable to delete the curve: %1").arg(deleted.text()));
    ModelOps::selectAll(_plotCurveModel);
    loadCurves();
}
