#include "ui/common/CheckReportDlg.h"
#include "ui_CheckReportDlg.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>

#include <algorithm>

namespace {

// Results missing or out of date in a run that computes: recalculating mends them. A run that
// could not be recalculated for the check would fail again, so it offers nothing.
bool recalculationMends(const QList<ValidationFinding>& findings)
{
    return std::any_of(findings.cbegin(), findings.cend(), [](const ValidationFinding& finding) {
        return finding.rule == QLatin1String("results-current") && !finding.runFailed;
    });
}

} // namespace

CheckReportDlg::CheckReportDlg(
    const QString& file, const QList<ValidationFinding>& findings, QWidget* parent)
    : QDialog(parent)
    , _ui(std::make_unique<Ui::CheckReportWidgets>())
    , _file(file)
    , _findings(findings)
    , _model(new QStandardItemModel(0, ColumnCount, this))
    , _proxy(new QSortFilterProxyModel(this))
{
    _ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowTitle(QStringLiteral("Project Check: %1").arg(file));
    _ui->_totalsLabel->setText(
        QStringLiteral("%1: %2.").arg(file, ValidationReport::totals(findings)));

    _model->setHorizontalHeaderLabels({ QStringLiteral("Severity"), QStringLiteral("Rule"),
        QStringLiteral("Scenario"), QStringLiteral("Site"), QStringLiteral("Water User"),
        QStringLiteral("Year"), QStringLiteral("Message") });
    for (const ValidationFinding& finding : findings) {
        QList<QStandardItem*> row;
        row << new QStandardItem(ValidationReport::severityName(finding.severity))
            << new QStandardItem(finding.rule)
            << new QStandardItem(
                   finding.scenarioID ? finding.scenarioName : QStringLiteral("Baseline"))
            << new QStandardItem(finding.site) << new QStandardItem(finding.waterUser);
        auto* year = new QStandardItem;
        if (finding.year)
            year->setData(finding.year, Qt::DisplayRole);
        row << year << new QStandardItem(finding.message);
        row.last()->setToolTip(finding.message);
        _model->appendRow(row);
    }
    _proxy->setSourceModel(_model);
    _proxy->setFilterKeyColumn(SeverityColumn);
    _ui->_findingsTableView->setModel(_proxy);
    _ui->_findingsTableView->sortByColumn(-1, Qt::AscendingOrder); // the report's own order
    _ui->_findingsTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    _ui->_findingsTableView->resizeColumnsToContents();

    _ui->_severityComboBox->addItem(QStringLiteral("All findings"), QString());
    _ui->_severityComboBox->addItem(QStringLiteral("Failures"), QStringLiteral("fail"));
    _ui->_severityComboBox->addItem(QStringLiteral("Warnings"), QStringLiteral("warn"));
    connect(_ui->_severityComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
        &CheckReportDlg::severityChosen);
    connect(_ui->_copyButton, &QPushButton::clicked, this, &CheckReportDlg::copyClicked);
    _ui->_recalculateButton->setVisible(recalculationMends(_findings));
    connect(_ui->_recalculateButton, &QPushButton::clicked, this, [this] {
        accept();
        emit recalculateRequested();
    });
    connect(_ui->_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    _ui->_closeButton->setDefault(true);
}

CheckReportDlg::~CheckReportDlg() = default;

void CheckReportDlg::severityChosen(int index)
{
    const QString severity = _ui->_severityComboBox->itemData(index).toString();
    _proxy->setFilterRegularExpression(severity.isEmpty()
            ? QRegularExpression()
            : QRegularExpression(QStringLiteral("^%1$").arg(severity)));
}

QString CheckReportDlg::reportText() const
{
    return ValidationReport::text(_file, _findings);
}

void CheckReportDlg::copyClicked()
{
    QApplication::clipboard()->setText(reportText());
}
