#pragma once

#include "db/okstat.h"

#include <QLineEdit>
#include <QList>
#include <QPair>

class QAbstractItemModel;

// Edits one monthly distribution coefficient of a water user. Pasting a column of values starts
// at this month and fills the following months of the distribution row.
class MonthlyCoefficientLineEdit : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int FirstColumn = 2; // January
    static constexpr int LastColumn = 13; // December

    using ColumnValue = QPair<int, double>;

    MonthlyCoefficientLineEdit(int column, QAbstractItemModel* model, QWidget* parent = nullptr);

    int column() const { return _column; }
    // The field as a number: NaN for an empty field; false when the text is no finite number.
    bool value(double& coefficient) const;

    // The (column, value) pairs of clipboard text pasted at column; empty lines give no value.
    // Refuses the whole text on too many lines or a line that is not a number.
    static TARN::okstat parsePaste(const QString& text, int column, QList<ColumnValue>& values);

public slots:
    void pasteCoeffsHandler();
    void customMenuRequested(const QPoint& pos);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int _column;
    QAbstractItemModel* _model;
};
