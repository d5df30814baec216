#include "ui/common/AttributeExportRunner.h"

#include "db/TarnDbMgr.h"
#include "export/AttributeExporter.h"
#include "ui/common/CalcStatusJob.h"
#include "ui/common/ModalRunner.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

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
    // The exporter is deleted only once the pool thread has left it; the result is shown from
    // the GUI thread.
    QPointer<QWidget> owner(parent);
    ModalRunner::start(
        parent, CalcStatusJob::attributeExport(exporter),
        [exporter, path, scenarioId] { return exporter->exportAttributes(path, scenarioId); },
        [exporter, owner](const TARN::okstat& result) {
            exporter->deleteLater();
            if (result.failed())
                QMessageBox::warning(owner, QStringLiteral("Attributes File"), result.text());
        });
}

} // namespace AttributeExportRunner
