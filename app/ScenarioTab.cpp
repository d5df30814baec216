#include "app/ScenarioTab.h"

#include "db/DbFailure.h"
#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "ui/common/AttributeExportRunner.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/common/ProjectCheckRunner.h"
#include "ui/scenario/ScenarioDlg.h"

#include <QDate>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <QThreadPool>
#include <QtConcurrent>

namespace {
const QString ErrorTitle = QStringLiteral("TARN Error");
}

ScenarioTab::ScenarioTab(
    QMainWindow* window, const Widgets& widgets, std::function<void(const QString&)> diag)
    : QObject(window)
    , _window(window)
    , _w(widgets)
    , _diag(std::move(diag))
{
    if (_w.copyButton)
        connect(_w.copyButton, &QPushButton::clicked, this, &ScenarioTab::copyScenarioClicked);
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
    if (_w.copyButton)
        _w.copyButton->setEnabled(enabled);
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
    const int scenarioID = ModelRows::lastInsertId(TarnDbMgr::instance()->database());

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
    // One transaction: the scenario and everything that cascades from it are one saved step.
    const TARN::okstat removed = ModelOps::removeRowSaved(_model, current.row());
    if (removed.failed())
        QMessageBox::warning(
            _window, _window->windowTitle(), DbFailure::databaseText(removed.text()));
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

void ScenarioTab::copyScenarioClicked()
{
    const int source = currentScenarioID();
    if (!_model || source < 0)
        return;
    TarnDbMgr* mgr = TarnDbMgr::instance();
    const QString sourceName
        = _w.table->model()->index(_w.table->currentIndex().row(), 2).data().toString();
    bool accepted = false;
    const QString name = QInputDialog::getText(_window, QStringLiteral("Copy Scenario"),
        QStringLiteral("Name of the copy:"), QLineEdit::Normal,
        QStringLiteral("Copy of %1").arg(sourceName), &accepted)
                             .trimmed();
    if (!accepted || name.isEmpty())
        return;
    // Scenario names name the workbook's sheets: two alike would write into one.
    QList<QPair<int, QString>> scenarios;
    mgr->scenarioDAO()->getScenarioNames(scenarios);
    for (const auto& scenario : qAsConst(scenarios)) {
        if (scenario.second.compare(name, Qt::CaseInsensitive) == 0) {
            QMessageBox::warning(_window, QStringLiteral("Copy Scenario"),
                QStringLiteral("A scenario named \"%1\" exists already. Choose another name.")
                    .arg(name));
            return;
        }
    }
    if (!beginTransaction())
        return;
    int copy = 0;
    TARN::okstat status = mgr->scenarioDAO()->copyScenario(source, name, copy);
    if (status.isOk())
        status = mgr->commit();
    if (status.failed()) {
        // Nothing of a copy that failed stays: the whole of it was one transaction.
        mgr->rollback();
        ModelOps::selectAll(_model);
        scenarioSelectionChanged();
        QMessageBox::warning(_window, ErrorTitle,
            QStringLiteral("The scenario could not be copied: %1")
                .arg(DbFailure::databaseText(status.text())));
        return;
    }
    if (_diag)
        _diag(QStringLiteral("Scenario \"%1\" was copied to \"%2\".").arg(sourceName, name));
    const TARN::okstat computed = ProjectCheckRunner::recalculateScenario(_window, copy, _diag);
    ModelOps::selectAll(_model);
    const QModelIndex row = ModelOps::findRowById(_model, copy);
    if (row.isValid())
        _w.table->selectRow(row.row());
    scenarioSelectionChanged();
    if (computed.failed())
        QMessageBox::warning(_window, ErrorTitle,
            QStringLiteral("The copy \"%1\" was made, but its results could not be computed: %2 "
                           "Open it and press Apply, or run Check Project, once the cause is "
                           "fixed.")
                .arg(name, computed.text()));
}
