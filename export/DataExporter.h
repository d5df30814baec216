// DataExporter: the Excel export of the monthly results of the baseline and of scenarios.

#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QStringList>

#include <atomic>
#include <functional>

class LibXlConnect;

// The slot names of a water user's diversion and depletion series, worded after the baseline's
// output type: "Diversion Requested" for requested demands, "Diversion Schedule" otherwise.
struct DemandSlotNames {
    QString diversion;
    QString depletion;
};
// Reads the baseline's output type and gives the slot names it words.
TARN::okstat readDemandSlotNames(const QSqlDatabase& db, DemandSlotNames& names);

// Writes the monthly results of the baseline and of chosen scenarios into an Excel workbook, one
// sheet per baseline or scenario, one column per series, named after the river model's slots.
// Runs on a pool thread on the connection it is handed; the workbook on disk changes only when
// the whole export succeeded.
//
// Progress is sent at most every 50 ms; the last status of each stage (a sheet's sites, the
// save) always goes. An .xlsx book compresses a finished sheet on every core while the next
// one is read, and the save reports how far it has come.
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
    // Threads that compress an .xlsx book (0, the default: one per core).
    void setCompressionThreads(int threads) { _compressionThreads = threads; }
    // The clock (in milliseconds) that paces the progress; for tests.
    void setStatusClock(std::function<qint64()> clock) { _clock = std::move(clock); }
    // The export time the sheets' fingerprints record (whole seconds, UTC); invalid, the
    // default, stands for the moment of the export. Two exports given one time write the same
    // book byte for byte.
    void setExportTime(const QDateTime& time) { _exportTime = time; }

    // Asks a running export to stop: it ends at the next site or during the save, with the
    // workbook on disk as it was. Any thread may call it.
    void cancel() { _cancel = true; }
    bool isCancelled() const { return _cancel; }
    // The result of an export that was cancelled.
    static QString cancelledText();

    // The least time between two progress signals, unless the second one ends a stage.
    static constexpr qint64 StatusInterval = 50;

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

    TARN::okstat save(LibXlConnect& book, int sheets, CalcStatusInfo& info);
    // Emits exportStatus unless the last one went less than StatusInterval ago; one that
    // ends a stage always goes.
    void report(const CalcStatusInfo& info, bool endOfStage = false);

    QSqlDatabase _db;
    std::atomic_bool _cancel { false };
    bool _compareWithPrevious = true;
    int _compressionThreads = 0;
    std::function<qint64()> _clock;
    QDateTime _exportTime;
    QElapsedTimer _timer;
    qint64 _lastReport = -1;
};
