#include "ui/scenario/PasteMethodDlg.h"

#include "db/ModelOps.h"
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

QString PasteMethodDlg::parseValues(const QString& text, int expectedCount, QVector<double>& values)
{
    values.clear();
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return QStringLiteral("The clipboard is empty");
    // Spreadsheets end their lines with "\r\n"; blank lines carry no value.
    QStringList parts;
    const QStringList lines = trimmed.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QString part = line.trimmed();
        if (!part.isEmpty())
            parts << part;
    }
    if (parts.size() != expectedCount)
        return QStringLiteral(
            "The number of values from the clipboard (%1) doesn't match the number of selected "
            "years (%2)")
            .arg(parts.size())
            .arg(expectedCount);
    QVector<double> parsed;
    for (const QString& part : qAsConst(parts)) {
        double value = 0.0;
        if (!TARN::parsePasted(part, value))
            return QStringLiteral("The pasted value %1 doesn't represent a number").arg(part);
        parsed << value;
    }
    values = parsed;
    return QString();
}

void PasteMethodDlg::okHandler(bool)
{
    const QString text = QApplication::clipboard()->text();
    const QString error = parseValues(text, _expectedCount, _values);
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
