#include "ui/common/InputsBookRunner.h"

#include "calc/BaselineChangeLog.h"
#include "db/Savepoint.h"
#include "db/TarnDbMgr.h"
#include "inputs/InputsApply.h"
#include "inputs/InputsFiles.h"
#include "inputs/InputsImport.h"
#include "ui/common/ImportPreviewDlg.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace InputsBookRunner {

namespace {

const QString SavepointName = QStringLiteral("input_book_import");
const QString CsvFilter = QStringLiteral("Folder of CSV files (*)");

// Keeps the scenario sheets, and in them the rows of the one scenario: a book of a single
// scenario gives its rows to this one, so that changes can move between scenarios.
Inputs::Book scenarioPart(const Inputs::Book& book, const QString& scenarioName)
{
    const QStringList names { Inputs::SheetName::Scenarios, Inputs::SheetName::Changes,
        Inputs::SheetName::ChangeValues, Inputs::SheetName::ChangeMembers,
        Inputs::SheetName::ChangeFilters, Inputs::SheetName::ScenarioWaterUsers,
        Inputs::SheetName::ScenarioYearlyData };
    QStringList inBook;
    if (const Inputs::Sheet* scenarios = Inputs::findSheet(book, Inputs::SheetName::Scenarios))
        for (const QStringList& row : scenarios->rows)
            if (!row.value(0).trimmed().isEmpty())
                inBook.append(row.value(0).trimmed());
    const bool single = inBook.size() == 1;
    Inputs::Book part;
    for (const Inputs::Sheet& sheet : book) {
        if (!names.contains(sheet.name, Qt::CaseInsensitive))
            continue;
        Inputs::Sheet kept = sheet;
        kept.rows.clear();
        const int column = sheet.columnOf(Inputs::Column::Scenario);
        for (QStringList row : sheet.rows) {
            if (column < 0 || row.size() <= column)
                continue;
            if (single && row.at(column).trimmed() == inBook.first())
                row[column] = scenarioName;
            if (row.at(column).trimmed() == scenarioName)
                kept.rows.append(row);
        }
        part.append(kept);
    }
    return part;
}

} // namespace

void exportBook(QWidget* parent, const QString& title, int scenarioId)
{
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        parent, title, QString(), QStringLiteral("Excel Workbook (*.xlsx);;") + CsvFilter, &filter);
    if (path.isEmpty())
        return;
    if (filter != CsvFilter && QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".xlsx");
    exportTo(parent, title, scenarioId, path);
}

void exportTo(QWidget* parent, const QString& title, int scenarioId, const QString& path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TARN::okstat status
        = Inputs::exportInputs(path, scenarioId < 0 ? QList<int>() : QList<int> { scenarioId });
    QApplication::restoreOverrideCursor();
    if (status.failed())
        QMessageBox::warning(parent, title, status.text());
}

Outcome importBook(
    QWidget* parent, const QString& title, const QString& scenarioName, BaselineChangeLog& log)
{
    QString path = QFileDialog::getOpenFileName(parent, title, QString(),
        QStringLiteral("Input books (*.xlsx *.xlsm *.xls *.csv);;All Files (*)"));
    if (path.isEmpty())
        return {};
    // A folder of .csv files is chosen through any one of them.
    if (QFileInfo(path).suffix().compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        path = QFileInfo(path).absolutePath();
    return importFrom(parent, title, scenarioName, path, log);
}

Outcome importFrom(QWidget* parent, const QString& title, const QString& scenarioName,
    const QString& path, BaselineChangeLog& log)
{
    TarnDbMgr* manager = TarnDbMgr::instance();
    Inputs::ProjectInputs project;
    Inputs::ImportPlan plan;
    Inputs::Book book;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    TARN::okstat status = project.read();
    if (status.isOk())
        status = Inputs::readBook(path, book);
    if (status.isOk())
        Inputs::planImport(scenarioName.isEmpty() ? book : scenarioPart(book, scenarioName), {}, {},
            project, plan);
    QApplication::restoreOverrideCursor();
    if (status.failed()) {
        QMessageBox::warning(parent, title, status.text());
        return {};
    }
    ImportPreviewDlg preview(plan, title, parent);
    if (preview.exec() != QDialog::Accepted)
        return {};

    // Inside the dialog's transaction, and undone as a whole when it fails half way.
    if (!manager->inTransaction()) {
        QMessageBox::warning(parent, title,
            QStringLiteral("The dialog's edits were lost by an earlier failure: close it and "
                           "open it again before importing."));
        return {};
    }
    status = Savepoint::begin(manager->database(), SavepointName);
    BaselineChangeLog imported;
    if (status.isOk())
        status = Inputs::applyPlan(plan, project, imported);
    if (status.failed()) {
        if (manager->inTransaction()) {
            Savepoint::rollbackTo(manager->database(), SavepointName);
            Savepoint::release(manager->database(), SavepointName);
        }
        QMessageBox::warning(
            parent, title, QStringLiteral("Nothing was imported: %1").arg(status.text()));
        return {};
    }
    Savepoint::release(manager->database(), SavepointName);
    // The dialog's own log takes the import's edits, so its save computes them.
    log.merge(imported);
    return { true, plan.touchedScenarios };
}

} // namespace InputsBookRunner
