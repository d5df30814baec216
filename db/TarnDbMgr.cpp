#include "db/TarnDbMgr.h"

#include "db/AggDivDAO.h"
#include "db/AttributeDAO.h"
#include "db/BaselineDAO.h"
#include "db/DbFailure.h"
#include "db/PlotDAO.h"
#include "db/ScenarioDAO.h"
#include "db/SqliteHandle.h"
#include "db/WaterUserDAO.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <sys/stat.h>

namespace {

bool fileIdentity(const QString& path, quint64& device, quint64& inode)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    device = static_cast<quint64>(info.st_dev);
    inode = static_cast<quint64>(info.st_ino);
    return true;
}

} // namespace

TarnDbMgr* TarnDbMgr::_instance = nullptr;

TarnDbMgr* TarnDbMgr::instance()
{
    if (!_instance)
        _instance = new TarnDbMgr();
    return _instance;
}

TarnDbMgr::TarnDbMgr()
{
    _db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    _db.setNumericalPrecisionPolicy(QSql::HighPrecision);
}

TarnDbMgr::~TarnDbMgr()
{
    deleteAccessObjects();
    const QString name = _db.connectionName();
    _db.close();
    _db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
    if (_instance == this)
        _instance = nullptr;
}

void TarnDbMgr::deleteAccessObjects()
{
    delete _aggDivDAO;
    delete _attributeDAO;
    delete _baselineDAO;
    delete _plotDAO;
    delete _scenarioDAO;
    delete _waterUserDAO;
    _aggDivDAO = nullptr;
    _attributeDAO = nullptr;
    _baselineDAO = nullptr;
    _plotDAO = nullptr;
    _scenarioDAO = nullptr;
    _waterUserDAO = nullptr;
}

TARN::okstat TarnDbMgr::refusal() const
{
    // No statement failed here (the checks' selects keep their errors in their models), and
    // the connection's own error text may be left over from an earlier failed begin or commit.
    return QStringLiteral("The selected database is not a properly structured TARN database.");
}

TARN::okstat TarnDbMgr::openDatabase(const QString& path)
{
    return open(path, false);
}

TARN::okstat TarnDbMgr::openDatabaseReadOnly(const QString& path)
{
    return open(path, true);
}

TARN::okstat TarnDbMgr::open(const QString& path, bool readOnly)
{
    if (path != _path || readOnly != _readOnly) {
        // The old models must not outlive their connection's file.
        deleteAccessObjects();
        _recorder.discard();
        _db.close();
        _columns.clear();
        _valid = false;
    }
    _path = path;
    _readOnly = readOnly;
    if (_valid && _db.isOpen())
        return {};

    _valid = false;
    // SQLite would create a missing file; a project is only ever opened here, never made.
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("The file %1 does not exist.").arg(path);
    if (!info.isFile())
        return QStringLiteral("%1 is not a file.").arg(path);
    _db.setDatabaseName(path);
    _db.setConnectOptions(QStringLiteral("%1QSQLITE_BUSY_TIMEOUT=%2")
                              .arg(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;") : QString())
                              .arg(BusyTimeoutMs));
    fileIdentity(path, _fileDevice, _fileInode);
    if (!_db.open()) {
        const QString error = _db.lastError().text();
        return error.trimmed().isEmpty() ? QStringLiteral("Unable to open %1").arg(path) : error;
    }

    {
        QSqlQuery pragma(_db);
        if (!pragma.exec(QStringLiteral("PRAGMA foreign_keys = ON;")))
            return pragma.lastError().text();
        QSqlQuery count(_db);
        if (!count.exec(QStringLiteral("SELECT COUNT(*) FROM Baseline"))) {
            // A file of another kind is not a project, whatever SQLite calls it.
            const QString error = count.lastError().text();
            return error.contains(QLatin1String("not a database")) ? refusal() : error;
        }
        if (!count.next() || count.value(0).toInt() < 1)
            return refusal();
    }
    if (const TARN::okstat read = _columns.read(_db); read.failed())
        return read;

    deleteAccessObjects();
    _aggDivDAO = new AggDivDAO(this, _db);
    _attributeDAO = new AttributeDAO(this, _db);
    _baselineDAO = new BaselineDAO(this, _db);
    _plotDAO = new PlotDAO(this, _db);
    _scenarioDAO = new ScenarioDAO(this, _db);
    _waterUserDAO = new WaterUserDAO(this, _db);

    const bool checked = _aggDivDAO->checkStructure() && _attributeDAO->checkStructure()
        && _baselineDAO->checkStructure() && _plotDAO->checkStructure()
        && _scenarioDAO->checkStructure() && _waterUserDAO->checkStructure();
    if (!checked)
        return refusal();

    _valid = true;
    return {};
}

TARN::okstat TarnDbMgr::beginTransaction(Step step)
{
    _recorder.discard();
    if (!_db.transaction())
        return QStringLiteral("Cannot begin the transaction: %1").arg(_db.lastError().text());
    if (_recordingSteps && step == Step::Recorded) {
        // A step that cannot be recorded is still saved; it only cannot be undone.
        const TARN::okstat recording = _recorder.start(TARN::directSqliteHandle(_db));
        if (recording.failed())
            qWarning("%s", qPrintable(recording.text()));
    }
    return {};
}

TARN::okstat TarnDbMgr::commit()
{
    if (!_db.commit()) {
        // A commit that ended the transaction (SQLite rolled back) saved nothing to record.
        if (!inTransaction())
            _recorder.discard();
        return _db.lastError().text();
    }
    if (!_recorder.isRecording())
        return {};
    QByteArray changeset;
    const TARN::okstat recorded = _recorder.finish(changeset);
    if (recorded.failed())
        qWarning("%s", qPrintable(recorded.text()));
    else if (!changeset.isEmpty())
        emit stepCommitted(changeset);
    return {};
}

TARN::okstat TarnDbMgr::rollback()
{
    _recorder.discard();
    if (!inTransaction())
        return {};
    if (!_db.rollback())
        return _db.lastError().text();
    return {};
}

void TarnDbMgr::setRecordingSteps(bool on)
{
    _recordingSteps = on;
    if (!on)
        _recorder.discard();
}

bool TarnDbMgr::canApplySteps() const
{
    return _db.isOpen() && TARN::directSqliteHandle(_db) != nullptr;
}

TARN::okstat TarnDbMgr::applyStep(const QByteArray& changeset)
{
    sqlite3* handle = TARN::directSqliteHandle(_db);
    if (!_db.isOpen() || !handle)
        return QStringLiteral("Steps cannot be applied to this project.");
    if (inTransaction())
        return QStringLiteral("Another change to the project is still open.");
    if (fileReplaced())
        return QStringLiteral("%1 was replaced or removed since it was opened; open it again")
            .arg(QFileInfo(_path).fileName());
    if (!_db.transaction())
        return DbFailure::databaseText(_db.lastError().text());
    TARN::okstat status = EditSteps::apply(handle, changeset);
    if (status.isOk() && !_db.commit())
        status = DbFailure::databaseText(_db.lastError().text());
    if (status.failed() && inTransaction())
        _db.rollback();
    return status;
}

bool TarnDbMgr::inTransaction()
{
    if (!_db.isOpen())
        return false;
    if (sqlite3* handle = TARN::directSqliteHandle(_db))
        return sqlite3_get_autocommit(handle) == 0;
    // Without the handle: a transaction can be begun exactly when none is open.
    QSqlQuery probe(_db);
    if (!probe.exec(QStringLiteral("BEGIN")))
        return true;
    probe.exec(QStringLiteral("ROLLBACK"));
    return false;
}

bool TarnDbMgr::fileReplaced() const
{
    quint64 device = 0;
    quint64 inode = 0;
    if (!fileIdentity(_path, device, inode))
        return true;
    return device != _fileDevice || inode != _fileInode;
}
