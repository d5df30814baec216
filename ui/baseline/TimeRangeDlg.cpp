#include "ui/baseline/TimeRangeDlg.h"
#include "ui_TimeRangeDlg.h"

#include "db/Records.h"

#include <QPalette>

TimeRangeDlg::TimeRangeDlg(Baseline& baseline, QWidget* parent)
    : TarnDlg(parent)
    , _ui(new Ui::TimeRangeWidgets)
    , _baseline(baseline)
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    QPalette palette = _ui->_errorLabel->palette();
    palette.setColor(QPalette::Active, QPalette::WindowText, QColor(255, 0, 0));
    palette.setColor(QPalette::Inactive, QPalette::WindowText, QColor(255, 0, 0));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    _ui->_errorLabel->setPalette(palette);

    _ui->_startYearSpinBox->setRange(MinYear, MaxYear);
    _ui->_endYearSpinBox->setRange(MinYear, MaxYear);
    _ui->_startYearSpinBox->setValue(baseline.StartYear);
    _ui->_endYearSpinBox->setValue(baseline.EndYear);

    connect(_ui->_okButton, &QPushButton::clicked, this, &TimeRangeDlg::okClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &TimeRangeDlg::cancelClicked);
}

TimeRangeDlg::~TimeRangeDlg()
{
    delete _ui;
}

TARN::okstat TimeRangeDlg::applyChanges()
{
    // The typed text counts even when the spin box has not taken it over yet.
    _ui->_startYearSpinBox->interpretText();
    _ui->_endYearSpinBox->interpretText();
    const int start = _ui->_startYearSpinBox->value();
    const int end = _ui->_endYearSpinBox->value();
    QString error;
    if (start < MinYear || start >= MaxYear + 1 || end < MinYear || end >= MaxYear + 1)
        error = QStringLiteral("Years must be between %1 and %2.").arg(MinYear).arg(MaxYear);
    else if (end < start)
        error = QStringLiteral("Start Year must be before End Year.");
    if (!error.isEmpty()) {
        _ui->_errorLabel->setText(error);
        return error;
    }
    _baseline.StartYear = start;
    _baseline.EndYear = end;
    return {};
}

void TimeRangeDlg::cancelClicked()
{
    reject();
}
