#include "app/TARNMainWindow.h"
#include "app/EditHistory.h"
#include "app/ExportingTab.h"
#include "app/ScenarioTab.h"

#include "ui_TARNMainWindow.h"

#include "app/PlottingTab.h"
#include "db/ApplicationTitle.h"
#include "db/BaselineDAO.h"
#include "db/ModelOps.h"
#include "db/Password.h"
#include "db/PlotDAO.h"
#include "db/ProjectCheck.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/common/CheckReportDlg.h"
#include "ui/common/DialogHabits.h"
#include "ui/common/HelpDocument.h"
#include "ui/common/LineBatch.h"
#include "ui/common/ProjectCheckRunner.h"

#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QShortcut>
#include <QStyleFactory>
#include <QTextCursor>
#include <QTime>
#include <QToolButton>
#include <QUndoStack>
#include <QUndoView>

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
    _ui->_copyScenarioButton->setEnabled(false);
    _ui->_editPlotButton->setEnabled(false);
    _ui->_deletePlotButton->setEnabled(false);
    _ui->_generatePlotButton->setEnabled(false);

    connect(_ui->_mainTabWidget, &QTabWidget::currentChanged, this, &TARNMainWindow::tabChanged);
    connect(_helpButton, &QToolButton::clicked, this,
        [this] { openHelpDocument(HelpDocument::sectionFor(this)); });
    // The keys desktop programs have: Ctrl+O opens a project, F1 the guide at the current tab,
    // Alt and a letter presses a button of the tab in view.
    auto* open = new QShortcut(QKeySequence::Open, this);
    connect(open, &QShortcut::activated, this, &TARNMainWindow::browseButtonClicked);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this,
        [this] { openHelpDocument(HelpDocument::sectionFor(this)); });
    _ui->_exitButton->setText(QStringLiteral("E&xit"));
    for (int tab = 0; tab < _ui->_mainTabWidget->count(); ++tab)
        DialogHabits::assignMnemonics(_ui->_mainTabWidget->widget(tab), QStringLiteral("x"));
    DialogHabits::keepListsReadable(this);
    connect(_ui->_editBaselineButton, &QPushButton::clicked, this,
        &TARNMainWindow::editBaselineClicked);
    connect(_ui->_exitButton, &QPushButton::clicked, this, &TARNMainWindow::exitClicked);
    connect(_ui->_browseButton, &QPushButton::clicked, this, &TARNMainWindow::browseButtonClicked);
    connect(_ui->_checkProjectButton, &QPushButton::clicked, this,
        &TARNMainWindow::checkProjectClicked);
    _scenarioTab = new ScenarioTab(this,
        { _ui->_scenarioTableView, _ui->_exportScenarioButton, _ui->_addScenarioButton,
            _ui->_editScenarioButton, _ui->_deleteScenarioButton, _ui->_copyScenarioButton },
        [this](const QString& line) { diagMsgHandler(line); });
    _exportingTab = new ExportingTab(this,
        { _ui->_exportingTab, _ui->_expScenListWidget, _ui->_expStartSpinBox, _ui->_expEndSpinBox,
            _ui->_expFileLineEdit, _ui->_expFileButton, _ui->_expButton, _ui->_compareButton,
            _ui->_expResultLabel },
        [this](const QString& line) { diagMsgHandler(line); });
    _plottingTab = new PlottingTab(this,
        { _ui->_plotTableView, _ui->_generatePlotButton, _ui->_addPlotButton, _ui->_editPlotButton,
            _ui->_deletePlotButton });
    createEditMenu();
}

void TARNMainWindow::createEditMenu()
{
    _history = new EditHistory(
        this, [this] { return passwordGate(); },
        [this](const QString& line) { diagMsgHandler(line); });
    // Lists of project rows follow what an undo or redo brought back or took away.
    connect(_history, &EditHistory::projectChanged, this, [this] {
        for (QSqlTableModel* model : { _scenarioModel, _plotModel, _baselineModel }) {
            if (model)
                ModelOps::selectAll(model);
        }
        scenarioSelectionChanged();
        plotSelectionChanged();
    });
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(_history->undoAction());
    edit->addAction(_history->redoAction());
    edit->addSeparator();
    auto* dock = new QDockWidget(QStringLiteral("History"), this);
    dock->setObjectName(QStringLiteral("historyDock"));
    auto* view = new QUndoView(_history->stack(), dock);
    view->setObjectName(QStringLiteral("historyView"));
    view->setEmptyLabel(QStringLiteral("<project as opened>"));
    // A step's whole name, on as many lines as it needs.
    view->setWordWrap(true);
    view->setResizeMode(QListView::Adjust);
    dock->setWidget(view);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    QAction* history = dock->toggleViewAction();
    history->setText(QStringLiteral("&History"));
    history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    edit->addAction(history);
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
    // The steps belong to the project they were made in.
    if (path != _dbMgr->path() || !_dbMgr->isValid())
        _history->clear();
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
    _exportingTab->projectOpened(path);
    // What follows belongs to this project; the lines above it to the one open before.
    diagMsgHandler(QStringLiteral("---- %1 opened at %2 ----")
                       .arg(QFileInfo(path).fileName(),
                           QTime::currentTime().toString(QStringLiteral("HH:mm"))));
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
    // names show as they are whatever they look like; the view goes to the newest line.
    QTextEdit* diag = _ui->_diagTextEdit;
    QTextCursor cursor(diag->document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    if (!diag->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(message);
    cursor.endEditBlock();
    QScrollBar* bar = diag->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TARNMainWindow::tabChanged(int index)
{
    if (index == ExportingTabIndex)
        _exportingTab->fill();
}

void TARNMainWindow::expFileButtonClicked()
{
    _exportingTab->expFileButtonClicked();
}
void TARNMainWindow::expButtonClicked()
{
    _exportingTab->expButtonClicked();
}
void TARNMainWindow::exportFinished(const TARN::okstat& result)
{
    _exportingTab->exportFinished(result);
}
void TARNMainWindow::compareWorkbooksClicked()
{
    _exportingTab->compareWorkbooksClicked();
}

void TARNMainWindow::checkProjectClicked()
{
    QList<ValidationFinding> findings;
    if (!ProjectCheckRunner::check(this, {}, findings))
        return;
    auto* report = new CheckReportDlg(QFileInfo(_dbMgr->path()).fileName(), findings, this);
    report->setAttribute(Qt::WA_DeleteOnClose);
    // Results missing or out of date: recalculating everything, then checking again, mends them.
    connect(report, &CheckReportDlg::recalculateRequested, this, [this] {
        // Every run: the service lists the scenarios itself.
        if (ProjectCheckRunner::recalculate(this, {}, [this](const QString& line) {
                diagMsgHandler(line);
            }).isOk())
            checkProjectClicked();
    });
    report->show();
}

bool TARNMainWindow::passwordGate()
{
    // The password as the file holds it now: an undo may have set or removed it since the
    // list was read.
    ModelOps::selectAll(_baselineModel);
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
    // The calculations' lines, all of them shown by the time the dialog has closed.
    LineBatch batch([this](const QString& lines) { diagMsgHandler(lines); });
    connect(dialog, &BaselineDlg::diagMessage, &batch, &LineBatch::add);
    dialog->exec();
    batch.flush();
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
