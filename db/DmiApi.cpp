#include "db/DmiApi.h"

#include "db/AggDivDAO.h"
#include "db/ModelOps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "db/WaterUserDAO.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <functional>

#include <sqlite3.h>

#include <limits>

namespace {

const QString kNotOpen = QStringLiteral("The database isn't open");

void fillTimeStamps(qint64* timeStamps, int count, int begYear)
{
    if (!timeStamps)
        return;
    const QDate first(begYear, 1, 1);
    for (int i = 0; i < count; ++i)
        timeStamps[i] = QDateTime(first.addMonths(i), QTime(0, 0)).toMSecsSinceEpoch();
}

// The connection's own SQLite handle, or null when it isn't an SQLite connection.
sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

// A column's value as QSqlQuery on the SQLite driver gives it, through TARN::toDouble().
double columnValue(sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return std::numeric_limits<double>::quiet_NaN();
    case SQLITE_INTEGER:
        return TARN::toDouble(QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, column))));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, column);
    case SQLITE_BLOB:
        return TARN::toDouble(
            QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, column)),
                sqlite3_column_bytes(stmt, column))));
    default:
        return TARN::toDouble(
            QVariant(QString(static_cast<const QChar*>(sqlite3_column_text16(stmt, column)),
                sqlite3_column_bytes16(stmt, column) / static_cast<int>(sizeof(QChar)))));
    }
}

enum class FastRead {
    Read, // the rows were read; rows tells how many
    TooManyRows, // more rows than count: the first count were read
    Unavailable, // not done: read through QSqlQuery instead
};

// Reads a monthly series through the connection's SQLite handle, which saves QSqlQuery's
// per-row bookkeeping (an export reads millions of rows). ownerId and, unless it is the
// baseline, scenarioId are bound with the months begDate..endDate; each row's columns go to
// the arrays in out. When anything fails the caller reads the series through QSqlQuery, which
// reports the failure as it always has.
FastRead readSeries(const QSqlDatabase& db, const char* sql, int scenarioId, int ownerId,
    const QString& begDate, const QString& endDate, int count, double* const* out, int columns,
    int& rows)
{
    rows = 0;
    sqlite3* handle = sqliteHandle(db);
    if (!handle)
        return FastRead::Unavailable;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(handle, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return FastRead::Unavailable;
    }
    const QByteArray beg = begDate.toUtf8();
    const QByteArray end = endDate.toUtf8();
    int next = 1;
    if (scenarioId != DmiApi::BaselineScenarioId)
        sqlite3_bind_int(stmt, next++, scenarioId);
    sqlite3_bind_int(stmt, next++, ownerId);
    sqlite3_bind_text(stmt, next++, beg.constData(), beg.size(), SQLITE_STATIC);
    sqlite3_bind_text(stmt, next++, end.constData(), end.size(), SQLITE_STATIC);
    FastRead result = FastRead::Read;
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            break;
        if (rc != SQLITE_ROW) {
            result = FastRead::Unavailable;
            break;
        }
        if (rows >= count) {
            result = FastRead::TooManyRows;
            break;
        }
        for (int c = 0; c < columns; ++c)
            out[c][rows] = columnValue(stmt, c);
        ++rows;
    }
    sqlite3_finalize(stmt);
    return result;
}

const char* const BaseAggDivSql
    = "SELECT AggDivSalinityValue FROM BaseMonthlyAggDiv WHERE AggDivID = ? AND Month BETWEEN ? "
      "AND ? ORDER BY Month";
const char* const ScenarioAggDivSql
    = "SELECT AggDivSalinityValue FROM ScenarioMonthlyAggDiv WHERE ScenarioID = ? AND AggDivID = "
      "? AND Month BETWEEN ? AND ? ORDER BY Month";
const char* const BaseWaterUserSql
    = "SELECT DiversionValue, DepletionValue FROM BaseMonthlyWaterUser WHERE WaterUserID = ? AND "
      "Month BETWEEN ? AND ? ORDER BY Month";
const char* const ScenarioWaterUserSql
    = "SELECT DiversionValue, DepletionValue FROM ScenarioMonthlyWaterUser WHERE ScenarioID = ? "
      "AND WaterUserID = ? AND Month BETWEEN ? AND ? ORDER BY Month";

const QString TooManyRows
    = QStringLiteral("Incorrect number of rows in the database. Please try "
                     "fully recalculating before attempting to export again.");

// One monthly series, read fast through the SQLite handle or, when that is not possible,
// through QSqlQuery, which reports failures with the connection's text. failure() turns that
// text into the caller's message.
struct SeriesQuery {
    const char* fastSql;
    QString sql; // the same statement with named bind values
    QString ownerParam; // ":aggDivID" or ":waterUserID"
};

TARN::okstat readMonthly(QSqlDatabase& db, const SeriesQuery& series, int scenarioId, int ownerId,
    int begYear, int begMonth, int endYear, int endMonth, int count, double* const* out,
    int columns, bool& found, qint64* timeStamps,
    const std::function<QString(const QString&)>& failure)
{
    found = false;
    const QString begDate = TARN::monthKey(begYear, begMonth);
    const QString endDate = TARN::monthKey(endYear, endMonth);
    int rows = 0;
    const FastRead read = readSeries(
        db, series.fastSql, scenarioId, ownerId, begDate, endDate, count, out, columns, rows);
    if (read != FastRead::Unavailable) {
        if (rows > 0)
            fillTimeStamps(timeStamps, count, begYear);
        if (read == FastRead::TooManyRows)
            return TooManyRows;
        found = rows > 0;
        return {};
    }

    QSqlQuery query(db);
    // A statement that cannot be prepared (a result table missing from a damaged file) must
    // report why, not the binding errors that would follow.
    if (!query.prepare(series.sql))
        return failure(query.lastError().text());
    if (scenarioId != DmiApi::BaselineScenarioId)
        query.bindValue(QStringLiteral(":scenarioID"), scenarioId);
    query.bindValue(series.ownerParam, ownerId);
    query.bindValue(QStringLiteral(":begDate"), begDate);
    query.bindValue(QStringLiteral(":endDate"), endDate);
    query.setForwardOnly(true);
    if (!query.exec())
        return failure(query.lastError().text());
    if (!query.next())
        return {};
    fillTimeStamps(timeStamps, count, begYear);
    int stored = 0;
    do {
        if (stored >= count)
            return TooManyRows;
        for (int c = 0; c < columns; ++c)
            out[c][stored] = TARN::toDouble(query.value(c + 1));
        ++stored;
    } while (query.next());
    found = true;
    return {};
}

} // namespace

DmiApi::DmiApi(QObject* parent)
    : QObject(parent)
    , _aggDivModel(TarnDbMgr::instance()->aggDivDAO()->aggDivModel())
    , _scenarioModel(TarnDbMgr::instance()->scenarioDAO()->scenarioModel())
    , _waterUserModel(TarnDbMgr::instance()->waterUserDAO()->waterUserModel())
{
}

TARN::okstat DmiApi::getScenarios(QList<ScenarioEntry>& scenarios, bool includeBaseline) const
{
    QSqlDatabase db = _scenarioModel->database();
    if (!db.isOpen())
        return kNotOpen;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %2")
                        .arg(TN::ScenarioID, TN::ScenarioShortName, _scenarioModel->tableName())))
        return query.lastError().text();
    scenarios.clear();
    while (query.next())
        scenarios.append({ query.value(0).toInt(), query.value(1).toString() });
    if (includeBaseline)
        scenarios.prepend({ BaselineScenarioId, QStringLiteral("Baseline Monthly Data") });
    return {};
}

TARN::okstat DmiApi::getScenarioName(int scenarioId, QString& name) const
{
    QSqlDatabase db = _scenarioModel->database();
    if (!db.isOpen())
        return kNotOpen;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT %1 FROM %2 WHERE %3='%4'")
                        .arg(TN::ScenarioName, _scenarioModel->tableName(), TN::ScenarioID)
                        .arg(scenarioId)))
        return query.lastError().text();
    if (query.next())
        name = query.value(0).toString();
    return {};
}

TARN::okstat DmiApi::getAggDivSalinitySeries(int scenarioId, const AggDiv& aggDiv, int begYear,
    int endYear, int count, bool& found, double* values, int begMonth, int endMonth,
    qint64* timeStamps) const
{
    QSqlDatabase db = TarnDbMgr::instance()->database();
    if (!db.isOpen())
        return kNotOpen;
    const bool baseline = scenarioId == BaselineScenarioId;
    const SeriesQuery series { baseline ? BaseAggDivSql : ScenarioAggDivSql,
        baseline ? QStringLiteral("SELECT Month, AggDivSalinityValue FROM BaseMonthlyAggDiv WHERE "
                                  "AggDivID = :aggDivID  AND Month BETWEEN :begDate AND :endDate "
                                  "ORDER BY Month")
                 : QStringLiteral("SELECT Month, AggDivSalinityValue FROM ScenarioMonthlyAggDiv "
                                  "WHERE ScenarioID = :scenarioID AND AggDivID = :aggDivID  AND "
                                  "Month BETWEEN :begDate AND :endDate ORDER BY Month"),
        QStringLiteral(":aggDivID") };
    double* out[] = { values };
    return readMonthly(db, series, scenarioId, aggDiv.AggDivID, begYear, begMonth, endYear,
        endMonth, count, out, 1, found, timeStamps, [&aggDiv](const QString& error) {
            return QCoreApplication::translate(
                "DmiApi", "Error reading salinity values for \"%1\": %2")
                .arg(aggDiv.RiffleName, error);
        });
}

TARN::okstat DmiApi::getWaterUserSeries(int scenarioId, const WaterUser& waterUser,
    const QString& aggDivName, int begYear, int endYear, int count, bool& found, double* diversion,
    double* depletion, int begMonth, int endMonth, qint64* timeStamps) const
{
    QSqlDatabase db = TarnDbMgr::instance()->database();
    if (!db.isOpen())
        return kNotOpen;
    const bool baseline = scenarioId == BaselineScenarioId;
    const SeriesQuery series { baseline ? BaseWaterUserSql : ScenarioWaterUserSql,
        baseline ? QStringLiteral("SELECT Month, DiversionValue, DepletionValue FROM "
                                  "BaseMonthlyWaterUser WHERE WaterUserID = :waterUserID  AND "
                                  "Month BETWEEN :begDate AND :endDate ORDER BY Month")
                 : QStringLiteral("SELECT Month, DiversionValue, DepletionValue FROM "
                                  "ScenarioMonthlyWaterUser WHERE ScenarioID = :scenarioID AND "
                                  "WaterUserID = :waterUserID  AND Month BETWEEN :begDate AND "
                                  ":endDate ORDER BY Month"),
        QStringLiteral(":waterUserID") };
    double* out[] = { diversion, depletion };
    return readMonthly(db, series, scenarioId, waterUser.WaterUserID, begYear, begMonth, endYear,
        endMonth, count, out, 2, found, timeStamps, [&](const QString& error) {
            return QCoreApplication::translate(
                "DmiApi", "Error reading water user data for \"%1:%2\": %3")
                .arg(aggDivName, waterUser.RiffleName, error);
        });
}
