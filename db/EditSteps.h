#pragma once

#include "db/okstat.h"

#include <QByteArray>
#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>
#include <QVector>

struct sqlite3;
struct sqlite3_session;

// Saved editing steps as SQLite changesets: the rows one commit changed in the input tables,
// with their values before and after, so that a step can be taken back (its inverse applied)
// and made again. The result tables are never part of a step; they are recomputed.
namespace EditSteps {

// The input tables, children before the tables they reference. A changeset lists its tables in
// this order, so applying one deletes a child row before its parent's delete could cascade to
// it (and leave the child's own delete with nothing to match).
const QStringList& recordedTables();

// One changed row. Values are by column position; an invalid QVariant is a value the changeset
// does not carry (the unchanged columns of an update), a null QVariant of type Invalid too.
struct RowChange {
    enum Op { Insert, Update, Delete };
    QString table;
    Op op = Update;
    qint64 key = 0;
    QVector<QVariant> before; // Update and Delete
    QVector<QVariant> after; // Insert and Update
    // The value of column, after the step where it has one, else before it.
    QVariant value(int column) const;
    bool changed(int column) const;
};

TARN::okstat readChanges(const QByteArray& changeset, QList<RowChange>& rows);
TARN::okstat invert(const QByteArray& changeset, QByteArray& inverse);

// Reads the row of table whose key is key, by position; false when there is none.
bool readRow(QSqlDatabase& db, const QString& table, qint64 key, QVector<QVariant>& values);

// Records what the connection changes in the input tables between start() and finish().
class Recorder {
public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Starts a new recording on handle; a recording still running is dropped.
    TARN::okstat start(sqlite3* handle);
    bool isRecording() const { return _session != nullptr; }
    // The net change since start() (empty when nothing changed) and stops recording.
    TARN::okstat finish(QByteArray& changeset);
    void discard();

private:
    sqlite3_session* _session = nullptr;
};

// Applies changeset on handle inside the open transaction, all or nothing. A row that is not as
// the changeset expects (changed, removed or added since by anyone) refuses the whole of it,
// and the refusal says which table it was in.
TARN::okstat apply(sqlite3* handle, const QByteArray& changeset);

} // namespace EditSteps
