#include "ui/common/AttributeExportRunner.h"

#include "db/TarnDbMgr.h"
#include "export/AttributeExporter.h"
#include "ui/common/CalcStatusDlg.h"

#include <QFileDialog>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QPointer>
#include <QtConcurrent>

namespace AttributeExportRunner {

void run(QWidget* parent, int scenarioId)
{
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Attributes File"),
        QString(), QStringLiteral("XML Files (*.xml);;All Files (*)"));
    if (!path.isEmpty())
        exportTo(parent, scenarioId, path);
}

void exportTo(QWidget* parent, int scenarioId, const QString& path)
{
    TarnDbMgr* mgr = TarnDbMgr::instance();
    auto* exporter = new AttributeExporter(parent, mgr->database(), mgr->path());
    auto* status = new CalcStatusDlg(parent);
    status->setWindowModality(Qt::WindowModal);
    status->attachAttributeExporter(exporter);
    QObject::connect(status, &QDialog::finished, status, &QObject::deleteLater);

    // The exporter is deleted only once the pool thread has left it; the result is shown from
    // the GUI thread.
    auto* watcher = new QFutureWatcher<TARN::okstat>(parent);
    QPointer<QWidget> owner(parent);
    QObject::connect(
        watcher, &QFutureWatcher<TARN::okstat>::finished, watcher, [watcher, exporter, owner] {
            const TARN::okstat result = watcher->result();
            exporter->deleteLater();
            watcher->deleteLater();
            if (result.failed())
                QMessageBox::warning(owner, QStringLiteral("Attributes File"), result.text());
        });
    status->open();
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(),
        [exporter, path, scenarioId] { return exporter->exportAttributes(path, scenarioId); }));
}

} // namespace AttributeExportRunner
