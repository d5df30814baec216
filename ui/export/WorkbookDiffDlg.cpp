#include "ui/export/WorkbookDiffDlg.h"

#include "ui/common/HelpButton.h"
#include "ui/common/NumberText.h"
#include "ui_WorkbookDiffDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include <algorithm>
#include <cmath>

namespace {

// Rows sort by this role: numbers as numbers, missing figures first.
constexpr int SortRole = Qt::UserRole + 1;
// The sheet's index in the comparison.
constexpr int SheetRole = Qt::UserRole + 2;

QStandardItem* textItem(const QString& text)
{
    auto* item = new QStandardItem(text);
    item->setData(text, SortRole);
    item->setToolTip(text);
    return item;
}

QStandardItem* numberItem(double value)
{
    auto* item = new QStandardItem;
    if (std::isnan(value)) {
        item->setData(-std::numeric_limits<double>::infinity(), SortRole);
        return item;
    }
    item->setText(NumberText::readable(value));
    item->setData(value, SortRole);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// A relative difference, shown in percent and sorted by its value.
QStandardItem* percentItem(double fraction)
{
    QStandardItem* item = numberItem(fraction);
    if (!std::isnan(fraction))
        item->setText(NumberText::percent(fraction));
    return item;
}

QString statusText(int status)
{
    switch (status) {
    case Workbook::SheetComparison::Equal:
        return QStringLiteral("equal");
    case Workbook::SheetComparison::Changed:
        return QStringLiteral("changed");
    case Workbook::SheetComparison::Added:
        return QStringLiteral("only in the new workbook");
    default:
        return QStringLiteral("only in the old workbook");
    }
}

QString columnStatusText(int status)
{
    switch (status) {
    case Workbook::ColumnComparison::Changed:
        return QStringLiteral("changed");
    case Workbook::ColumnComparison::Added:
        return QStringLiteral("only in the new sheet");
    case Workbook::ColumnComparison::Removed:
        return QStringLiteral("only in the old sheet");
    default:
        return QStringLiteral("equal");
    }
}

QSortFilterProxyModel* sortedView(QStandardItemModel* model, QObject* parent)
{
    auto* proxy = new QSortFilterProxyModel(parent);
    proxy->setSourceModel(model);
    proxy->setSortRole(SortRole);
    return proxy;
}

} // namespace

WorkbookDiffDlg::WorkbookDiffDlg(const Workbook::WorkbookComparison& comparison, QWidget* parent)
    : QDialog(parent)
    , _ui(new Ui::WorkbookDiffWidgets)
    , _comparison(comparison)
    , _sheets(new QStandardItemModel(this))
    , _columns(new QStandardItemModel(this))
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setupHelpButton(_ui->_helpButton);
    _sheetsProxy = sortedView(_sheets, this);
    _columnsProxy = sortedView(_columns, this);
    _ui->_sheetsView->setModel(_sheetsProxy);
    _ui->_columnsView->setModel(_columnsProxy);

    QString paths = QStringLiteral("Old workbook: %1\nNew workbook: %2")
                        .arg(_comparison.oldPath, _comparison.newPath);
    if (_comparison.tolerance > 0)
        paths += QStringLiteral("\nTolerance: %1").arg(_comparison.tolerance);
    _ui->_pathsLabel->setText(paths);
    _ui->_verdictLabel->setText(_comparison.equal()
            ? QStringLiteral("The workbooks hold the same values.")
            : QStringLiteral("The workbooks differ."));

    _sheets->setHorizontalHeaderLabels({ QStringLiteral("Sheet"), QStringLiteral("Status"),
        QStringLiteral("Changed"), QStringLiteral("Only in New"), QStringLiteral("Only in Old"),
        QStringLiteral("Columns"), QStringLiteral("Compared") });
    int firstChanged = -1;
    for (size_t i = 0; i < _comparison.sheets.size(); ++i) {
        const Workbook::SheetComparison& s = _comparison.sheets[i];
        const bool read = s.status == Workbook::SheetComparison::Changed
            || (s.status == Workbook::SheetComparison::Equal && !s.byFingerprint);
        QList<QStandardItem*> row { textItem(s.name), textItem(statusText(s.status)),
            numberItem(s.count(Workbook::ColumnComparison::Changed)),
            numberItem(s.count(Workbook::ColumnComparison::Added)),
            numberItem(s.count(Workbook::ColumnComparison::Removed)),
            numberItem(read ? s.newColumns : std::nan("")),
            textItem(s.byFingerprint ? QStringLiteral("by fingerprint")
                    : read           ? QStringLiteral("value by value")
                                     : QString()) };
        row.first()->setData(static_cast<int>(i), SheetRole);
        _sheets->appendRow(row);
        if (firstChanged < 0 && s.status != Workbook::SheetComparison::Equal)
            firstChanged = static_cast<int>(i);
    }
    _ui->_sheetsView->resizeColumnsToContents();

    connect(_ui->_sheetsView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &WorkbookDiffDlg::sheetSelectionHandler);
    connect(_ui->_copyButton, &QPushButton::clicked, this, &WorkbookDiffDlg::copyClicked);
    connect(_ui->_closeButton, &QPushButton::clicked, this, &QDialog::close);
    if (!_comparison.sheets.empty())
        _ui->_sheetsView->selectRow(std::max(firstChanged, 0));
    else
        showColumns(-1);
}

WorkbookDiffDlg::~WorkbookDiffDlg()
{
    delete _ui;
}

void WorkbookDiffDlg::copyClicked()
{
    QApplication::clipboard()->setText(_comparison.toText());
}

void WorkbookDiffDlg::sheetSelectionHandler()
{
    const QModelIndexList rows = _ui->_sheetsView->selectionModel()->selectedRows();
    showColumns(rows.isEmpty() ? -1 : rows.first().data(SheetRole).toInt());
}

void WorkbookDiffDlg::showColumns(int sheet)
{
    _columns->clear();
    _columns->setHorizontalHeaderLabels(
        { QStringLiteral("Column"), QStringLiteral("Status"), QStringLiteral("Months"),
            QStringLiteral("First"), QStringLiteral("Last"), QStringLiteral("Max Abs"),
            QStringLiteral("Max Rel"), QStringLiteral("Old Total"), QStringLiteral("New Total") });
    if (sheet < 0 || static_cast<size_t>(sheet) >= _comparison.sheets.size()) {
        _ui->_columnsLabel->setText(QStringLiteral("Columns that differ:"));
        return;
    }
    const Workbook::SheetComparison& s = _comparison.sheets[static_cast<size_t>(sheet)];
    _ui->_columnsLabel->setText(QStringLiteral("Columns that differ in '%1': %2")
                                    .arg(s.name, QString::number(s.columns.size())));
    for (const auto& c : s.columns)
        _columns->appendRow(
            { textItem(c.name), textItem(columnStatusText(c.status)), numberItem(c.changedMonths),
                textItem(c.firstMonth), textItem(c.lastMonth), numberItem(c.maxAbs),
                percentItem(c.maxRel), numberItem(c.oldTotal), numberItem(c.newTotal) });
    _ui->_columnsView->resizeColumnsToContents();
    // Long object.slot names are cut short (and shown whole as their tooltips), so that the
    // figures stay in view.
    _ui->_columnsView->setColumnWidth(0, std::min(_ui->_columnsView->columnWidth(0), 360));
}
