#include "ui/common/CalcStatusDlg.h"

#include "ui/common/CalcStatusJob.h"
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
    // Only a job that can be stopped shows the button.
    _ui->_cancelBtn->hide();
    setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint & ~Qt::WindowContextHelpButtonHint);
}

CalcStatusDlg::~CalcStatusDlg() = default;

void CalcStatusDlg::attach(const CalcStatusJob& job)
{
    setWindowTitle(job.windowTitle);
    _ui->_calcLbl->setText(job.label);
    if (!job.singleBarLabel.isEmpty()) {
        _ui->_aggDivLbl->setText(job.singleBarLabel);
        for (QWidget* w : std::initializer_list<QWidget*> {
                 _ui->_watUsrLbl, _ui->_watUsrLabel, _ui->_watUsrProgBar })
            w->hide();
    }
    if (job.cancel) {
        _ui->_cancelBtn->show();
        _ui->_cancelBtn->setEnabled(true);
        connect(_ui->_cancelBtn, &QPushButton::clicked, this, [this, cancel = job.cancel] {
            cancel();
            _ui->_cancelBtn->setEnabled(false);
            _ui->_statusLabel->setText(QStringLiteral("Cancelling..."));
        });
    }
    if (job.connect) {
        const bool paced = job.paced;
        job.connect(
            this,
            [this, paced](const CalcStatusInfo& info) {
                if (paced)
                    statusArrived(info);
                else
                    calcStatusHandler(info);
            },
            [this](const TARN::okstat& result) { calcFinishedHandler(result); });
    }
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
