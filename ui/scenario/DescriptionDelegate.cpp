#include "ui/scenario/DescriptionDelegate.h"

#include <QTextDocument>
#include <QTextEdit>

DescriptionDelegate::DescriptionDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

QString DescriptionDelegate::plainText(const QString& stored)
{
    // Only a whole document counts as HTML: a plain description may well contain "<" or a tag
    // name and must stay exactly as typed.
    const QString start = stored.trimmed().left(14);
    const bool html = start.startsWith(QLatin1String("<!DOCTYPE HTML"), Qt::CaseInsensitive)
        || start.startsWith(QLatin1String("<html"), Qt::CaseInsensitive);
    if (!html)
        return stored;
    QTextDocument document;
    document.setHtml(stored);
    return document.toPlainText();
}

QString DescriptionDelegate::displayText(const QVariant& value, const QLocale& locale) const
{
    if (value.type() == QVariant::String)
        return QStyledItemDelegate::displayText(plainText(value.toString()), locale);
    return QStyledItemDelegate::displayText(value, locale);
}

void DescriptionDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (auto* text = qobject_cast<QTextEdit*>(editor)) {
        text->setPlainText(plainText(index.data(Qt::EditRole).toString()));
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void DescriptionDelegate::setModelData(
    QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    if (auto* text = qobject_cast<QTextEdit*>(editor)) {
        model->setData(index, text->toPlainText(), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}
