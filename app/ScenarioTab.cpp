#include "app/ScenarioTab.h"

#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "ui/common/AttributeExportRunner.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/scenario/ScenarioDlg.h"

#include <QDate>
#include <QFileDialog>
#include <QHeaderView>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <QThreadPool>
#include <QtConcurrent>

namespace {
const QString ErrorTitle = QStringLiteral("TARN Error");
}

ScenarioTab::ScenarioTab(QMainWindow* window, const Widgets& widgets)
    : QObject(window)
    , _window(window)
    , _w(widgets)
{
    connect(_w.addButton, &QPushButton::clicked, this, &ScenarioTab::addScenarioClicked);
    connect(_w.editButton, &QPushButton::clicked, this, &ScenarioTab::editScenarioClicked);
    connect(_w.deleteButton, &QPushButton::clicked, this, &ScenarioTab::delScenarioClicked);
    connect(_w.exportButton, &QPushButton::clicked, this, &ScenarioTab::exportScenarioClicked);
    connect(_w.table, &QTableView::doubleClicked, this, &ScenarioTab::editScenarioClicked);
}

void ScenarioTab::setModel(QSqlTableModel* model)
{
    _model = model;
    _w.table->setModel(model);
    _w.table->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    // A new model comes with a new selection model.
    connect(_w.table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &ScenarioTab::scenarioSelectionChanged, Qt::UniqueConnection);
    setRowButtonsEnabled(false);
}

void ScenarioTab::setRowButtonsEnabled(bool enabled)
{
    _w.editButton->setEnabled(enabled);
    _w.deleteButton->setEnabled(enabled);
    _w.exportButton->setEnabled(enabled);
}

void ScenarioTab::scenarioSelectionChanged()
{
    const QItemSelectionModel* selection = _w.table->selectionModel();
    setRowButtonsEnabled(selection && !selection->selectedRows(0).isEmpty());
}

int ScenarioTab::currentScenarioID() const
{
    const QModelIndex current = _w.table->currentIndex();
    if (!current.isValid())
        return -1;
    return _w.table->model()->index(current.row(), 0).data().toInt();
}

bool ScenarioTab::beginTransaction()
{
    const TARN::okstat begun = TarnDbMgr::instance()->beginTransaction();
    if (begun.failed()) {
        QMessageBox::warning(_window, ErrorTitle, begun.text());
        return false;
    }
    return true;
}

void ScenarioTab::addScenarioClicked()
{
    if (!_model || !beginTransaction())
        return;
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    QSqlRecord record = _model->record();
    record.setValue(TN::BaselineID, 1);
    for (const QString& column :
        { TN::ScenarioName, TN::ScenarioShortName, TN::ScenarioDescription })
        record.setValue(column, QString(QLatin1String("")));
    // The user and date columns may carry other names in a file made elsewhere.
    record.setValue(TP::ScenarioUserName, QString(QLatin1String("")));
    record.setValue(TP::ScenarioCreatedDate, today);
    record.setValue(TP::ScenarioModifiedDate, today);
    record.setGenerated(TN::ScenarioID, false);
    if (!_model->insertRecord(-1, record) || !_model->submitAll()) {
        QMessageBox::warning(_window, ErrorTitle, _model->lastError().text());
        _model->revertAll();
        TarnDbMgr::instance()->rollback();
        return;
    }
    const int scenarioID = _model->query().lastInsertId().toInt();

    auto* dialog = new ScenarioDlg(_window);
    const bool loaded = dialog->load(scenarioID).isOk();
    // The dialog ends the transaction itself when it is accepted or cancelled; what is left
    // open here (a failed load) must still remove the new row.
    if (!loaded || dialog->exec() != QDialog::Accepted)
        TarnDbMgr::instance()->rollback();
    delete dialog;
    ModelOps::selectAll(_model);
    // The re-select dropped the selection without a signal: the row buttons follow it here.
    scenarioSelectionChanged();
}

void ScenarioTab::editScenarioClicked()
{
    if (!_model || currentScenarioID() < 0 || !beginTransaction())
        return;
    auto* dialog = new ScenarioDlg(_window);
    if (dialog->load(currentScenarioID()).isOk())
        dialog->exec();
    delete dialog;
}

void ScenarioTab::delScenarioClicked()
{
    if (!_model)
        return;
    if (QMessageBox::question(_window, QStringLiteral("Delete Scenario"),
            QStringLiteral(
                "Are you sure you want to delete this scenario and its associated demand changes?"),
            QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const QModelIndex current = _w.table->currentIndex();
    if (!current.isValid())
        return;
    if (!_model->removeRow(current.row()) || !_model->submitAll()) {
        QMessageBox::warning(_window, _window->windowTitle(), _model->lastError().text());
        // A removal that did not reach the file must not be written by a later submit.
        _model->revertAll();
    }
    setRowButtonsEnabled(false);
}

void ScenarioTab::exportScenarioClicked()
{
    // Without a chosen scenario the export would write the baseline's attributes.
    const int scenarioID = currentScenarioID();
    if (scenarioID < 0)
        return;
    AttributeExportRunner::run(_window, scenarioID);
}
