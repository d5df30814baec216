#include "ui/baseline/MonthlyCoefficientLineEdit.h"

#include "calc/PasteParsers.h"
#include "db/ModelOps.h"
#include "db/Records.h"
#include "ui/common/NullableDoubleValidator.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>

#include <cmath>

MonthlyCoefficientLineEdit::MonthlyCoefficientLineEdit(
    int column, QAbstractItemModel* model, QWidget* parent)
    : QLineEdit(parent)
    , _column(column)
    , _model(model)
{
    setPlaceholderText(QStringLiteral("0"));
    // Typing takes numbers only, as in the yearly table; an empty field stands for 0.
    setValidator(new NullableDoubleValidator(this));
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
        &MonthlyCoefficientLineEdit::customMenuRequested);
}

bool MonthlyCoefficientLineEdit::value(double& coefficient) const
{
    const QString content = text().trimmed();
    if (content.isEmpty()) {
        coefficient = TARN::nan();
        return true;
    }
    bool ok = false;
    coefficient = locale().toDouble(content, &ok);
    if (ok && std::isfinite(coefficient))
        return true;
    return TARN::parseFinite(content, coefficient);
}

void MonthlyCoefficientLineEdit::pasteCoeffsHandler()
{
    if (!_model)
        return;
    QList<Paste::ColumnValue> values;
    const TARN::okstat status
        = Paste::monthlyCoefficients(QApplication::clipboard()->text(), _column, values);
    if (status.failed()) {
        QMessageBox::warning(this, QStringLiteral("Water User"), status.text(), QMessageBox::Ok);
        return;
    }
    // Doubles, not text: the stored coefficient keeps every pasted digit.
    for (const Paste::ColumnValue& value : qAsConst(values))
        _model->setData(_model->index(0, value.first), value.second);
}

void MonthlyCoefficientLineEdit::customMenuRequested(const QPoint& pos)
{
    QMenu menu(this);
    QAction* paste = menu.addAction(QStringLiteral("Paste"));
    paste->setShortcut(QKeySequence::Paste);
    if (menu.exec(mapToGlobal(pos)) == paste)
        pasteCoeffsHandler();
}

void MonthlyCoefficientLineEdit::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste)) {
        pasteCoeffsHandler();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
