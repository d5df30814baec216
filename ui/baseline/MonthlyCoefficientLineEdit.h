#pragma once

#include "calc/PasteParsers.h"

#include <QLineEdit>

class QAbstractItemModel;

// Edits one monthly distribution coefficient of a water user. Pasting a column of values starts
// at this month and fills the following months of the distribution row.
class MonthlyCoefficientLineEdit : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int FirstColumn = Paste::FirstMonthColumn; // January
    static constexpr int LastColumn = Paste::LastMonthColumn; // December

    MonthlyCoefficientLineEdit(int column, QAbstractItemModel* model, QWidget* parent = nullptr);

    int column() const { return _column; }
    // The field as a number: NaN for an empty field; false when the text is no finite number.
    bool value(double& coefficient) const;

public slots:
    void pasteCoeffsHandler();
    void customMenuRequested(const QPoint& pos);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int _column;
    QAbstractItemModel* _model;
};
