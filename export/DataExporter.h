#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>

class LibXlConnect;

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

    // Whether an export into an existing workbook compares the sheets it writes with the ones
    // they replace, and reports what changed as a diagnostic line (on by default).
    void setCompareWithPrevious(bool compare) { _compareWithPrevious = compare; }

signals:
    void exportStatus(CalcStatusInfo info);
    void exportFinished(TARN::okstat status);
    // What changed against the workbook the export replaced.
    void diagMessage(const QString& line);

private:
    TARN::okstat run(
        const QString& fileName, const QList<int>& scenarioIds, int startYear, int endYear);
    // The fingerprint of every sheet the export writes (project, years, time, scenario).
    TARN::okstat recordFingerprints(LibXlConnect& book, const QList<int>& scenarioIds,
        const QStringList& sheetNames, int startYear, int endYear);
    // The line that says what changed against the file on disk; empty for a new file.
    QString compareWithPrevious(LibXlConnect& book, CalcStatusInfo& info);

    QSqlDatabase _db;
    bool _compareWithPrevious = true;
};
