#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"
#include "workbook/WorkbookDiff.h"

#include <QObject>

// A comparison of two workbooks run on a worker thread, reporting its progress the way the
// exporters do (a status dialog attaches to it): target = "OLD and NEW", the first bar counts
// the sheets, its text names the sheet being read.
class WorkbookDiffJob : public QObject {
    Q_OBJECT

public:
    explicit WorkbookDiffJob(QObject* parent = nullptr);

    // Emits diffFinished with the result; the comparison is kept for comparison().
    TARN::okstat run(const QString& oldPath, const QString& newPath, double tolerance = 0);
    const Workbook::WorkbookComparison& comparison() const { return _comparison; }

signals:
    void diffStatus(CalcStatusInfo info);
    void diffFinished(TARN::okstat status);

private:
    Workbook::WorkbookComparison _comparison;
};
