#include "export/WorkbookDiffJob.h"

#include <QFileInfo>

WorkbookDiffJob::WorkbookDiffJob(QObject* parent)
    : QObject(parent)
{
}

TARN::okstat WorkbookDiffJob::run(const QString& oldPath, const QString& newPath, double tolerance)
{
    CalcStatusInfo info;
    info.target = QStringLiteral("%1 and %2")
                      .arg(QFileInfo(oldPath).fileName(), QFileInfo(newPath).fileName());
    info.status = QStringLiteral("Reading the workbooks");
    info.aggDivCount = 1;
    info.waterUserCount = 0;
    emit diffStatus(info);

    Workbook::WorkbookDiff diff(tolerance);
    diff.setProgress([&](const QString& sheet, int done, int total) {
        info.aggDivName = sheet;
        info.aggDivDone = done;
        info.aggDivCount = std::max(total, 1);
        info.status = sheet.isEmpty() ? QString() : QStringLiteral("Comparing sheets");
        emit diffStatus(info);
    });
    QString error;
    TARN::okstat status;
    if (!diff.compareFiles(oldPath, newPath, &_comparison, &error))
        status = TARN::okstat(error);
    emit diffFinished(status);
    return status;
}
