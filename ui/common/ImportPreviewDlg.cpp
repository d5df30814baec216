#include "ui/common/ImportPreviewDlg.h"

#include "inputs/InputsImport.h"
#include "ui_ImportPreviewDlg.h"

#include <QHeaderView>
#include <QPushButton>

namespace {

// Shows a value as the book or the project holds it, every digit, and sorts numbers as numbers:
// row 10 after row 9, 1.5e3 after 999.
class ValueItem : public QTableWidgetItem {
public:
    using QTableWidgetItem::QTableWidgetItem;
    bool operator<(const QTableWidgetItem& other) const override
    {
        bool number = false;
        bool otherNumber = false;
        const double value = text().toDouble(&number);
        const double otherValue = other.text().toDouble(&otherNumber);
        if (number && otherNumber)
            return value < otherValue;
        if (number != otherNumber)
            return number; // numbers before words
        return QTableWidgetItem::operator<(other);
    }
};

void fill(QTableWidget* table, const QStringList& headers, const QList<QStringList>& rows)
{
    table->setSortingEnabled(false);
    table->setColumnCount(headers.size());
    table->setHorizontalHeaderLabels(headers);
    table->setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows.at(r).size(); ++c) {
            table->setItem(r, c, new ValueItem(rows.at(r).at(c)));
        }
    table->setSortingEnabled(true);
    // Tab leaves the table for the check box and the buttons; arrows move between cells.
    table->setTabKeyNavigation(false);
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
}

} // namespace

ImportPreviewDlg::ImportPreviewDlg(
    const Inputs::ImportPlan& plan, const QString& title, QWidget* parent)
    : QDialog(parent)
    , _ui(new Ui::ImportPreviewWidgets)
    , _hasWrites(plan.hasWrites())
    , _hasRejected(!plan.rejected.isEmpty())
{
    _ui->setupUi(this);
    setWindowTitle(title);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    QList<QStringList> changes;
    for (const Inputs::PreviewItem& item : plan.items) {
        const QString kind = Inputs::PreviewItem::kindWord(item.kind);
        QStringList years;
        for (const int year : item.years)
            years.append(QString::number(year));
        const QString key = years.isEmpty()
            ? item.key
            : QStringLiteral("%1 (%2)").arg(item.key, years.join(QStringLiteral(", ")));
        if (item.fields.isEmpty())
            changes.append({ item.sheet, kind, key, {}, {}, {} });
        for (const Inputs::FieldChange& field : item.fields)
            changes.append({ item.sheet, kind, item.key, field.field, field.before, field.after });
    }
    for (const QString& station : plan.unmatchedStations)
        changes.append(
            { QStringLiteral("Series"), QStringLiteral("no water user"), station, {}, {}, {} });
    fill(_ui->_changesTable,
        { QStringLiteral("Sheet"), QStringLiteral("What"), QStringLiteral("Row"),
            QStringLiteral("Field"), QStringLiteral("Old"), QStringLiteral("New") },
        changes);

    QList<QStringList> rejected;
    for (const Inputs::RejectedRow& row : plan.rejected)
        rejected.append({ row.sheet, row.row >= 2 ? QString::number(row.row) : QString(),
            row.column, row.reason });
    fill(_ui->_rejectedTable,
        { QStringLiteral("Sheet"), QStringLiteral("Row"), QStringLiteral("Column"),
            QStringLiteral("Reason") },
        rejected);
    _ui->_rejectedLabel->setVisible(_hasRejected);
    _ui->_rejectedTable->setVisible(_hasRejected);
    _ui->_skipRejectedCheckBox->setVisible(_hasRejected);

    int added = 0;
    int changed = 0;
    for (const Inputs::PreviewItem& item : plan.items) {
        added += item.kind == Inputs::PreviewItem::Added ? 1 : 0;
        changed += item.kind == Inputs::PreviewItem::Changed ? 1 : 0;
    }
    _ui->_summaryLabel->setText(!_hasWrites
            ? QStringLiteral("The book holds nothing the project does not have already.")
            : QStringLiteral("%1 row(s) added, %2 changed; %3 rejected. Nothing is written "
                             "until you press Apply, and the dialog's Cancel still undoes it.")
                  .arg(added)
                  .arg(changed)
                  .arg(plan.rejected.size()));

    connect(_ui->_applyButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(_ui->_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(
        _ui->_skipRejectedCheckBox, &QCheckBox::toggled, this, &ImportPreviewDlg::updateButtons);
    updateButtons();
}

ImportPreviewDlg::~ImportPreviewDlg()
{
    delete _ui;
}

void ImportPreviewDlg::updateButtons()
{
    _ui->_applyButton->setEnabled(
        _hasWrites && (!_hasRejected || _ui->_skipRejectedCheckBox->isChecked()));
}
