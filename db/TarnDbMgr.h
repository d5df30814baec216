#pragma once

#include "db/ColumnNames.h"
#include "db/EditSteps.h"
#include "db/okstat.h"

#include <QObject>
#include <QPointer>
#include <QSqlDatabase>

class AggDivDAO;
class AttributeDAO;
class BaselineDAO;
class PlotDAO;
class ScenarioDAO;
class WaterUserDAO;

// Owns the program's single SQLite connection and the six data-access objects that sit on it.
// Every statement of the program runs on this connection. The GUI thread and, while the GUI
// waits in a modal status dialog, one worker thread use it; never both at once.
class TarnDbMgr : public QObject {
    Q_OBJECT

public:
    static TarnDbMgr* instance();
    ~TarnDbMgr() override;

    // Opens path as the project and checks that it is one. Asking again for the path that is
    // already open and valid does nothing.
    TARN::okstat openDatabase(const QString& path);
    // Opens path as openDatabase does, but for reading only (SQLite's read-only mode): many
    // processes may read one file at once, also where it cannot be written, and no statement
    // of this process can change it.
    TARN::okstat openDatabaseReadOnly(const QString& path);
    bool isReadOnly() const { return _readOnly; }
    // Begins a transaction; while steps are recorded, it records one unless told it only writes
    // results (a calculation's own transaction).
    enum class Step { Recorded, NotRecorded };
    TARN::okstat beginTransaction(Step step = Step::Recorded);
    // Commits the open transaction. A failed commit may have ended it (SQLite rolls back after
    // a full disk or an I/O error) or left it open (another program holds the lock): ask
    // inTransaction() before writing on.
    TARN::okstat commit();
    // Rolls back the open transaction; when SQLite has already ended it, there is nothing left
    // to undo and this succeeds.
    TARN::okstat rollback();
    // Whether a transaction is open on the connection. After a failed write SQLite may have
    // ended it by itself: what was written in it is gone, and a further statement would run on
    // its own and be committed at once.
    bool inTransaction();

    // Saved steps: while on, every transaction begun here records the rows it changes in the
    // input tables, and a commit that changed any hands them out through stepCommitted. Off by
    // default (the command-line tool and the calculations keep nothing).
    void setRecordingSteps(bool on);
    bool isRecordingSteps() const { return _recordingSteps; }
    // Whether steps can be recorded and applied at all (the connection's own SQLite handle).
    bool canApplySteps() const;
    // Applies a recorded step, or its inverse, in a transaction of its own that records nothing;
    // refused, with nothing changed, while a transaction is open or when the rows are no longer
    // as the step left them.
    TARN::okstat applyStep(const QByteArray& changeset);
    // Whether the path now names another file than the one open (renamed over, or removed):
    // what the connection would write then reaches no file anyone reads.
    bool fileReplaced() const;

    QSqlDatabase& database() { return _db; }
    QString path() const { return _path; }
    // The open file's column names; free columns are addressed through it.
    const ColumnNames& columns() const { return _columns; }
    bool isValid() const { return _valid; }

    AggDivDAO* aggDivDAO() const { return _aggDivDAO; }
    AttributeDAO* attributeDAO() const { return _attributeDAO; }
    BaselineDAO* baselineDAO() const { return _baselineDAO; }
    PlotDAO* plotDAO() const { return _plotDAO; }
    ScenarioDAO* scenarioDAO() const { return _scenarioDAO; }
    WaterUserDAO* waterUserDAO() const { return _waterUserDAO; }

    // Milliseconds a statement waits for another process's lock before failing.
    static constexpr int BusyTimeoutMs = 5000;

signals:
    // A committed transaction changed input rows: what it changed, as a changeset.
    void stepCommitted(const QByteArray& changeset);

private:
    TarnDbMgr();
    void deleteAccessObjects();
    TARN::okstat refusal() const;
    TARN::okstat open(const QString& path, bool readOnly);

    AggDivDAO* _aggDivDAO = nullptr;
    AttributeDAO* _attributeDAO = nullptr;
    BaselineDAO* _baselineDAO = nullptr;
    PlotDAO* _plotDAO = nullptr;
    ScenarioDAO* _scenarioDAO = nullptr;
    WaterUserDAO* _waterUserDAO = nullptr;
    QString _path;
    bool _valid = false;
    bool _readOnly = false;
    QSqlDatabase _db;
    ColumnNames _columns;
    bool _recordingSteps = false;
    // The open file's device and inode, as it was opened.
    quint64 _fileDevice = 0;
    quint64 _fileInode = 0;
    EditSteps::Recorder _recorder;

    static TarnDbMgr* _instance;
};
