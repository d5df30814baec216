#pragma once

#include "db/Records.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStyledItemDelegate>

// Edits a cell with a combo box of (id, name) choices. With a key column, each row offers the
// list stored under the row's key (for example the valid values of the row's attribute); with an
// id column, the chosen id goes there and the chosen name into the edited cell.
class ListComboBoxDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using Choice = QPair<int, QString>;
    using ChoiceList = QList<Choice>;
    using ChoiceTable = QHash<int, ChoiceList>;

    // The valid values of an attribute as choices, in their order.
    static ChoiceList choicesOf(const AttrValidValList& values);

    ListComboBoxDelegate(const ChoiceList& choices, QObject* parent = nullptr);
    ListComboBoxDelegate(
        const ChoiceTable& choices, int keyColumn, int idColumn, QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override;
    void setModelData(
        QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // The key of the index's row: 0 without a key column.
    int keyFor(const QModelIndex& index) const;

    ChoiceTable _choices;
    int _keyColumn = -1;
    int _idColumn = -1;
};
