#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QMap>
#include <QPair>
#include <QSize>
#include <QString>

class QLabel;
class QPushButton;
class QTextEdit;

// A top-level rich-text message box kept once per key: showing a key whose box is still open
// brings that box to the front instead of stacking a second one.
class MessageInfoBox : public QDialog {
    Q_OBJECT

public:
    enum IconKind { Information = 1, Warning = 2, Critical = 3 };
    using ButtonSpec = QPair<QString, QString>; // text, tooltip

    MessageInfoBox(int iconKind, const QString& key, const QString& title, const QString& message,
        const QList<ButtonSpec>& buttons, const QSize& size);
    ~MessageInfoBox() override;

    // Shows the box registered under key, or a new one with a single "OK" button.
    static MessageInfoBox* showMessage(int iconKind, const QString& key, const QString& title,
        const QString& message, const QSize& size, bool modal);
    // The open box registered under key, if any.
    static MessageInfoBox* boxForKey(const QString& key);

    int instanceNumber() const { return _instance; }
    QString message() const { return _message; }
    QList<QPushButton*> buttons() const { return _buttons; }

public slots:
    void buttonClicked();

private:
    int _instance;
    int _iconKind;
    QByteArray _key;
    QString _title;
    QString _message;
    QSize _size;
    QLabel* _iconLabel = nullptr;
    QTextEdit* _textView = nullptr;
    QList<QPushButton*> _buttons;

    static int _instanceCounter;
    static QMap<QByteArray, MessageInfoBox*> _openBoxes;
};
