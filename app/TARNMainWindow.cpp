#include "app/TARNMainWindow.h"
#include "app/ScenarioTab.h"

#include "ui_TARNMainWindow.h"

#include "app/PlottingTab.h"
#include "db/ApplicationTitle.h"
#include "db/BaselineDAO.h"
#include "db/DmiApi.h"
#include "db/Password.h"
#include "db/PlotDAO.h"
#include "db/ProjectCheck.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "export/DataExporter.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/common/CheckReportDlg.h"
#include "ui/common/HelpDocument.h"
#include "ui/common/ProjectCheckRunner.h"
#include "ui/export/WorkbookCompareRunner.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QScrollBar>
#include <QSet>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTextCursor>
#include <QTimer>
#include <QToolButton>
#include <QtConcurrent>

#include <algorithm>

#include <cstdlib>

namespace {
constexpr int ExportingTabIndex = 4;
const QString kClearDiagnostics = QStringLiteral("_clear_diagnostic_messages_");
} // namespace

TARNMainWindow::TARNMainWindow(QWidget* parent)
    : QMainWindow(parent)
    , _ui(new Ui::TarnhelmClass)
    , _dbMgr(TarnDbMgr::instance())
{
    _ui->setupUi(this);
    setWindowTitle(applicationTitle());

    QStyle* vista = QStyleFactory::create(QStringLiteral("WindowsVista"));
    if (vista && vista->objectName() != QApplication::style()->objectName())
        QApplication::setStyle(vista);
    else
        delete vista;

    _helpButton = new QToolButton(this);
    _helpButton->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    _helpButton->setToolTip(QStringLiteral("Open help documentation"));
    _ui->_mainTabWidget->setCornerWidget(_helpButton, Qt::TopRightCorner);

    setProjectTabsEnabled(false);
    _ui->_editScenarioButton->setEnabled(false);
    _ui->_deleteScenarioButton->setEnabled(false);
    _ui->_exportScenarioButton->setEnabled(false);
    _ui->_editPlotButton->setEnabled(false);
    _ui->_deletePlotButton->setEnabled(false);
    _ui->_generatePlotButton->setEnabled(false);
    updateExportButton();

    connect(_ui->_mainTabWidget, &QTabWidget::currentChanged, this, &TARNMainWindow::tabChanged);
    connect(_helpButton, &QToolButton::clicked, this, [] { openHelpDocument(); });
    connect(_ui->_editBaselineButton, &QPushButton::clicked, this,
        &TARNMainWindow::editBaselineClicked);
    connect(_ui->_exitButton, &QPushButton::clicked, this, &TARNMainWindow::exitClicked);
    connect(_ui->_browseButton, &QPushButton::clicked, this, &TARNMainWindow::browseButtonClicked);
    connect(_ui->_checkProjectButton, &QPushButton::clicked, this,
        &TARNMainWindow::checkProjectClicked);
    connect(
        _ui->_expFileButton, &QPushButton::clicked, this, &TARNMainWindow::expFileButtonClicked);
    connect(_ui->_expButton, &QPushButton::clicked, this, &TARNMainWindow::expButtonClicked);
    connect(
        _ui->_compareButton, &QPushButton::clicked, this, &TARNMainWindow::compareWorkbooksClicked);
    connect(_ui->_expScenListWidget, &QListWidget::itemChanged, this,
        &TARNMainWindow::updateExportButton);
    connect(_ui->_expFileLineEdit, &QLineEdit::editingFinished, this,
        &TARNMainWindow::updateExportButton);
    _scenarioTab = new ScenarioTab(this,
        { _ui->_scenarioTableView, _ui->_exportScenarioButton, _ui->_addScenarioButton,
            _ui->_editScenarioButton, _ui->_deleteScenarioButton });
    _plottingTab = new PlottingTab(this,
        { _ui->_plotTableView, _ui->_generatePlotButton, _ui->_addPlotButton, _ui->_editPlotButton,
            _ui->_deletePlotButton });
}

TARNMainWindow::~TARNMainWindow()
{
    delete _ui;
}

void TARNMainWindow::setProjectTabsEnabled(bool enabled)
{
    _ui->_baselineTab->setEnabled(enabled);
    _ui->_scenariosTab->setEnabled(enabled);
    _ui->_plottingTab->setEnabled(enabled);
    _ui->_exportingTab->setEnabled(enabled);
    _ui->_checkProjectButton->setEnabled(enabled);
}

bool TARNMainWindow::connectToDatabase(const QString& path)
{
    setProjectTabsEnabled(false);
    const TARN::okstat status = _dbMgr->openDatabase(path);
    if (status.failed()) {
        _ui->_dbStatusLabel->setStyleSheet(
            QStringLiteral("QLabel { font-weight: bold; color: red; }"));
        _ui->_dbStatusLabel->setText(QStringLiteral("Error: %1").arg(status.text()));
        return false;
    }
    _ui->_dbStatusLabel->setStyleSheet(
        QStringLiteral("QLabel { font-weight: bold; color: green; }"));
    _ui->_dbStatusLabel->setText(QStringLiteral("Connected"));
    reportBrokenReferences();
    loadModels();
    hideInternalColumns();
    setProjectTabsEnabled(true);
    return true;
}

// Rows that name a missing row are left out of every list and calculation without a word;
// the planner is told which they are.
void TARNMainWindow::reportBrokenReferences()
{
    QStringList problems;
    const TARN::okstat status
        = ProjectCheck::brokenReferences(_dbMgr->database(), ProjectCheck::inputTables(), problems);
    if (status.failed())
        problems = QStringList { status.text() };
    if (problems.isEmpty())
        return;
    diagMsgHandler(QStringLiteral("Broken references in %1:").arg(_dbMgr->path()));
    for (const QString& problem : qAsConst(problems))
        diagMsgHandler(QStringLiteral("    ") + problem);
}

void TARNMainWindow::loadModels()
{
    _baselineModel = _dbMgr->baselineDAO()->baselineModel();
    _scenarioModel = _dbMgr->scenarioDAO()->scenarioModel();
    _plotModel = _dbMgr->plotDAO()->plotModel();

    _ui->_scenarioTableView->setModel(_scenarioModel);
    _ui->_scenarioTableView->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    _scenarioTab->setModel(_scenarioModel);
    _ui->_plotTableView->setModel(_plotModel);
    _plottingTab->bindModel();
}

void TARNMainWindow::hideInternalColumns()
{
    for (int column : { 0, 1, 3, 4 })
        _ui->_scenarioTableView->hideColumn(column);
    _ui->_plotTableView->hideColumn(0);
}

void TARNMainWindow::browseButtonClicked()
{
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("SQLiteDatabase (*.db)"));
    dialog.setViewMode(QFileDialog::Detail);
    // The folder of the path in the field; for an empty field the working folder, where
    // `make run` puts the demo (QFileInfo of an empty path has no folder at all).
    const QString path = _ui->_dbPathLineEdit->text().trimmed();
    dialog.setDirectory(path.isEmpty() ? QDir::currentPath() : QFileInfo(path).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString chosen = dialog.selectedFiles().constFirst();
    _ui->_dbPathLineEdit->setText(chosen);
    connectToDatabase(chosen);
}

void TARNMainWindow::diagMsgHandler(QString message)
{
    if (message == kClearDiagnostics) {
        _ui->_diagTextEdit->clear();
        return;
    }
    // Appended as plain text, a paragraph per line (a message may hold several lines), so that
    // names show as they are whatever they look like; the view follows when it was at the end.
    QTextEdit* diag = _ui->_diagTextEdit;
    QScrollBar* bar = diag->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    QTextCursor cursor(diag->document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    if (!diag->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(message);
    cursor.endEditBlock();
    if (atEnd)
        bar->setValue(bar->maximum());
}

void TARNMainWindow::tabChanged(int index)
{
    if (index == ExportingTabIndex)
        fillExportTab();
}

void TARNMainWindow::fillExportTab()
{
    const bool open = _dbMgr->database().isOpen() && _dbMgr->isValid();
    _ui->_exportingTab->setEnabled(open);
    if (!open)
        return;

    // Checks and years are kept only for the project they were made for.
    QSet<int> keptIds;
    int keptStart = -1;
    int keptEnd = -1;
    if (_exportDbPath == _dbMgr->path()) {
        for (int row = 0; row < _ui->_expScenListWidget->count(); ++row) {
            const QListWidgetItem* item = _ui->_expScenListWidget->item(row);
            if (item->checkState() == Qt::Checked)
                keptIds.insert(item->data(Qt::UserRole).toInt());
        }
        keptStart = _ui->_expStartSpinBox->value();
        keptEnd = _ui->_expEndSpinBox->value();
    }

    DmiApi dmi(nullptr);
    QList<DmiApi::ScenarioEntry> scenarios;
    if (dmi.getScenarios(scenarios, true).failed())
        return;
    _ui->_expScenListWidget->clear();
    for (const auto& [id, name] : qAsConst(scenarios)) {
        auto* item = new QListWidgetItem(name, _ui->_expScenListWidget);
        item->setData(Qt::UserRole, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(keptIds.contains(id) ? Qt::Checked : Qt::Unchecked);
    }

    Baseline baseline;
    if (_dbMgr->baselineDAO()->getBaseline(baseline).failed())
        return;
    for (QSpinBox* box : { _ui->_expStartSpinBox, _ui->_expEndSpinBox })
        box->setRange(baseline.StartYear, baseline.EndYear);
    _ui->_expStartSpinBox->setValue(keptStart >= 0 ? keptStart : baseline.StartYear);
    _ui->_expEndSpinBox->setValue(keptEnd >= 0 ? keptEnd : baseline.EndYear);
    _exportDbPath = _dbMgr->path();
    updateExportButton();
}

void TARNMainWindow::updateExportButton()
{
    bool anyChecked = false;
    for (int row = 0; row < _ui->_expScenListWidget->count() && !anyChecked; ++row)
        anyChecked = _ui->_expScenListWidget->item(row)->checkState() == Qt::Checked;
    _ui->_expButton->setEnabled(anyChecked && !_ui->_expFileLineEdit->text().trimmed().isEmpty());
}

void TARNMainWindow::expFileButtonClicked()
{
    QString start = _ui->_expFileLineEdit->text().trimmed();
    if (start.isEmpty())
        start = _dbMgr->path();
    const QString chosen = QFileDialog::getSaveFileName(this, QStringLiteral("Excel Workbook"),
        QFileInfo(start).absolutePath(),
        QStringLiteral("Excel Workbook Files (*.xlsx *.xlsm);;Excel 97-2003 Workbooks (*.xls);;All "
                       "Files (*)"));
    if (chosen.isEmpty())
        return;
    _ui->_expFileLineEdit->setText(chosen);
    fillExportTab();
}

void TARNMainWindow::expButtonClicked()
{
    QList<int> ids;
    for (int row = 0; row < _ui->_expScenListWidget->count(); ++row) {
        const QListWidgetItem* item = _ui->_expScenListWidget->item(row);
        if (item->checkState() == Qt::Checked)
            ids.append(item->data(Qt::UserRole).toInt());
    }
    const QString path = _ui->_expFileLineEdit->text().trimmed();
    const int startYear = _ui->_expStartSpinBox->value();
    const int endYear = _ui->_expEndSpinBox->value();
    if (endYear < startYear || ids.isEmpty() || path.isEmpty())
        return;
    if (!resultsReadyForExport(ids))
        return;

    auto* exporter = new DataExporter(this, _dbMgr->database());
    connect(exporter, &DataExporter::diagMessage, this, &TARNMainWindow::diagMsgHandler);
    auto* status = new CalcStatusDlg(this);
    status->attachDataExporter(exporter);
    status->open();
    auto* watcher = new QFutureWatcher<TARN::okstat>(this);
    connect(watcher, &QFutureWatcher<TARN::okstat>::finished, this,
        [this, watcher] { exportFinished(watcher); });
    watcher->setFuture(QtConcurrent::run([exporter, path, ids, startYear, endYear] {
        return exporter->exportData(path, ids, startYear, endYear);
    }));
}

bool TARNMainWindow::resultsReadyForExport(const QList<int>& runs)
{
    ProjectValidator::Options options;
    options.resultsOnly = true;
    options.runs = runs;
    QList<ValidationFinding> findings;
    if (!ProjectCheckRunner::check(this, options, findings))
        return false;
    if (findings.isEmpty())
        return true;
    // A finding that names neither a site nor a water user is a run the check could not
    // recalculate: recalculating before the export would fail the same way.
    QStringList unchecked;
    QSet<QPair<int, QString>> users;
    QSet<int> sites;
    int uncalculated = 0; // water users of runs never calculated
    for (const ValidationFinding& finding : qAsConst(findings)) {
        if (finding.runFailed)
            unchecked << finding.message;
        else if (finding.waterUsers > 0)
            uncalculated += finding.waterUsers;
        else if (finding.waterUser.isEmpty())
            sites.insert(finding.aggDivID);
        else
            users.insert({ finding.aggDivID, finding.waterUser });
    }
    if (!unchecked.isEmpty()) {
        return QMessageBox::warning(this, QStringLiteral("Data Export"),
                   unchecked.join(QLatin1Char('\n'))
                       + QStringLiteral("\n\nThe exported results may be out of date. Export "
                                        "anyway?"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    }
    // Each finding names a water user, or a site whose salinity alone is out of date.
    const int count
        = users.isEmpty() && uncalculated == 0 ? sites.size() : users.size() + uncalculated;
    const QMessageBox::StandardButton answer = QMessageBox::question(this,
        QStringLiteral("Data Export"),
        QStringLiteral("Results of %1 water users are out of date. Recalculate before exporting?")
            .arg(count),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes) {
        return ProjectCheckRunner::recalculate(this, runs, [this](const QString& line) {
            diagMsgHandler(line);
        }).isOk();
    }
    return true;
}

void TARNMainWindow::checkProjectClicked()
{
    QList<ValidationFinding> findings;
    if (!ProjectCheckRunner::check(this, {}, findings))
        return;
    auto* report = new CheckReportDlg(QFileInfo(_dbMgr->path()).fileName(), findings, this);
    report->setAttribute(Qt::WA_DeleteOnClose);
    report->show();
}

void TARNMainWindow::exportFinished(const QFutureWatcher<TARN::okstat>* watcher)
{
    const TARN::okstat result = watcher->result();
    if (result.failed())
        QMessageBox::warning(this, QStringLiteral("Data Export"), result.text());
}

void TARNMainWindow::compareWorkbooksClicked()
{
    const QString start = _ui->_expFileLineEdit->text().trimmed();
    WorkbookCompareRunner::run(this, start.isEmpty() ? _dbMgr->path() : start);
}

bool TARNMainWindow::passwordGate()
{
    const QByteArray stored = _baselineModel->index(0, 8).data().toByteArray();
    if (stored.isEmpty())
        return true;
    for (;;) {
        bool accepted = false;
        const QString text = QInputDialog::getText(this, QStringLiteral("Password"),
            QStringLiteral("Password required to edit baseline:"), QLineEdit::Password, QString(),
            &accepted, Qt::WindowTitleHint);
        if (!accepted)
            return false;
        if (Password::matches(text, stored))
            return true;
    }
}

void TARNMainWindow::editBaselineClicked()
{
    if (!passwordGate())
        return;
    const TARN::okstat begun = _dbMgr->beginTransaction();
    if (begun.failed()) {
        QMessageBox::warning(this, QStringLiteral("TARN Error"), begun.text());
        return;
    }
    // The dialog commits or rolls back the transaction itself.
    auto* dialog = new BaselineDlg(this);
    // A calculation sends a line for every site it skips, hundreds within a few milliseconds;
    // they are shown in batches, at most every 50 ms, so that adding them one by one doesn't
    // hold up the window, and all of them by the time the dialog has closed.
    QStringList pending;
    QTimer batch;
    batch.setSingleShot(true);
    batch.setInterval(50);
    const auto flush = [this, &pending] {
        if (!pending.isEmpty())
            diagMsgHandler(pending.join(QLatin1Char('\n')));
        pending.clear();
    };
    connect(&batch, &QTimer::timeout, this, flush);
    connect(dialog, &BaselineDlg::diagMessage, this, [&pending, &batch](const QString& line) {
        pending.append(line);
        if (!batch.isActive())
            batch.start();
    });
    dialog->exec();
    flush();
    delete dialog;
    hideInternalColumns();
}

void TARNMainWindow::exitClicked()
{
    std::exit(0);
}

void TARNMainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
}

void TARNMainWindow::plotSelectionChanged()
{
    _plottingTab->plotSelectionChanged();
}
void TARNMainWindow::addPlotClicked()
{
    _plottingTab->addPlotClicked();
}
void TARNMainWindow::editPlotClicked()
{
    _plottingTab->editPlotClicked();
}
void TARNMainWindow::deletePlotClicked()
{
    _plottingTab->deletePlotClicked();
}
void TARNMainWindow::generatePlotClicked()
{
    _plottingTab->generatePlotClicked();
}

void TARNMainWindow::scenarioSelectionChanged()
{
    _scenarioTab->scenarioSelectionChanged();
}
void TARNMainWindow::addScenarioClicked()
{
    _scenarioTab->addScenarioClicked();
}
void TARNMainWindow::editScenarioClicked()
{
    _scenarioTab->editScenarioClicked();
}
void TARNMainWindow::delScenarioClicked()
{
    _scenarioTab->delScenarioClicked();
}
void TARNMainWindow::exportScenarioClicked()
{
    _scenarioTab->exportScenarioClicked();
}
