#include "ui/common/DialogHabits.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

namespace DialogHabits {

namespace {

// Selects the field's text after the focus arrived: a mouse press places the cursor after the
// focus event, so the selection is made once that is done.
class PlaceholderSelector : public QObject {
public:
    PlaceholderSelector(QLineEdit* field, const QString& placeholder)
        : QObject(field)
        , _field(field)
        , _placeholder(placeholder)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != _field || _field->text() != _placeholder)
            return false;
        if (event->type() == QEvent::FocusIn) {
            QTimer::singleShot(0, _field, [field = _field, text = _placeholder] {
                if (field->text() == text)
                    field->selectAll();
            });
        } else if (event->type() == QEvent::MouseButtonRelease && !_field->hasSelectedText()) {
            // A click into the field that has the focus already.
            QTimer::singleShot(0, _field, [field = _field] { field->selectAll(); });
        }
        return false;
    }

private:
    QLineEdit* _field;
    QString _placeholder;
};

} // namespace

void apply(QWidget* dialog)
{
    const QList<QPushButton*> buttons = dialog->findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        if (!button->isDefault())
            button->setAutoDefault(false);
    }
    const QList<QTextEdit*> texts = dialog->findChildren<QTextEdit*>();
    for (QTextEdit* text : texts)
        text->setTabChangesFocus(true);
    const QList<QPlainTextEdit*> plainTexts = dialog->findChildren<QPlainTextEdit*>();
    for (QPlainTextEdit* text : plainTexts)
        text->setTabChangesFocus(true);
    const QList<QLineEdit*> fields = dialog->findChildren<QLineEdit*>();
    for (QLineEdit* field : fields) {
        if (!field->isReadOnly())
            continue;
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        field->setPalette(palette);
        field->setFocusPolicy(Qt::ClickFocus);
    }
    const QList<QAbstractItemView*> views = dialog->findChildren<QAbstractItemView*>();
    for (QAbstractItemView* view : views) {
        QPalette palette = view->palette();
        for (QPalette::ColorRole role : { QPalette::Highlight, QPalette::HighlightedText })
            palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
        view->setPalette(palette);
    }
}

void selectPlaceholderOnFocus(QLineEdit* field, const QString& placeholder)
{
    field->installEventFilter(new PlaceholderSelector(field, placeholder));
}

} // namespace DialogHabits
