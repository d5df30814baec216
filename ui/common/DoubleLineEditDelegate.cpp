#include "ui/common/DoubleLineEditDelegate.h"

#include "ui/common/NumberText.h"

#include "ui/common/NullableDoubleValidator.h"

#include <QLineEdit>

DoubleLineEditDelegate::DoubleLineEditDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QWidget* DoubleLineEditDelegate::createEditor(
    QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const
{
    auto* editor = new QLineEdit(parent);
    editor->setValidator(new NullableDoubleValidator(parent));
    return editor;
}

void DoubleLineEditDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* lineEdit = qobject_cast<QLineEdit*>(editor))
        lineEdit->setText(index.data(Qt::DisplayRole).toString());
}

void DoubleLineEditDelegate::setModelData(
    QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    auto* lineEdit = qobject_cast<QLineEdit*>(editor);
    if (!lineEdit || lineEdit->text().isEmpty()) {
        model->setData(index, QVariant(QVariant::String), Qt::EditRole);
        return;
    }
    // The validator reads the text in the editor's locale; so must the conversion. A text the
    // validator only half accepts ("1e", "-") is no number: the cell keeps its value rather
    // than being overwritten with 0.
    const QString text = lineEdit->text();
    bool ok = false;
    double value = lineEdit->locale().toDouble(text, &ok);
    if (!ok)
        value = text.toDouble(&ok);
    if (ok)
        model->setData(index, value, Qt::EditRole);
}

QString DoubleLineEditDelegate::displayText(const QVariant& value, const QLocale& locale) const
{
    if (value.type() == QVariant::Double)
        return NumberText::readable(value.toDouble());
    return QStyledItemDelegate::displayText(value, locale);
}
