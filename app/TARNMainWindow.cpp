#include "app/TARNMainWindow.h"

#include "ui_TARNMainWindow.h"

#include "db/ApplicationTitle.h"
#include "db/BaselineDAO.h"
#include "db/Password.h"
#include "db/PlotDAO.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "ui/common/HelpDocument.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QStyleFactory>
#include <QToolButton>

#include <cstdlib>

namespace {
const QString kClearDiagnostics = QStringLiteral("_clear_diagnostic_messages_");
}

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

    connect(_ui->_mainTabWidget, &QTabWidget::currentChanged, this, &TARNMainWindow::tabChanged);
    connect(_helpButton, &QToolButton::clicked, this, [] { openHelpDocument(); });
    connect(_ui->_editBaselineButton, &QPushButton::clicked, this,
            &TARNMainWindow::editBaselineClicked);
    connect(_ui->_exitButton, &QPushButton::clicked, this, &TARNMainWindow::exitClicked);
    connect(_ui->_browseButton, &QPushButton::clicked, this, &TARNMainWindow::browseButtonClicked);
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
}

bool TARNMainWindow::connectToDatabase(const QString& path)
{
    setProjectTabsEnabled(false);
    const TARN::okstat status = _dbMgr->openDatabase(path);
    if (status.failed()) {
        _ui->_dbStatusLabel->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: red; }"));
        _ui->_dbStatusLabel->setText(QStringLiteral("Error: %1").arg(status.text()));
        return false;
    }
    _ui->_dbStatusLabel->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; color: green; }"));
    _ui->_dbStatusLabel->setText(QStringLiteral("Connected"));
    loadModels();
    hideInternalColumns();
    setProjectTabsEnabled(true);
    return true;
}

void TARNMainWindow::loadModels()
{
    _baselineModel = _dbMgr->baselineDAO()->baselineModel();
    _scenarioModel = _dbMgr->scenarioDAO()->scenarioModel();
    _plotModel = _dbMgr->plotDAO()->plotModel();

    _ui->_scenarioTableView->setModel(_scenarioModel);
    _ui->_scenarioTableView->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    _ui->_plotTableView->setModel(_plotModel);
}

void TARNMainWindow::hideInternalColumns()
{
    for (int column : {0, 1, 3, 4})
        _ui->_scenarioTableView->hideColumn(column);
    _ui->_plotTableView->hideColumn(0);
}

void TARNMainWindow::browseButtonClicked()
{
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("SQLiteDatabase (*.db)"));
    dialog.setViewMode(QFileDialog::Detail);
    dialog.setDirectory(QFileInfo(_ui->_dbPathLineEdit->text()).absolutePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    _ui->_dbPathLineEdit->setText(path);
    connectToDatabase(path);
}

void TARNMainWindow::diagMsgHandler(QString message)
{
    if (message == kClearDiagnostics)
        _ui->_diagTextEdit->clear();
    else
        _ui->_diagTextEdit->append(message);
}

void TARNMainWindow::tabChanged(int index)
{
    Q_UNUSED(index)
}

bool TARNMainWindow::passwordGate()
{
    const QByteArray stored = _baselineModel->index(0, 8).data().toByteArray();
    if (stored.isEmpty())
        return true;
    for (;;) {
        bool accepted = false;
        const QString text = QInputDialog::getText(
            this, QStringLiteral("Password"), QStringLiteral("Password required to edit baseline:"),
            QLineEdit::Password, QString(), &accepted, Qt::WindowTitleHint);
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
}

void TARNMainWindow::exitClicked()
{
    std::exit(0);
}

void TARNMainWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
}
