#include "app/PlottingTab.h"

#include "db/ModelOps.h"
#include "db/ModelRows.h"
#include "db/PlotDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "ui/plot/PlotDlg.h"
#include "ui/plot/ScenarioPlotDlg.h"

#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>

namespace {
const QString ErrorTitle = QStringLiteral("TARN Error");
}

PlottingTab::PlottingTab(QWidget* window, const Widgets& widgets)
    : QObject(window)
    , _window(window)
    , _w(widgets)
{
    connect(_w.addPlotButton, &QPushButton::clicked, this, &PlottingTab::addPlotClicked);
    connect(_w.editPlotButton, &QPushButton::clicked, this, &PlottingTab::editPlotClicked);
    connect(_w.deletePlotButton, &QPushButton::clicked, this, &PlottingTab::deletePlotClicked);
    connect(_w.generatePlotButton, &QPushButton::clicked, this, &PlottingTab::generatePlotClicked);
}

void PlottingTab::bindModel()
{
    if (QItemSelectionModel* selection = _w.plotTableView->selectionModel())
        connect(selection, &QItemSelectionModel::selectionChanged, this,
            &PlottingTab::plotSelectionChanged, Qt::UniqueConnection);
    connect(_w.plotTableView, &QAbstractItemView::doubleClicked, this,
        &PlottingTab::editPlotClicked, Qt::UniqueConnection);
}

QSqlTableModel* PlottingTab::plotModel() const
{
    PlotDAO* plots = TarnDbMgr::instance()->plotDAO();
    return plots ? plots->plotModel() : nullptr;
}

int PlottingTab::currentColumn(int column, QVariant* value) const
{
    const QModelIndex current = _w.plotTableView->currentIndex();
    if (!current.isValid() || !_w.plotTableView->model())
        return -1;
    *value = _w.plotTableView->model()->index(current.row(), column).data();
    return current.row();
}

void PlottingTab::setRowButtonsEnabled(bool enabled)
{
    _w.editPlotButton->setEnabled(enabled);
    _w.deletePlotButton->setEnabled(enabled);
    _w.generatePlotButton->setEnabled(enabled);
}

void PlottingTab::plotSelectionChanged()
{
    QItemSelectionModel* selection = _w.plotTableView->selectionModel();
    setRowButtonsEnabled(selection && !selection->selectedRows(0).isEmpty());
}

void PlottingTab::reselect()
{
    if (QSqlTableModel* model = plotModel())
        ModelOps::selectAll(model);
    plotSelectionChanged();
}

void PlottingTab::addPlotClicked()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    QSqlTableModel* model = plotModel();
    if (!model)
        return;
    const TARN::okstat begun = mgr->beginTransaction();
    if (begun.failed()) {
        QMessageBox::warning(_window, ErrorTitle, begun.text());
        return;
    }
    QSqlRecord record = model->record();
    record.setGenerated(TN::PlotID, false);
    record.setValue(TN::Name, QStringLiteral(""));
    int plotID = 0;
    const TARN::okstat made = ModelRows::insert(model, record, plotID);
    if (made.failed()) {
        QMessageBox::warning(_window, ErrorTitle, made.text());
        mgr->rollback();
        return;
    }

    auto* dialog = new PlotDlg(plotID, _window);
    if (dialog->exec() != QDialog::Accepted)
        mgr->rollback();
    delete dialog;
    reselect();
}

void PlottingTab::editPlotClicked()
{
    QVariant id;
    if (currentColumn(0, &id) < 0)
        return;
    TarnDbMgr* mgr = TarnDbMgr::instance();
    const TARN::okstat begun = mgr->beginTransaction();
    if (begun.failed()) {
        QMessageBox::warning(_window, ErrorTitle, begun.text());
        return;
    }
    auto* dialog = new PlotDlg(id.toInt(), _window);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!accepted)
        mgr->rollback();
    delete dialog;
    // After a rollback the list would still show what the dialog had submitted.
    if (!accepted)
        reselect();
}

void PlottingTab::deletePlotClicked()
{
    QSqlTableModel* model = plotModel();
    const QModelIndex current = _w.plotTableView->currentIndex();
    if (!model || !current.isValid())
        return;
    if (QMessageBox::question(_window, QStringLiteral("Delete Plot"),
            QStringLiteral("Are you sure you want to delete this plot?"),
            QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const TARN::okstat removed = ModelOps::removeRowSaved(model, current.row());
    if (removed.failed())
        QMessageBox::warning(_window, _window->windowTitle(), removed.text());
    setRowButtonsEnabled(false);
}

ScenarioPlotDlg* PlottingTab::generatePlotClicked()
{
    QVariant id;
    const int row = currentColumn(0, &id);
    if (row < 0)
        return nullptr;
    const QString name = _w.plotTableView->model()->index(row, 1).data().toString();
    auto* window = new ScenarioPlotDlg(name, _window);
    window->setPlotID(id.toInt());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setModal(false);
    window->show();
    return window;
}
