#include "app/ExportingTab.h"

#include "calc/ProjectValidator.h"
#include "db/BaselineDAO.h"
#include "db/DmiApi.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "export/DataExporter.h"
#include "export/WorkbookProjects.h"
#include "ui/common/CalcStatusJob.h"
#include "ui/common/ModalRunner.h"
#include "ui/common/ProjectCheckRunner.h"
#include "ui/export/WorkbookCompareRunner.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTime>

namespace {
const QString ExportTitle = QStringLiteral("Data Export");
}

ExportingTab::ExportingTab(
    QWidget* window, const Widgets& widgets, std::function<void(const QString&)> diag)
    : QObject(window)
    , _window(window)
    , _w(widgets)
    , _diag(std::move(diag))
{
    connect(_w.fileButton, &QPushButton::clicked, this, &ExportingTab::expFileButtonClicked);
    connect(_w.exportButton, &QPushButton::clicked, this, &ExportingTab::expButtonClicked);
    connect(_w.compareButton, &QPushButton::clicked, this, &ExportingTab::compareWorkbooksClicked);
    connect(_w.list, &QListWidget::itemChanged, this, &ExportingTab::updateExportButton);
    connect(_w.file, &QLineEdit::editingFinished, this, &ExportingTab::updateExportButton);
    connect(_w.file, &QLineEdit::textChanged, this, &ExportingTab::updateExportButton);
    updateExportButton();
}

void ExportingTab::projectOpened(const QString& path)
{
    // A workbook holds the sheets of the project it was chosen for; one Export must not
    // overwrite them with another basin.
    if (path != _fileProject) {
        _w.file->clear();
        _w.result->clear();
        _fileProject = path;
    }
    updateExportButton();
}

void ExportingTab::fill()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    const bool open = mgr->database().isOpen() && mgr->isValid();
    _w.tab->setEnabled(open);
    if (!open)
        return;

    // Checks and years are kept only for the project they were made for.
    QSet<int> keptIds;
    int keptStart = -1;
    int keptEnd = -1;
    if (_exportDbPath == mgr->path()) {
        for (int row = 0; row < _w.list->count(); ++row) {
            const QListWidgetItem* item = _w.list->item(row);
            if (item->checkState() == Qt::Checked)
                keptIds.insert(item->data(Qt::UserRole).toInt());
        }
        keptStart = _w.startYear->value();
        keptEnd = _w.endYear->value();
    }

    DmiApi dmi(nullptr);
    QList<DmiApi::ScenarioEntry> scenarios;
    if (dmi.getScenarios(scenarios, true).failed())
        return;
    _w.list->clear();
    for (const auto& [id, name] : qAsConst(scenarios)) {
        auto* item = new QListWidgetItem(name, _w.list);
        item->setData(Qt::UserRole, id);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(keptIds.contains(id) ? Qt::Checked : Qt::Unchecked);
    }

    Baseline baseline;
    if (mgr->baselineDAO()->getBaseline(baseline).failed())
        return;
    for (QSpinBox* box : { _w.startYear, _w.endYear })
        box->setRange(baseline.StartYear, baseline.EndYear);
    _w.startYear->setValue(keptStart >= 0 ? keptStart : baseline.StartYear);
    _w.endYear->setValue(keptEnd >= 0 ? keptEnd : baseline.EndYear);
    _exportDbPath = mgr->path();
    updateExportButton();
}

void ExportingTab::updateExportButton()
{
    bool anyChecked = false;
    for (int row = 0; row < _w.list->count() && !anyChecked; ++row)
        anyChecked = _w.list->item(row)->checkState() == Qt::Checked;
    _w.exportButton->setEnabled(anyChecked && !_w.file->text().trimmed().isEmpty());
}

void ExportingTab::expFileButtonClicked()
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    QString start = _w.file->text().trimmed();
    if (start.isEmpty())
        start = mgr->path();
    const QString chosen = QFileDialog::getSaveFileName(_window, QStringLiteral("Excel Workbook"),
        QFileInfo(start).absolutePath(),
        QStringLiteral("Excel Workbook Files (*.xlsx *.xlsm);;Excel 97-2003 Workbooks (*.xls);;All "
                       "Files (*)"));
    if (chosen.isEmpty())
        return;
    _w.file->setText(chosen);
    _fileProject = mgr->path();
    fill();
}

void ExportingTab::expButtonClicked()
{
    QList<int> ids;
    QStringList names;
    for (int row = 0; row < _w.list->count(); ++row) {
        const QListWidgetItem* item = _w.list->item(row);
        if (item->checkState() == Qt::Checked) {
            ids.append(item->data(Qt::UserRole).toInt());
            names.append(item->text());
        }
    }
    const QString path = _w.file->text().trimmed();
    const int startYear = _w.startYear->value();
    const int endYear = _w.endYear->value();
    if (endYear < startYear || ids.isEmpty() || path.isEmpty())
        return;
    if (!workbookBelongsHere(path) || !resultsReadyForExport(ids))
        return;

    TarnDbMgr* mgr = TarnDbMgr::instance();
    auto* exporter = new DataExporter(this, mgr->database());
    connect(
        exporter, &DataExporter::diagMessage, this, [this](const QString& line) { _diag(line); });
    _runningPath = path;
    _runningWhat = QStringLiteral("%1 (%2 to %3)")
                       .arg(names.join(QStringLiteral(", ")))
                       .arg(startYear)
                       .arg(endYear);
    ModalRunner::start(
        _window, CalcStatusJob::dataExport(exporter),
        [exporter, path, ids, startYear, endYear] {
            return exporter->exportData(path, ids, startYear, endYear);
        },
        [this](const TARN::okstat& result) { exportFinished(result); });
}

bool ExportingTab::workbookBelongsHere(const QString& path)
{
    QHash<QString, QString> projects;
    // A file that cannot be read as a workbook is reported by the export itself.
    if (TARN::workbookProjects(path, &projects).failed() || projects.isEmpty())
        return true;
    const QString here = QFileInfo(TarnDbMgr::instance()->path()).fileName();
    QStringList others;
    for (auto it = projects.constBegin(); it != projects.constEnd(); ++it) {
        if (it.value() != here && !others.contains(it.value()))
            others << it.value();
    }
    if (others.isEmpty())
        return true;
    others.sort();
    const QString text
        = QStringLiteral("The workbook \"%1\" holds sheets exported from another project (%2). "
                         "Export \"%3\" into it anyway? Its sheets of the same names are "
                         "replaced; the other sheets stay.")
              .arg(QFileInfo(path).fileName(),
                  QStringLiteral("\"%1\"").arg(others.join(QStringLiteral("\", \""))), here);
    return QMessageBox::question(
               _window, ExportTitle, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

bool ExportingTab::resultsReadyForExport(const QList<int>& runs)
{
    ProjectValidator::Options options;
    options.resultsOnly = true;
    options.runs = runs;
    QList<ValidationFinding> findings;
    if (!ProjectCheckRunner::check(_window, options, findings))
        return false;
    if (findings.isEmpty())
        return true;
    // A finding that names neither a site nor a water user is a run the check could not
    // recalculate: recalculating before the export would fail the same way.
    QStringList unchecked;
    QSet<QPair<int, QString>> users;
    QSet<int> sites;
    int uncalculated = 0; // water users of runs never calculated
    for (const ValidationFinding& finding : qAsConst(findings)) {
        if (finding.runFailed)
            unchecked << finding.message;
        else if (finding.waterUsers > 0)
            uncalculated += finding.waterUsers;
        else if (finding.waterUser.isEmpty())
            sites.insert(finding.aggDivID);
        else
            users.insert({ finding.aggDivID, finding.waterUser });
    }
    if (!unchecked.isEmpty()) {
        return QMessageBox::warning(_window, ExportTitle,
                   unchecked.join(QLatin1Char('\n'))
                       + QStringLiteral("\n\nThe exported results may be out of date. Export "
                                        "anyway?"),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            == QMessageBox::Yes;
    }
    // Each finding names a water user, or a site whose salinity alone is out of date.
    const int count
        = users.isEmpty() && uncalculated == 0 ? sites.size() : users.size() + uncalculated;
    const QMessageBox::StandardButton answer = QMessageBox::question(_window, ExportTitle,
        QStringLiteral("Results of %1 water users are out of date. Recalculate before exporting?")
            .arg(count),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes)
        return ProjectCheckRunner::recalculate(_window, runs, _diag).isOk();
    return true;
}

void ExportingTab::exportFinished(const TARN::okstat& result)
{
    const QString file = QFileInfo(_runningPath).fileName();
    const QString at = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    if (result.isOk()) {
        showResult(QStringLiteral("Exported %1 to %2 at %3.").arg(_runningWhat, file, at), false);
        return;
    }
    if (result.text() == DataExporter::cancelledText()) {
        showResult(
            QStringLiteral("Export cancelled at %1: %2 was left as it was.").arg(at, file), false);
        return;
    }
    showResult(QStringLiteral("Export to %1 failed at %2: %3").arg(file, at, result.text()), true);
    QMessageBox::warning(_window, ExportTitle, result.text());
}

void ExportingTab::compareWorkbooksClicked()
{
    const QString start = _w.file->text().trimmed();
    WorkbookCompareRunner::run(_window, start.isEmpty() ? TarnDbMgr::instance()->path() : start,
        [this](const QString& line, bool failed) { showResult(line, failed); });
}

void ExportingTab::showResult(const QString& text, bool failed)
{
    _w.result->setStyleSheet(failed ? QStringLiteral("QLabel { color: #b00000; }") : QString());
    _w.result->setText(text);
}
