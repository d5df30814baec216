#include "ui/common/ListComboBoxDelegate.h"

#include <QComboBox>
#include <QFontMetrics>

ListComboBoxDelegate::ChoiceList ListComboBoxDelegate::choicesOf(const AttrValidValList& values)
{
    ChoiceList list;
    for (const AttrValidVal& value : values)
        list.append({ value.AttrValidValID, value.AttrVal });
    return list;
}

ListComboBoxDelegate::ListComboBoxDelegate(const ChoiceList& choices, QObject* parent)
    : QStyledItemDelegate(parent)
{
    _choices.insert(0, choices);
}

ListComboBoxDelegate::ListComboBoxDelegate(
    const ChoiceTable& choices, int keyColumn, int idColumn, QObject* parent)
    : QStyledItemDelegate(parent)
    , _choices(choices)
    , _keyColumn(keyColumn)
    , _idColumn(idColumn)
{
}

int ListComboBoxDelegate::keyFor(const QModelIndex& index) const
{
    if (_keyColumn == -1)
        return 0;
    const QModelIndex keyIndex = index.sibling(index.row(), _keyColumn);
    return keyIndex.isValid() ? keyIndex.data(Qt::DisplayRole).toInt() : 0;
}

QWidget* ListComboBoxDelegate::createEditor(
    QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    auto* combo = new QComboBox(parent);
    const ChoiceList choices = _choices.value(keyFor(index));
    for (const Choice& choice : choices)
        combo->addItem(choice.second, choice.first);
    return combo;
}

void ListComboBoxDelegate::setModelData(
    QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* combo = qobject_cast<QComboBox*>(editor);
    if (!combo)
        return;
    const int found = combo->findData(combo->currentData(), Qt::UserRole, Qt::MatchExactly);
    // An empty combo (a key without choices) offers nothing: writing a null id and an empty
    // text would wipe the row's value and leave an id that can never be saved.
    if (found < 0)
        return;
    const QVariant value = combo->itemData(found);
    const QString text = combo->itemText(found);
    if (_idColumn == -1) {
        model->setData(index, value, Qt::EditRole);
        return;
    }
    model->setData(index.sibling(index.row(), _idColumn), value, Qt::EditRole);
    model->setData(index, text, Qt::EditRole);
}

QSize ListComboBoxDelegate::sizeHint(
    const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    // The hint reads the same key as the editor, so a row is as wide as its own choices.
    QSize hint = QStyledItemDelegate::sizeHint(option, index);
    const auto it = _choices.constFind(keyFor(index));
    if (it == _choices.constEnd())
        return hint;
    const QFontMetrics metrics(option.font);
    for (const Choice& choice : it.value())
        hint.setWidth(qMax(hint.width(), metrics.horizontalAdvance(choice.second) + 20));
    return hint;
}
