#pragma once

#include <QStyledItemDelegate>

// Scenario and demand change descriptions are plain text. Older files may hold a whole HTML
// document instead (what a rich-text editor wrote); such a description is shown and edited as
// the text it displays, and is written back as plain text.
//
// Serves both the lists (display) and the dialogs' widget mappers: a QTextEdit editor gets the
// plain text and gives back its plain text; every other editor is handled as by the default
// delegate.
class DescriptionDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit DescriptionDelegate(QObject* parent = nullptr);

    // The description as text: an HTML document becomes the text it shows, anything else is
    // returned as it is.
    static QString plainText(const QString& stored);

    QString displayText(const QVariant& value, const QLocale& locale) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(
        QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};
