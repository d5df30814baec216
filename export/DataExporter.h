#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>

// Writes the monthly results of the baseline and of chosen scenarios into an Excel workbook, one
// sheet per baseline or scenario, one column per series, named after the river model's slots.
// Runs on a pool thread on the connection it is handed; the workbook on disk changes only when
// the whole export succeeded.
class DataExporter : public QObject {
    Q_OBJECT

public:
    static constexpr int BaselineId = -1;

    explicit DataExporter(QObject* parent, const QSqlDatabase& db);

    // scenarioIds: -1 stands for the baseline. Emits exportFinished with the result.
    TARN::okstat exportData(
        const QString& fileName, const QList<int>& scenarioIds, int startYear, int endYear);

signals:
    void exportStatus(CalcStatusInfo info);
    void exportFinished(TARN::okstat status);

private:
    TARN::okstat run(
        const QString& fileName, const QList<int>& scenarioIds, int startYear, int endYear);

    QSqlDatabase _db;
};
