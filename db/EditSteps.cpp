#include "db/EditSteps.h"

#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>

// Debian's SQLite is built with the session extension; its declarations are behind these.
#ifndef SQLITE_ENABLE_SESSION
#define SQLITE_ENABLE_SESSION 1
#endif
#ifndef SQLITE_ENABLE_PREUPDATE_HOOK
#define SQLITE_ENABLE_PREUPDATE_HOOK 1
#endif
#include <sqlite3.h>

namespace EditSteps {

namespace {

QVariant fromValue(sqlite3_value* value)
{
    if (!value)
        return {};
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return static_cast<qlonglong>(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        return sqlite3_value_double(value);
    case SQLITE_TEXT:
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
    case SQLITE_BLOB:
        return QByteArray(
            static_cast<const char*>(sqlite3_value_blob(value)), sqlite3_value_bytes(value));
    default:
        // A stored NULL: valid, so that it differs from a value the changeset does not carry.
        return QVariant(QVariant::String);
    }
}

QString sqliteText(int code)
{
    return QString::fromUtf8(sqlite3_errstr(code));
}

struct ApplyState {
    QString table;
    int conflict = 0;
};

int refuseConflict(void* context, int conflict, sqlite3_changeset_iter* iterator)
{
    auto* state = static_cast<ApplyState*>(context);
    const char* table = nullptr;
    int columns = 0;
    int op = 0;
    if (sqlite3changeset_op(iterator, &table, &columns, &op, nullptr) == SQLITE_OK && table)
        state->table = QString::fromUtf8(table);
    state->conflict = conflict;
    return SQLITE_CHANGESET_ABORT;
}

QString conflictText(const ApplyState& state)
{
    switch (state.conflict) {
    case SQLITE_CHANGESET_FOREIGN_KEY:
        return QStringLiteral("rows it would bring back refer to rows that no longer exist");
    case SQLITE_CHANGESET_CONSTRAINT:
        return QStringLiteral("a row of %1 would break a rule of the file").arg(state.table);
    default:
        return QStringLiteral("rows of %1 were changed since").arg(state.table);
    }
}

} // namespace

const QStringList& recordedTables()
{
    static const QStringList tables {
        QStringLiteral("PlotCurveWaterUser"),
        QStringLiteral("PlotCurveFilter"),
        QStringLiteral("PlotCurve"),
        QStringLiteral("PlotScenario"),
        QStringLiteral("Plot"),
        QStringLiteral("DemandSelection"),
        QStringLiteral("DemandChgWaterUser"),
        QStringLiteral("EfficiencyChg"),
        QStringLiteral("DepletionChg"),
        QStringLiteral("DemandChg"),
        QStringLiteral("WaterUserAttr"),
        QStringLiteral("AggDivAttr"),
        QStringLiteral("AttrValidVal"),
        QStringLiteral("Attribute"),
        QStringLiteral("WaterUserDist"),
        QStringLiteral("WaterUserData"),
        QStringLiteral("WaterUser"),
        QStringLiteral("AggDiv"),
        QStringLiteral("Scenario"),
        QStringLiteral("Baseline"),
    };
    return tables;
}

QVariant RowChange::value(int column) const
{
    if (column < after.size() && after.at(column).isValid())
        return after.at(column);
    if (column < before.size())
        return before.at(column);
    return {};
}

bool RowChange::changed(int column) const
{
    if (op != Update)
        return true;
    return column < after.size() && after.at(column).isValid();
}

TARN::okstat readChanges(const QByteArray& changeset, QList<RowChange>& rows)
{
    rows.clear();
    sqlite3_changeset_iter* iterator = nullptr;
    int rc = sqlite3changeset_start(&iterator, changeset.size(),
        const_cast<void*>(static_cast<const void*>(changeset.constData())));
    if (rc != SQLITE_OK)
        return QStringLiteral("The recorded step cannot be read: %1").arg(sqliteText(rc));
    while ((rc = sqlite3changeset_next(iterator)) == SQLITE_ROW) {
        const char* table = nullptr;
        int columns = 0;
        int op = 0;
        sqlite3changeset_op(iterator, &table, &columns, &op, nullptr);
        RowChange row;
        row.table = QString::fromUtf8(table);
        row.op = op == SQLITE_INSERT ? RowChange::Insert
            : op == SQLITE_DELETE    ? RowChange::Delete
                                     : RowChange::Update;
        for (int column = 0; column < columns; ++column) {
            sqlite3_value* value = nullptr;
            if (row.op != RowChange::Insert) {
                value = nullptr;
                sqlite3changeset_old(iterator, column, &value);
                row.before.append(fromValue(value));
            }
            if (row.op != RowChange::Delete) {
                value = nullptr;
                sqlite3changeset_new(iterator, column, &value);
                row.after.append(fromValue(value));
            }
        }
        // Every input table has its integer key first; an update carries it in the old values.
        row.key = row.value(0).toLongLong();
        rows.append(row);
    }
    // Table by table as applied, each table's rows by key: names list their subjects in order.
    const QStringList& tables = recordedTables();
    std::stable_sort(rows.begin(), rows.end(), [&tables](const RowChange& a, const RowChange& b) {
        const int ta = tables.indexOf(a.table);
        const int tb = tables.indexOf(b.table);
        return ta != tb ? ta < tb : a.key < b.key;
    });
    const int finalized = sqlite3changeset_finalize(iterator);
    if (rc != SQLITE_DONE || finalized != SQLITE_OK)
        return QStringLiteral("The recorded step cannot be read: %1")
            .arg(sqliteText(rc != SQLITE_DONE ? rc : finalized));
    return {};
}

TARN::okstat invert(const QByteArray& changeset, QByteArray& inverse)
{
    int size = 0;
    void* data = nullptr;
    const int rc = sqlite3changeset_invert(changeset.size(),
        const_cast<void*>(static_cast<const void*>(changeset.constData())), &size, &data);
    if (rc != SQLITE_OK)
        return QStringLiteral("The recorded step cannot be reversed: %1").arg(sqliteText(rc));
    inverse = QByteArray(static_cast<const char*>(data), size);
    sqlite3_free(data);
    return {};
}

bool readRow(QSqlDatabase& db, const QString& table, qint64 key, QVector<QVariant>& values)
{
    values.clear();
    // Only the recorded tables' names reach here; quoting keeps any other name a name.
    QString quoted = table;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT * FROM \"%1\" WHERE rowid = ?").arg(quoted)))
        return false;
    query.addBindValue(key);
    if (!query.exec() || !query.next())
        return false;
    const QSqlRecord record = query.record();
    for (int column = 0; column < record.count(); ++column)
        values.append(query.value(column));
    query.finish();
    return true;
}

Recorder::~Recorder()
{
    discard();
}

TARN::okstat Recorder::start(sqlite3* handle)
{
    discard();
    if (!handle)
        return QStringLiteral("Edits cannot be recorded on this connection.");
    int rc = sqlite3session_create(handle, "main", &_session);
    if (rc != SQLITE_OK) {
        _session = nullptr;
        return QStringLiteral("Edits cannot be recorded: %1").arg(sqliteText(rc));
    }
    for (const QString& table : recordedTables()) {
        rc = sqlite3session_attach(_session, table.toUtf8().constData());
        if (rc != SQLITE_OK) {
            discard();
            return QStringLiteral("Edits cannot be recorded: %1").arg(sqliteText(rc));
        }
    }
    return {};
}

TARN::okstat Recorder::finish(QByteArray& changeset)
{
    changeset.clear();
    if (!_session)
        return {};
    int size = 0;
    void* data = nullptr;
    const int rc = sqlite3session_changeset(_session, &size, &data);
    if (rc == SQLITE_OK && data)
        changeset = QByteArray(static_cast<const char*>(data), size);
    sqlite3_free(data);
    discard();
    if (rc != SQLITE_OK)
        return QStringLiteral("The step could not be recorded: %1").arg(sqliteText(rc));
    return {};
}

void Recorder::discard()
{
    if (_session)
        sqlite3session_delete(_session);
    _session = nullptr;
}

TARN::okstat apply(sqlite3* handle, const QByteArray& changeset)
{
    if (!handle)
        return QStringLiteral("Steps cannot be applied on this connection.");
    ApplyState state;
    const int rc = sqlite3changeset_apply(handle, changeset.size(),
        const_cast<void*>(static_cast<const void*>(changeset.constData())), nullptr,
        &refuseConflict, &state);
    if (rc == SQLITE_OK)
        return {};
    if (state.conflict != 0)
        return conflictText(state);
    // The apply's own rollback may have cleared the connection's message; the code stays.
    if (sqlite3_errcode(handle) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(handle));
    return sqliteText(rc);
}

} // namespace EditSteps
