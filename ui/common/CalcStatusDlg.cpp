#include "ui/common/CalcStatusDlg.h"

#include "calc/DemandCalculator.h"
#include "calc/ProjectValidator.h"
#include "export/AttributeExporter.h"
#include "export/DataExporter.h"
#include "export/WorkbookDiffJob.h"
#include "ui_CalcStatusDlg.h"

#include <QCloseEvent>

CalcStatusDlg::CalcStatusDlg(QWidget* parent)
    : QDialog(parent)
    , _ui(std::make_unique<Ui::CalcStatusDlgWidgets>())
{
    _ui->setupUi(this);
    _ui->_calcLabel->clear();
    _ui->_aggDivLabel->clear();
    _ui->_watUsrLabel->clear();
    for (QProgressBar* bar : { _ui->_aggDivProgBar, _ui->_watUsrProgBar }) {
        bar->setRange(1, 100);
        bar->setValue(1);
    }
    _statusTimer.setSingleShot(true);
    connect(&_statusTimer, &QTimer::timeout, this, &CalcStatusDlg::showPendingStatus);
    // Only an export can be stopped (attachDataExporter shows the button).
    _ui->_cancelBtn->hide();
    setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint & ~Qt::WindowContextHelpButtonHint);
}

CalcStatusDlg::~CalcStatusDlg() = default;

void CalcStatusDlg::attachCalculator(DemandCalculator* calculator)
{
    _calculator = calculator;
    setWindowTitle(QStringLiteral("Calculation Status"));
    _ui->_calcLbl->setText(QStringLiteral("Calculating:"));
    connect(calculator, &DemandCalculator::calcStatus, this, &CalcStatusDlg::statusArrived,
        Qt::QueuedConnection);
    connect(calculator, &DemandCalculator::calcFinished, this, &CalcStatusDlg::calcFinishedHandler,
        Qt::QueuedConnection);
    _running = true;
}

void CalcStatusDlg::attachValidator(ProjectValidator* validator)
{
    setWindowTitle(QStringLiteral("Project Check"));
    _ui->_calcLbl->setText(QStringLiteral("Checking:"));
    connect(validator, &ProjectValidator::calcStatus, this, &CalcStatusDlg::calcStatusHandler,
        Qt::QueuedConnection);
    connect(validator, &ProjectValidator::calcFinished, this, &CalcStatusDlg::calcFinishedHandler,
        Qt::QueuedConnection);
    _running = true;
}

void CalcStatusDlg::setExportTexts()
{
    setWindowTitle(QStringLiteral("Export Status"));
    _ui->_calcLbl->setText(QStringLiteral("Exporting:"));
    _running = true;
}

void CalcStatusDlg::attachWorker(const QString& windowTitle, const QString& label)
{
    setWindowTitle(windowTitle);
    _ui->_calcLbl->setText(label);
    _running = true;
}

void CalcStatusDlg::attachDataExporter(DataExporter* exporter)
{
    setExportTexts();
    // A long export may be stopped; the workbook on disk stays as it was.
    _ui->_cancelBtn->show();
    _ui->_cancelBtn->setEnabled(true);
    connect(_ui->_cancelBtn, &QPushButton::clicked, this, [this, exporter] {
        exporter->cancel();
        _ui->_cancelBtn->setEnabled(false);
        _ui->_statusLabel->setText(QStringLiteral("Cancelling..."));
    });
    connect(exporter, &DataExporter::exportStatus, this, &CalcStatusDlg::statusArrived,
        Qt::QueuedConnection);
    connect(exporter, &DataExporter::exportFinished, this, &CalcStatusDlg::calcFinishedHandler,
        Qt::QueuedConnection);
}

void CalcStatusDlg::attachAttributeExporter(AttributeExporter* exporter)
{
    setExportTexts();
    connect(exporter, &AttributeExporter::exportStatus, this, &CalcStatusDlg::statusArrived,
        Qt::QueuedConnection);
    connect(exporter, &AttributeExporter::exportFinished, this, &CalcStatusDlg::calcFinishedHandler,
        Qt::QueuedConnection);
}

void CalcStatusDlg::attachWorkbookDiff(WorkbookDiffJob* job)
{
    setWindowTitle(QStringLiteral("Comparison Status"));
    _ui->_calcLbl->setText(QStringLiteral("Comparing:"));
    _ui->_aggDivLbl->setText(QStringLiteral("Sheet:"));
    for (QWidget* w :
        std::initializer_list<QWidget*> { _ui->_watUsrLbl, _ui->_watUsrLabel, _ui->_watUsrProgBar })
        w->hide();
    connect(job, &WorkbookDiffJob::diffStatus, this, &CalcStatusDlg::calcStatusHandler,
        Qt::QueuedConnection);
    connect(job, &WorkbookDiffJob::diffFinished, this, &CalcStatusDlg::calcFinishedHandler,
        Qt::QueuedConnection);
    _running = true;
}

void CalcStatusDlg::calcStatusHandler(const CalcStatusInfo& info)
{
    _ui->_calcLabel->setText(info.target);
    _ui->_aggDivLabel->setText(info.aggDivName);
    _ui->_aggDivProgBar->setRange(0, info.aggDivCount);
    _ui->_aggDivProgBar->setValue(info.aggDivDone);
    _ui->_watUsrLabel->setText(info.waterUserName);
    _ui->_watUsrProgBar->setRange(0, info.waterUserCount);
    _ui->_watUsrProgBar->setValue(info.waterUserDone);
    _ui->_statusLabel->setText(info.status);
}

void CalcStatusDlg::statusArrived(const CalcStatusInfo& info)
{
    _pendingStatus = info;
    _statusPending = true;
    if (_statusTimer.isActive())
        return;
    const qint64 interval = 50;
    const qint64 since = _statusShown.isValid() ? _statusShown.elapsed() : interval;
    if (since >= interval)
        showPendingStatus();
    else
        _statusTimer.start(static_cast<int>(interval - since));
}

void CalcStatusDlg::showPendingStatus()
{
    if (!_statusPending)
        return;
    _statusPending = false;
    _statusShown.start();
    calcStatusHandler(_pendingStatus);
}

void CalcStatusDlg::calcFinishedHandler(const TARN::okstat& result)
{
    // The worker's last status is shown before the dialog closes.
    _statusTimer.stop();
    showPendingStatus();
    _running = false;
    if (result.failed())
        _resultText = std::make_unique<QString>(result.text());
    else
        _resultText.reset();
    done(result.isOk() ? QDialog::Accepted : QDialog::Rejected);
}

void CalcStatusDlg::reject()
{
    // Escape must not end the dialog while the worker runs: the owner would go on to delete
    // the calculator under its thread.
    if (_running)
        return;
    QDialog::reject();
}

void CalcStatusDlg::closeEvent(QCloseEvent* event)
{
    if (_running) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
