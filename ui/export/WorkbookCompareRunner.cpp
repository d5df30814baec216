#include "ui/export/WorkbookCompareRunner.h"

#include "export/WorkbookDiffJob.h"
#include "ui/common/CalcStatusJob.h"
#include "ui/common/ModalRunner.h"
#include "ui/export/WorkbookDiffDlg.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>

namespace WorkbookCompareRunner {

namespace {
const QString Filter = QStringLiteral("Excel Workbooks (*.xlsx *.xlsm *.xls);;All Files (*)");
}

void run(QWidget* parent, const QString& startPath, const Finished& finished)
{
    const QString start = QFileInfo(startPath).absolutePath();
    const QString oldPath
        = QFileDialog::getOpenFileName(parent, QStringLiteral("Old Workbook"), start, Filter);
    if (oldPath.isEmpty())
        return;
    const QString newPath = QFileDialog::getOpenFileName(
        parent, QStringLiteral("New Workbook"), QFileInfo(oldPath).absolutePath(), Filter);
    if (newPath.isEmpty())
        return;
    compare(parent, oldPath, newPath, finished);
}

void compare(
    QWidget* parent, const QString& oldPath, const QString& newPath, const Finished& finished)
{
    auto* job = new WorkbookDiffJob(parent);
    // The job is deleted only once the pool thread has left it; the result is shown from the
    // GUI thread.
    QPointer<QWidget> owner(parent);
    ModalRunner::start(
        parent, CalcStatusJob::workbookDiff(job),
        [job, oldPath, newPath] { return job->run(oldPath, newPath); },
        [job, owner, finished, oldPath, newPath](const TARN::okstat& result) {
            const QString names
                = QStringLiteral("%1 with %2")
                      .arg(QFileInfo(oldPath).fileName(), QFileInfo(newPath).fileName());
            if (result.failed()) {
                job->deleteLater();
                if (finished)
                    finished(
                        QStringLiteral("Comparing %1 failed: %2").arg(names, result.text()), true);
                QMessageBox::warning(owner, QStringLiteral("Compare Workbooks"), result.text());
                return;
            }
            if (finished) {
                // The summary speaks of "the previous workbook"; here both are named.
                QString summary = job->comparison().summary();
                summary = summary.mid(summary.indexOf(QStringLiteral(": ")) + 2);
                finished(QStringLiteral("Compared %1: %2").arg(names, summary), false);
            }
            auto* window = new WorkbookDiffDlg(job->comparison(), owner);
            job->deleteLater();
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->show();
        });
}

} // namespace WorkbookCompareRunner
