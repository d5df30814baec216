#include "ui/common/CalcStatusJob.h"

#include "calc/DemandCalculator.h"
#include "calc/ProjectValidator.h"
#include "export/AttributeExporter.h"
#include "export/DataExporter.h"
#include "export/WorkbookDiffJob.h"

namespace {

CalcStatusJob exportJob()
{
    return CalcStatusJob::other(QStringLiteral("Export Status"), QStringLiteral("Exporting:"));
}

} // namespace

CalcStatusJob CalcStatusJob::other(const QString& windowTitle, const QString& label)
{
    CalcStatusJob job;
    job.windowTitle = windowTitle;
    job.label = label;
    return job;
}

CalcStatusJob CalcStatusJob::calculation(DemandCalculator* calculator)
{
    CalcStatusJob job = other(QStringLiteral("Calculation Status"), QStringLiteral("Calculating:"));
    job.paced = true;
    job.connectSignals(calculator, &DemandCalculator::calcStatus, &DemandCalculator::calcFinished);
    return job;
}

CalcStatusJob CalcStatusJob::validation(ProjectValidator* validator)
{
    CalcStatusJob job = other(QStringLiteral("Project Check"), QStringLiteral("Checking:"));
    job.connectSignals(validator, &ProjectValidator::calcStatus, &ProjectValidator::calcFinished);
    return job;
}

CalcStatusJob CalcStatusJob::dataExport(DataExporter* exporter)
{
    CalcStatusJob job = exportJob();
    job.paced = true;
    // A long export may be stopped; the workbook on disk stays as it was.
    job.cancel = [exporter] { exporter->cancel(); };
    job.connectSignals(exporter, &DataExporter::exportStatus, &DataExporter::exportFinished);
    return job;
}

CalcStatusJob CalcStatusJob::attributeExport(AttributeExporter* exporter)
{
    CalcStatusJob job = exportJob();
    job.paced = true;
    job.connectSignals(
        exporter, &AttributeExporter::exportStatus, &AttributeExporter::exportFinished);
    return job;
}

CalcStatusJob CalcStatusJob::workbookDiff(WorkbookDiffJob* diff)
{
    CalcStatusJob job = other(QStringLiteral("Comparison Status"), QStringLiteral("Comparing:"));
    job.singleBarLabel = QStringLiteral("Sheet:");
    job.connectSignals(diff, &WorkbookDiffJob::diffStatus, &WorkbookDiffJob::diffFinished);
    return job;
}
