#include "ui/common/DialogHabits.h"

#include "ui/common/HelpDocument.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

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

// Asks the layout for the width of every column of a table side by side, measured as the
// header's ResizeToContents measures them, whenever the table is shown or laid out anew.
class ColumnRoom : public QObject {
public:
    explicit ColumnRoom(QTableView* view)
        : QObject(view)
        , _view(view)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == _view
            && (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest))
            _view->setMinimumWidth(neededWidth());
        return false;
    }

private:
    int neededWidth() const
    {
        const QHeaderView* columns = _view->horizontalHeader();
        const QAbstractItemModel* model = _view->model();
        int width = 0;
        for (int column = 0; model && column < columns->count(); ++column) {
            if (columns->isSectionHidden(column))
                continue;
            int widest = columns->sectionSizeHint(column);
            for (int row = 0; row < model->rowCount(); ++row)
                widest = qMax(widest, _view->sizeHintForIndex(model->index(row, column)).width());
            width += widest + (_view->showGrid() ? 1 : 0);
        }
        const QHeaderView* rows = _view->verticalHeader();
        return width + (rows->isHidden() ? 0 : rows->sizeHint().width()) + 2 * _view->frameWidth()
            + _view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, _view);
    }

    QTableView* _view;
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
    assignMnemonics(dialog);
    // F1: the guide at the dialog's section.
    auto* help = new QShortcut(QKeySequence::HelpContents, dialog);
    QObject::connect(help, &QShortcut::activated, dialog,
        [dialog] { openHelpDocument(HelpDocument::sectionFor(dialog)); });
    keepListsReadable(dialog);
}

void keepListsReadable(QWidget* widget)
{
    const QList<QAbstractItemView*> views = widget->findChildren<QAbstractItemView*>();
    for (QAbstractItemView* view : views) {
        QPalette palette = view->palette();
        for (QPalette::ColorRole role : { QPalette::Highlight, QPalette::HighlightedText })
            palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
        view->setPalette(palette);
    }
    const QList<QTableView*> tables = widget->findChildren<QTableView*>();
    for (QTableView* table : tables) {
        // Columns at the default width of 100 pixels cut off longer names ("Agg Diversio...").
        // A window that sized or stretched a column chose its widths itself.
        QHeaderView* header = table->horizontalHeader();
        bool chosen = false;
        for (int section = 0; section < header->count() && !chosen; ++section)
            chosen = header->sectionResizeMode(section) != QHeaderView::Interactive;
        if (chosen)
            continue;
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setStretchLastSection(true);
    }
}

void showAllColumns(QTableView* view)
{
    QHeaderView* header = view->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    // A stretched last column would grow with the room asked for, and ask for more.
    header->setStretchLastSection(false);
    view->installEventFilter(new ColumnRoom(view));
}

namespace {

// The letter after the '&' of a text, lower-cased; null when it has none.
QChar mnemonicOf(const QString& text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text.at(i + 1).toLower();
    }
    return QChar();
}

} // namespace

namespace {

// Gives the buttons a mnemonic each that used (lower case) does not hold yet, and adds theirs.
void assignTo(const QList<QAbstractButton*>& buttons, QString& used)
{
    for (const QAbstractButton* button : buttons) {
        const QChar taken = mnemonicOf(button->text());
        if (!taken.isNull())
            used += taken;
    }
    for (QAbstractButton* button : buttons) {
        auto* push = qobject_cast<QPushButton*>(button);
        const QString text = button->text();
        if (!push || text.isEmpty() || text.contains(QLatin1Char('&')))
            continue;
        // Word starts first, then any letter.
        QList<int> candidates;
        for (int i = 0; i < text.size(); ++i) {
            if (text.at(i).isLetterOrNumber() && (i == 0 || !text.at(i - 1).isLetterOrNumber()))
                candidates << i;
        }
        for (int i = 0; i < text.size(); ++i) {
            if (text.at(i).isLetterOrNumber() && !candidates.contains(i))
                candidates << i;
        }
        for (int i : qAsConst(candidates)) {
            const QChar letter = text.at(i).toLower();
            if (used.contains(letter))
                continue;
            used += letter;
            push->setText(text.left(i) + QLatin1Char('&') + text.mid(i));
            break;
        }
    }
}

// The tab page the widget is on, below root; null when it is on none.
QWidget* pageOf(QWidget* widget, QWidget* root)
{
    for (QWidget* w = widget; w && w != root; w = w->parentWidget()) {
        QWidget* parent = w->parentWidget();
        // A page's parent is the tab widget's stack.
        if (parent && parent->parentWidget() && qobject_cast<QTabWidget*>(parent->parentWidget()))
            return w;
    }
    return nullptr;
}

} // namespace

void assignMnemonics(QWidget* widget, const QString& reserved)
{
    // Buttons in view together need keys of their own; those on different pages of a tab
    // widget are never in view together and may share one. The buttons outside any page come
    // first, as they are always in view.
    QList<QAbstractButton*> always;
    QList<QWidget*> pages;
    QHash<QWidget*, QList<QAbstractButton*>> onPage;
    const QList<QAbstractButton*> buttons = widget->findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons) {
        QWidget* page = pageOf(button, widget);
        if (!page) {
            always << button;
            continue;
        }
        if (!pages.contains(page))
            pages << page;
        onPage[page] << button;
    }
    QString used = reserved.toLower();
    assignTo(always, used);
    // A page inside another page is in view with the outer page's buttons: outer pages first,
    // and an inner page starts from the keys its outer pages took.
    const auto depth = [widget](QWidget* page) {
        int levels = 0;
        for (QWidget* outer = pageOf(page->parentWidget(), widget); outer;
             outer = pageOf(outer->parentWidget(), widget))
            ++levels;
        return levels;
    };
    std::stable_sort(pages.begin(), pages.end(),
        [&depth](QWidget* a, QWidget* b) { return depth(a) < depth(b); });
    QHash<QWidget*, QString> usedOn;
    for (QWidget* page : qAsConst(pages)) {
        QWidget* outer = pageOf(page->parentWidget(), widget);
        QString pageUsed = outer ? usedOn.value(outer, used) : used;
        assignTo(onPage.value(page), pageUsed);
        usedOn.insert(page, pageUsed);
    }
}

void selectPlaceholderOnFocus(QLineEdit* field, const QString& placeholder)
{
    field->installEventFilter(new PlaceholderSelector(field, placeholder));
}

} // namespace DialogHabits
