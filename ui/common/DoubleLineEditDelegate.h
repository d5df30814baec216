#pragma once

#include <QStyledItemDelegate>

// Edits a numeric cell in a line edit that accepts any double or the empty text; an empty text
// is written to the model as a null value, never as 0.
class DoubleLineEditDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit DoubleLineEditDelegate(QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(
        QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    // A number as people read it; the editor and the model keep every digit.
    QString displayText(const QVariant& value, const QLocale& locale) const override;
};
