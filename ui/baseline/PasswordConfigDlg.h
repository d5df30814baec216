#pragma once

#include "ui/common/TarnDlg.h"

#include <QString>

struct Baseline;

namespace Ui {
class PasswordConfigWidgets;
}

// Sets or removes the password that guards the baseline editor. Only the digest of the password
// goes into the caller's baseline record; the baseline dialog stores it when it saves.
class PasswordConfigDlg : public TarnDlg {
    Q_OBJECT

public:
    PasswordConfigDlg(Baseline& baseline, QWidget* parent = nullptr);
    ~PasswordConfigDlg() override;

    TARN::okstat applyChanges() override;

public slots:
    void cancelClicked();
    void confirmPWEdited(const QString& text);
    void pwRequiredRadioToggled(bool checked);

private:
    Ui::PasswordConfigWidgets* _ui;
    Baseline& _baseline;
    bool _keepStoredDigest = false;
};
