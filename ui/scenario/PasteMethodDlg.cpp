#include "ui/scenario/PasteMethodDlg.h"

#include "calc/PasteParsers.h"
#include "ui_PasteMethodDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>

namespace {
constexpr int MaxShownClipboardChars = 1024;
}

PasteMethodDlg::PasteMethodDlg(int expectedCount, QWidget* parent)
    : QDialog(parent)
    , _ui(new Ui::PasteMethodWidgets)
    , _expectedCount(expectedCount)
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(_ui->_okButton, &QPushButton::clicked, this, &PasteMethodDlg::okHandler);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &PasteMethodDlg::reject);
}

PasteMethodDlg::~PasteMethodDlg()
{
    delete _ui;
}

int PasteMethodDlg::changeTypeId() const
{
    const QAbstractButton* checked = _ui->_chgTypeBtnGroup->checkedButton();
    return checked ? checked->property("ChgDataWidget_ChgType").toInt() : -1;
}

void PasteMethodDlg::okHandler(bool)
{
    const QString text = QApplication::clipboard()->text();
    const QString error = Paste::changeValues(text, _expectedCount, _values);
    if (!error.isEmpty()) {
        showError(error, text.trimmed());
        return;
    }
    accept();
}

void PasteMethodDlg::showError(const QString& message, const QString& clipboardText)
{
    QString shown = clipboardText.left(MaxShownClipboardChars);
    if (clipboardText.size() > MaxShownClipboardChars) {
        if (!shown.endsWith(QLatin1Char('\n')))
            shown += QLatin1Char('\n');
        shown += QStringLiteral("(truncated)");
    }
    QMessageBox box(this);
    box.setIcon(QMessageBox::NoIcon);
    box.setText(message);
    box.setDetailedText(QStringLiteral("Clipboard text:\n\n") + shown);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
