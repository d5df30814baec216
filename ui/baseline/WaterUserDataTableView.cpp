#include "ui/baseline/WaterUserDataTableView.h"

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

// The clipboard's lines without the trailing line ends; a line may end in a carriage return
// when the text comes from a spreadsheet on Windows.
QStringList clipboardLines(QString text)
{
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

enum GivenValue { Diversion = 0, Depletion = 1, Efficiency = 2 };

// Derives the third of diversion, depletion and efficiency of a pasted row.
void deriveFromPasted(
    WaterUserDataTableView::PastedRow& pasted, const std::array<bool, 3>& pastedValues)
{
    // The three ways of deriving one value from the other two, in their order of precedence.
    struct Rule {
        int first;
        int second;
        int derived;
    };
    static const std::array<Rule, 3> rules { { { Diversion, Depletion, Efficiency },
        { Diversion, Efficiency, Depletion }, { Depletion, Efficiency, Diversion } } };
    std::array<double*, 3> values { &pasted.diversion, &pasted.depletion, &pasted.efficiency };
    const int pastedCount = int(pastedValues[0]) + int(pastedValues[1]) + int(pastedValues[2]);

    // What was pasted is the input: a rule that derives from the pasted values goes first, and
    // none overwrites a pasted value (unless all three were pasted, when the first rule holds).
    const Rule* chosen = nullptr;
    int chosenRank = -1;
    for (const Rule& rule : rules) {
        if (pastedCount < 3 && pastedValues[rule.derived])
            continue;
        if (!has(*values[rule.first]) || !has(*values[rule.second]))
            continue;
        const int rank = int(pastedValues[rule.first]) + int(pastedValues[rule.second]);
        if (rank > chosenRank) {
            chosen = &rule;
            chosenRank = rank;
        }
    }
    if (!chosen)
        return;
    double& diversion = pasted.diversion;
    double& depletion = pasted.depletion;
    double& efficiency = pasted.efficiency;
    switch (chosen->derived) {
    case Efficiency:
        efficiency = diversion == 0.0 ? TARN::nan() : depletion / diversion;
        break;
    case Depletion:
        depletion = efficiency * diversion;
        break;
    default:
        diversion = efficiency == 0.0 ? TARN::nan() : depletion / efficiency;
        break;
    }
}

} // namespace

QString WaterUserDataTableView::PasteResult::adjustmentReport() const
{
    QString text
        = QStringLiteral("The data for the following years had errors and have been adjusted:");
    if (!invalidEfficiencyYears.isEmpty())
        text += QStringLiteral(
            "<p>Invalid efficiency ratio (must be between 0 and 1): <ul>%1</ul></p>")
                    .arg(invalidEfficiencyYears.join(QString()));
    if (!zeroEfficiencyYears.isEmpty())
        text += QStringLiteral("<p>Efficiency ratios of zero have been adjusted to avoid "
                               "calculation errors: <ul>%1</ul></p>")
                    .arg(zeroEfficiencyYears.join(QString()));
    return text;
}

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

WaterUserDataTableView::PasteResult WaterUserDataTableView::preparePaste(
    const QList<WaterUserData>& records, int row, int column, PasteAction action,
    const QString& text)
{
    PasteResult result;
    if (text.isEmpty())
        return result;
    const QStringList lines = clipboardLines(text);
    // Per kept row: which of diversion, depletion and efficiency the line gave.
    QVector<std::array<bool, 3>> given;
    int targetRow = row;
    for (const QString& line : lines) {
        if (targetRow < 0 || targetRow >= records.size()) {
            result.status = QStringLiteral("Pasted data contain too many rows.");
            result.rows.clear();
            return result;
        }
        const WaterUserData& current = records.at(targetRow);
        PastedRow pasted;
        pasted.row = targetRow;
        pasted.diversion = current.DiversionReq;
        pasted.depletion = current.DepletionReq;
        pasted.efficiency = current.EfficiencyRatio;

        std::array<bool, 3> pastedValues { false, false, false };
        int position = 0;
        int limit = 1;
        if (action == PlainPaste) {
            position = qMax(column, int(WaterUserDataViewModel::DiversionColumn));
            limit = WaterUserDataViewModel::SalinityColumn;
        }
        const QStringList fields = line.split(QLatin1Char('\t'));
        for (const QString& field : fields) {
            const int at = position++;
            if (at > limit) {
                result.status = QStringLiteral("Pasted data contain too many columns.");
                result.rows.clear();
                return result;
            }
            if (field.trimmed().isEmpty())
                continue;
            double value = 0.0;
            if (!TARN::parsePasted(field, value)) {
                result.status = QStringLiteral("'%1' is not numeric.").arg(field);
                result.rows.clear();
                return result;
            }
            double* target = nullptr;
            switch (action) {
            case PlainPaste:
                target = at == 3 ? &pasted.diversion
                    : at == 4    ? &pasted.depletion
                    : at == 5    ? &pasted.efficiency
                                 : &pasted.salinity;
                break;
            case DiversionDepletion:
                target = at == 0 ? &pasted.diversion : &pasted.depletion;
                break;
            case DiversionEfficiency:
                target = at == 0 ? &pasted.diversion : &pasted.efficiency;
                break;
            case DepletionEfficiency:
                target = at == 0 ? &pasted.depletion : &pasted.efficiency;
                break;
            }
            *target = value;
            if (target == &pasted.diversion)
                pastedValues[Diversion] = true;
            else if (target == &pasted.depletion)
                pastedValues[Depletion] = true;
            else if (target == &pasted.efficiency)
                pastedValues[Efficiency] = true;
        }
        if (action != PlainPaste && fields.size() != 2) {
            result.status = QStringLiteral("Two columns of data are required for this action.");
            result.rows.clear();
            return result;
        }
        result.rows.append(pasted);
        given.append(pastedValues);
        ++targetRow;
    }

    for (int i = 0; i < result.rows.size(); ++i) {
        PastedRow& pasted = result.rows[i];
        std::array<bool, 3>& pastedValues = given[i];
        const QString year = QStringLiteral("<li>%1</li>").arg(records.at(pasted.row).Year);
        if (pasted.efficiency < 0.0 || pasted.efficiency > 1.0) {
            pasted.efficiency = TARN::nan();
            pastedValues[Efficiency] = false;
            result.invalidEfficiencyYears.append(year);
        }
        const bool nonZeroDiversion = has(pasted.diversion) && pasted.diversion != 0.0;
        if (nonZeroDiversion || pasted.efficiency != 0.0)
            deriveFromPasted(pasted, pastedValues);
        else {
            pasted.diversion = 0.0;
            pasted.depletion = 0.0;
            pasted.efficiency = ZeroEfficiency;
            result.zeroEfficiencyYears.append(year);
        }
    }
    return result;
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
    const PasteResult result
        = preparePaste(dataModel->records(), index.row(), index.column(), action, text);
    if (result.status.isOk()) {
        for (const PastedRow& pasted : result.rows) {
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
        pasteDataHandler(index, PlainPaste);
    else if (chosen == divDep)
        pasteDataHandler(index, DiversionDepletion);
    else if (chosen == divEff)
        pasteDataHandler(index, DiversionEfficiency);
    else if (chosen == depEff)
        pasteDataHandler(index, DepletionEfficiency);
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
        pasteDataHandler(index, PlainPaste);
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
