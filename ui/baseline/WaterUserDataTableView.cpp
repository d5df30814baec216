#include "ui/baseline/WaterUserDataTableView.h"

#include "calc/PasteParsers.h"
#include "db/ModelOps.h"
#include "ui/common/MessageInfoBox.h"
#include "ui/common/WaterUserDataViewModel.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>

#include <algorithm>
#include <array>
#include <cmath>

// The parser writes to the table's columns by the positions the view model shows them at.
static_assert(int(Paste::DiversionColumn) == int(WaterUserDataViewModel::DiversionColumn)
    && int(Paste::SalinityColumn) == int(WaterUserDataViewModel::SalinityColumn));

namespace {

const QString PasteTitle = QStringLiteral("Water User");
const QString ZeroBothWarning = QStringLiteral(
    "Diversion and efficiency ratio are both zero. The data will be adjusted to avoid "
    "calculation errors.");
const QString ZeroDiversionWarning = QStringLiteral(
    "Efficiency cannot be calculated when diversion is 0 and depletion is non-zero.");
const QString EfficiencyRangeWarning = QStringLiteral("Efficiency ratio must be between 0 and 1.");

bool has(double value)
{
    return !std::isnan(value);
}

} // namespace

WaterUserDataTableView::WaterUserDataTableView(QWidget* parent)
    : QTableView(parent)
{
    setSelectionBehavior(QAbstractItemView::SelectItems);
    // A block of cells can be chosen and copied; a paste starts at the current cell.
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
        &WaterUserDataTableView::customMenuRequested);
}

void WaterUserDataTableView::setModel(QAbstractItemModel* model)
{
    disconnectDataChanged();
    QTableView::setModel(model);
    connectDataChanged();
}

void WaterUserDataTableView::connectDataChanged()
{
    if (model() && !_dataChanged)
        _dataChanged = connect(model(), &QAbstractItemModel::dataChanged, this,
            &WaterUserDataTableView::waterUserDataChanged);
}

void WaterUserDataTableView::disconnectDataChanged()
{
    if (_dataChanged) {
        disconnect(_dataChanged);
        _dataChanged = {};
    }
}

void WaterUserDataTableView::writeValue(int row, int column, double value)
{
    // Written as a double, never as rounded text: the stored value keeps its full precision.
    model()->setData(model()->index(row, column), has(value) ? QVariant(value) : QVariant());
}

QString WaterUserDataTableView::applyCellRule(WaterUserData& record, int column)
{
    double& d = record.DiversionReq;
    double& p = record.DepletionReq;
    double& e = record.EfficiencyRatio;
    switch (column) {
    case WaterUserDataViewModel::DiversionColumn:
        if (!has(p) && !has(e))
            return {};
        if (e == 0.0 && d == 0.0) {
            p = 0.0;
            e = ZeroEfficiency;
            return ZeroBothWarning;
        }
        if (!has(p)) {
            if (has(d))
                p = e * d;
            return {};
        }
        if (d == 0.0 && p != 0.0) {
            d = TARN::nan();
            e = TARN::nan();
            return ZeroDiversionWarning;
        }
        if (d == 0.0 && p == 0.0) {
            e = 0.0;
            return {};
        }
        e = has(d) ? p / d : TARN::nan();
        return {};

    case WaterUserDataViewModel::DepletionColumn:
        if (has(d)) {
            if (d == 0.0 && (!has(p) || p != 0.0)) {
                d = TARN::nan();
                e = TARN::nan();
                return ZeroDiversionWarning;
            }
            if (d == 0.0) {
                e = 0.0;
                return {};
            }
            e = p / d;
            return {};
        }
        if (has(p) && has(e))
            d = e == 0.0 ? 0.0 : p / e;
        return {};

    case WaterUserDataViewModel::EfficiencyColumn:
        if (e < 0.0 || e > 1.0) {
            e = TARN::nan();
            return EfficiencyRangeWarning;
        }
        if (has(d)) {
            if (e == 0.0 && d == 0.0) {
                p = 0.0;
                e = ZeroEfficiency;
                return ZeroBothWarning;
            }
            if (has(e))
                p = e * d;
            return {};
        }
        if (has(p)) {
            if (e == 0.0) {
                d = 0.0;
                p = 0.0;
                e = ZeroEfficiency;
                return ZeroBothWarning;
            }
            if (has(e))
                d = p / e;
        }
        return {};

    default:
        return {};
    }
}

void WaterUserDataTableView::waterUserDataChanged(
    const QModelIndex& topLeft, const QModelIndex& bottomRight, const QVector<int>&)
{
    auto* dataModel = qobject_cast<WaterUserDataViewModel*>(model());
    if (!dataModel || !topLeft.isValid() || topLeft != bottomRight)
        return;
    const int row = topLeft.row();
    WaterUserData record = dataModel->record(row);
    const QString warning = applyCellRule(record, topLeft.column());

    disconnectDataChanged();
    writeValue(row, WaterUserDataViewModel::DiversionColumn, record.DiversionReq);
    writeValue(row, WaterUserDataViewModel::DepletionColumn, record.DepletionReq);
    writeValue(row, WaterUserDataViewModel::EfficiencyColumn, record.EfficiencyRatio);
    connectDataChanged();

    if (!warning.isEmpty())
        QMessageBox::warning(this, windowTitle(), warning, QMessageBox::Ok);
}

void WaterUserDataTableView::pasteDataHandler(const QModelIndex& index, PasteAction action)
{
    auto* dataModel = qobject_cast<WaterUserDataViewModel*>(model());
    if (!dataModel || !index.isValid())
        return;
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty())
        return;

    disconnectDataChanged();
    const Paste::YearlyResult result
        = Paste::yearlyTable(dataModel->records(), index.row(), index.column(), action, text);
    if (result.status.isOk()) {
        for (const Paste::YearlyRow& pasted : result.rows) {
            writeValue(pasted.row, WaterUserDataViewModel::DiversionColumn, pasted.diversion);
            writeValue(pasted.row, WaterUserDataViewModel::DepletionColumn, pasted.depletion);
            writeValue(pasted.row, WaterUserDataViewModel::EfficiencyColumn, pasted.efficiency);
            if (has(pasted.salinity))
                writeValue(pasted.row, WaterUserDataViewModel::SalinityColumn, pasted.salinity);
        }
    }
    connectDataChanged();

    if (result.status.failed()) {
        QMessageBox::warning(this, PasteTitle, result.status.text(), QMessageBox::Ok);
        return;
    }
    if (result.hasAdjustments())
        MessageInfoBox::showMessage(MessageInfoBox::Warning, QStringLiteral("waterUserDataErrors"),
            QStringLiteral("Data Errors"), result.adjustmentReport(), QSize(), true);
}

void WaterUserDataTableView::customMenuRequested(const QPoint& pos)
{
    const QModelIndex index = currentIndex();
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("Copy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(!selectedIndexes().isEmpty());
    QAction* paste = menu.addAction(QStringLiteral("Paste"));
    paste->setShortcut(QKeySequence::Paste);
    QMenu* pasteAs = menu.addMenu(QStringLiteral("Paste as"));
    QAction* divDep = pasteAs->addAction(QStringLiteral("Diversion and Depletion"));
    QAction* divEff = pasteAs->addAction(QStringLiteral("Diversion and Efficiency"));
    QAction* depEff = pasteAs->addAction(QStringLiteral("Depletion and Efficiency"));
    menu.addSeparator();
    QAction* explain = menu.addAction(QStringLiteral("Explain..."));
    explain->setEnabled(index.isValid());
    QAction* chosen = menu.exec(viewport()->mapToGlobal(pos));
    if (chosen == copy)
        copySelection();
    else if (chosen == paste)
        pasteDataHandler(index, Paste::PlainPaste);
    else if (chosen == divDep)
        pasteDataHandler(index, Paste::DiversionDepletion);
    else if (chosen == divEff)
        pasteDataHandler(index, Paste::DiversionEfficiency);
    else if (chosen == depEff)
        pasteDataHandler(index, Paste::DepletionEfficiency);
    else if (chosen == explain)
        emit explainRequested(index);
}

void WaterUserDataTableView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex index = currentIndex();
    if (!index.isValid()) {
        QTableView::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        pasteDataHandler(index, Paste::PlainPaste);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        // Clearing a cell derives nothing: the other values of the row stay as they are.
        disconnectDataChanged();
        model()->setData(index, QVariant());
        connectDataChanged();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

QString WaterUserDataTableView::selectionText() const
{
    const QModelIndexList chosen = selectedIndexes();
    if (chosen.isEmpty() || !model())
        return QString();
    int top = chosen.first().row();
    int bottom = top;
    int left = chosen.first().column();
    int right = left;
    for (const QModelIndex& index : chosen) {
        top = std::min(top, index.row());
        bottom = std::max(bottom, index.row());
        left = std::min(left, index.column());
        right = std::max(right, index.column());
    }
    // Every digit, in the form a paste reads back; an empty cell stays empty.
    QStringList lines;
    for (int row = top; row <= bottom; ++row) {
        QStringList fields;
        for (int column = left; column <= right; ++column) {
            if (isColumnHidden(column))
                continue;
            const QVariant value = model()->index(row, column).data();
            fields << (value.type() == QVariant::Double
                    ? QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest)
                    : value.toString());
        }
        lines << fields.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void WaterUserDataTableView::copySelection()
{
    const QString text = selectionText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}
