#include "ui/common/MessageInfoBox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTextEdit>
#include <QVBoxLayout>

int MessageInfoBox::_instanceCounter = 0;
QMap<QByteArray, MessageInfoBox*> MessageInfoBox::_openBoxes;

namespace {

QStyle::StandardPixmap iconFor(int iconKind)
{
    switch (iconKind) {
    case MessageInfoBox::Warning:
        return QStyle::SP_MessageBoxWarning;
    case MessageInfoBox::Critical:
        return QStyle::SP_MessageBoxCritical;
    default:
        return QStyle::SP_MessageBoxInformation;
    }
}

} // namespace

MessageInfoBox::MessageInfoBox(int iconKind, const QString& key, const QString& title,
    const QString& message, const QList<ButtonSpec>& buttons, const QSize& size)
    : QDialog(nullptr)
    , _instance(++_instanceCounter)
    , _iconKind(iconKind)
    , _key(key.toLatin1())
    , _title(title)
    , _message(message)
    , _size(size)
{
    setObjectName(QStringLiteral("MessageInfoBox_") + key);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(title);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(6);

    auto* upper = new QHBoxLayout;
    _iconLabel = new QLabel(this);
    _iconLabel->setPixmap(style()->standardIcon(iconFor(iconKind), nullptr, this).pixmap(36, 36));
    upper->addWidget(_iconLabel, 0, Qt::AlignTop | Qt::AlignHCenter);
    _textView = new QTextEdit(this);
    _textView->setReadOnly(true);
    _textView->setHtml(message);
    upper->addWidget(_textView, 1);
    layout->addLayout(upper);

    auto* lower = new QHBoxLayout;
    lower->addStretch();
    for (const ButtonSpec& spec : buttons) {
        auto* button = new QPushButton(spec.first, this);
        button->setToolTip(spec.second);
        button->setDefault(false);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, &MessageInfoBox::buttonClicked);
        lower->addWidget(button);
        _buttons.append(button);
    }
    layout->addLayout(lower);

    if (!size.isEmpty())
        resize(size);
}

MessageInfoBox::~MessageInfoBox()
{
    const auto it = _openBoxes.find(_key);
    if (it != _openBoxes.end() && it.value() == this)
        _openBoxes.erase(it);
}

MessageInfoBox* MessageInfoBox::showMessage(int iconKind, const QString& key, const QString& title,
    const QString& message, const QSize& size, bool modal)
{
    const QByteArray latinKey = key.toLatin1();
    MessageInfoBox* box = _openBoxes.value(latinKey);
    if (!box) {
        box = new MessageInfoBox(
            iconKind, key, title, message, { ButtonSpec(tr("OK"), QString()) }, size);
        _openBoxes.insert(latinKey, box);
    }
    box->setModal(modal);
    box->showNormal();
    box->raise();
    box->activateWindow();
    return box;
}

MessageInfoBox* MessageInfoBox::boxForKey(const QString& key)
{
    return _openBoxes.value(key.toLatin1());
}

void MessageInfoBox::buttonClicked()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    done(button ? int(_buttons.indexOf(button)) : -1);
}
