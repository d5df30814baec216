#include "ui/baseline/PasswordConfigDlg.h"
#include "ui_PasswordConfigDlg.h"

#include "db/Password.h"
#include "db/Records.h"

PasswordConfigDlg::PasswordConfigDlg(Baseline& baseline, QWidget* parent)
    : TarnDlg(parent)
    , _ui(new Ui::PasswordConfigWidgets)
    , _baseline(baseline)
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    _ui->_noPasswordRadioButton->setChecked(true);
    pwRequiredRadioToggled(false);

    connect(_ui->_okButton, &QPushButton::clicked, this, &PasswordConfigDlg::okClicked);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &PasswordConfigDlg::cancelClicked);
    connect(_ui->_confirmPasswordLineEdit, &QLineEdit::textChanged, this,
        &PasswordConfigDlg::confirmPWEdited);
    connect(_ui->_passwordRequiredRadioButton, &QRadioButton::toggled, this,
        &PasswordConfigDlg::pwRequiredRadioToggled);

    // A changed new password must be confirmed again, or a typo would become the password.
    connect(_ui->_newPasswordLineEdit, &QLineEdit::textChanged, this,
        [this] { confirmPWEdited(_ui->_confirmPasswordLineEdit->text()); });

    if (baseline.PasswordHash.isEmpty())
        _ui->_noPasswordRadioButton->setChecked(true);
    else
        _ui->_passwordRequiredRadioButton->setChecked(true);

    // Opening the dialog with a password set and pressing OK keeps that password: empty fields
    // replace it only after the user chose "Require Password" again.
    _keepStoredDigest = !baseline.PasswordHash.isEmpty();
    connect(_ui->_passwordRequiredRadioButton, &QRadioButton::toggled, this,
        [this] { _keepStoredDigest = false; });
}

PasswordConfigDlg::~PasswordConfigDlg()
{
    delete _ui;
}

void PasswordConfigDlg::cancelClicked()
{
    reject();
}

void PasswordConfigDlg::pwRequiredRadioToggled(bool checked)
{
    _ui->_newPasswordLabel->setEnabled(checked);
    _ui->_confirmLabel->setEnabled(checked);
    _ui->_newPasswordLineEdit->setEnabled(checked);
    _ui->_confirmPasswordLineEdit->setEnabled(checked);
    if (!checked) {
        _ui->_newPasswordLineEdit->clear();
        _ui->_confirmPasswordLineEdit->clear();
        _ui->_passwordMatchLabel->clear();
        _ui->_okButton->setEnabled(true);
    }
}

void PasswordConfigDlg::confirmPWEdited(const QString& text)
{
    if (_ui->_newPasswordLineEdit->text() != text) {
        _ui->_passwordMatchLabel->setText(QStringLiteral("Passwords do not match."));
        _ui->_okButton->setEnabled(false);
    } else {
        _ui->_passwordMatchLabel->clear();
        _ui->_okButton->setEnabled(true);
    }
}

TARN::okstat PasswordConfigDlg::applyChanges()
{
    if (!_ui->_passwordRequiredRadioButton->isChecked()) {
        _baseline.PasswordHash.clear();
        return {};
    }
    if (_keepStoredDigest && _ui->_newPasswordLineEdit->text().isEmpty()
        && _ui->_confirmPasswordLineEdit->text().isEmpty())
        return {};
    if (_ui->_newPasswordLineEdit->text() != _ui->_confirmPasswordLineEdit->text()) {
        const QString error = QStringLiteral("Passwords do not match.");
        _ui->_passwordMatchLabel->setText(error);
        return error;
    }
    _baseline.PasswordHash = Password::digest(_ui->_newPasswordLineEdit->text());
    return {};
}
