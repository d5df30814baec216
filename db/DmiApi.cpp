#include "db/DmiApi.h"

#include "db/SqliteHandle.h"

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

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>
#include <vector>

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

// The connection's own SQLite handle, or null when the fast path may not use it.
sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    return TARN::directSqliteHandle(db);
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

// Where the rows of one series go: each row by its month key, so that a month without a row
// stays missing instead of moving the later months forward.
class SeriesSpan {
public:
    enum Placed { Stored, Duplicate, NotAMonth };

    SeriesSpan(int begYear, int begMonth, int count, double* const* out, int columns)
        : _begYear(begYear)
        , _begMonth(begMonth)
        , _count(count)
        , _out(out)
        , _columns(columns)
        , _seen(static_cast<size_t>(std::max(count, 0)), false)
    {
    }

    // key: the row's Month as UTF-8; value(c) gives the value of column c.
    template<class Value>
    Placed place(const char* key, int length, Value value, int& index)
    {
        index = position(key, length);
        if (index < 0)
            return NotAMonth;
        if (_seen[static_cast<size_t>(index)])
            return Duplicate;
        _seen[static_cast<size_t>(index)] = true;
        ++_rows;
        for (int c = 0; c < _columns; ++c)
            _out[c][index] = value(c);
        return Stored;
    }

    int rows() const { return _rows; }

    // Months without a row are missing values.
    void markMissing()
    {
        for (int i = 0; i < _count; ++i) {
            if (!_seen[static_cast<size_t>(i)])
                for (int c = 0; c < _columns; ++c)
                    _out[c][i] = std::numeric_limits<double>::quiet_NaN();
        }
    }

private:
    // The position of a key "<year>-<two-digit month>-01" in the span, or -1.
    int position(const char* key, int length) const
    {
        int i = 0;
        int year = 0;
        while (i < length && key[i] >= '0' && key[i] <= '9' && i < 6)
            year = year * 10 + (key[i++] - '0');
        if (i == 0 || (key[0] == '0' && i > 1) || length != i + 6 || key[i] != '-'
            || key[i + 3] != '-' || key[i + 4] != '0' || key[i + 5] != '1')
            return -1;
        const char m1 = key[i + 1];
        const char m2 = key[i + 2];
        if (m1 < '0' || m1 > '1' || m2 < '0' || m2 > '9')
            return -1;
        const int month = (m1 - '0') * 10 + (m2 - '0');
        if (month < 1 || month > 12)
            return -1;
        const int index = (year - _begYear) * 12 + (month - _begMonth);
        return index >= 0 && index < _count ? index : -1;
    }

    int _begYear;
    int _begMonth;
    int _count;
    double* const* _out;
    int _columns;
    std::vector<bool> _seen;
    int _rows = 0;
};

const QString TooManyRows
    = QStringLiteral("Incorrect number of rows in the database. Please try "
                     "fully recalculating before attempting to export again.");

QString notAMonth(const QString& key)
{
    return QStringLiteral("Unexpected month \"%1\" in the database. Please try fully "
                          "recalculating before attempting to export again.")
        .arg(key);
}

enum class FastRead {
    Read, // the rows were read
    Failed, // the rows are wrong: message tells why
    Unavailable, // not done: read through QSqlQuery instead
};

// Reads a monthly series through the connection's SQLite handle, which saves QSqlQuery's
// per-row bookkeeping (an export reads millions of rows). ownerId and, unless it is the
// baseline, scenarioId are bound with the months begDate..endDate; each row is placed by its
// month. When the statement fails the caller reads the series through QSqlQuery, which
// reports the failure as it always has.
FastRead readSeries(const QSqlDatabase& db, const char* sql, int scenarioId, int ownerId,
    const QString& begDate, const QString& endDate, SeriesSpan& span, QString& message)
{
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
        const char* key = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        const int length = sqlite3_column_bytes(stmt, 0);
        int index = -1;
        const SeriesSpan::Placed placed = span.place(
            key ? key : "", key ? length : 0, [stmt](int c) { return columnValue(stmt, c + 1); },
            index);
        if (placed != SeriesSpan::Stored) {
            message = placed == SeriesSpan::Duplicate
                ? TooManyRows
                : notAMonth(QString::fromUtf8(key ? key : "", key ? length : 0));
            result = FastRead::Failed;
            break;
        }
    }
    sqlite3_finalize(stmt);
    return result;
}

const char* const BaseAggDivSql
    = "SELECT Month, AggDivSalinityValue FROM BaseMonthlyAggDiv WHERE AggDivID = ? AND Month "
      "BETWEEN ? AND ? ORDER BY Month";
const char* const ScenarioAggDivSql
    = "SELECT Month, AggDivSalinityValue FROM ScenarioMonthlyAggDiv WHERE ScenarioID = ? AND "
      "AggDivID = ? AND Month BETWEEN ? AND ? ORDER BY Month";
const char* const BaseWaterUserSql
    = "SELECT Month, DiversionValue, DepletionValue FROM BaseMonthlyWaterUser WHERE WaterUserID "
      "= ? AND Month BETWEEN ? AND ? ORDER BY Month";
const char* const ScenarioWaterUserSql
    = "SELECT Month, DiversionValue, DepletionValue FROM ScenarioMonthlyWaterUser WHERE "
      "ScenarioID = ? AND WaterUserID = ? AND Month BETWEEN ? AND ? ORDER BY Month";

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
    {
        SeriesSpan span(begYear, begMonth, count, out, columns);
        QString message;
        const FastRead read
            = readSeries(db, series.fastSql, scenarioId, ownerId, begDate, endDate, span, message);
        if (read == FastRead::Failed)
            return message;
        if (read == FastRead::Read) {
            if (span.rows() > 0) {
                span.markMissing();
                fillTimeStamps(timeStamps, count, begYear);
                found = true;
            }
            return {};
        }
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
    SeriesSpan span(begYear, begMonth, count, out, columns);
    while (query.next()) {
        const QByteArray key = query.value(0).toString().toUtf8();
        int index = -1;
        const SeriesSpan::Placed placed = span.place(
            key.constData(), key.size(),
            [&query](int c) { return TARN::toDouble(query.value(c + 1)); }, index);
        if (placed == SeriesSpan::Duplicate)
            return TooManyRows;
        if (placed == SeriesSpan::NotAMonth)
            return notAMonth(QString::fromUtf8(key));
    }
    if (span.rows() == 0)
        return {};
    span.markMissing();
    fillTimeStamps(timeStamps, count, begYear);
    found = true;
    return {};
}

// Runs a statement over the months from January of begYear to December of endYear of the
// baseline or one scenario (":scenarioID", ":begDate", ":endDate") and steps to its one row.
bool execForRun(QSqlQuery& query, int scenarioId, int begYear, int endYear)
{
    if (scenarioId != DmiApi::BaselineScenarioId)
        query.bindValue(QStringLiteral(":scenarioID"), scenarioId);
    query.bindValue(QStringLiteral(":begDate"), TARN::monthKey(begYear, 1));
    query.bindValue(QStringLiteral(":endDate"), TARN::monthKey(endYear, 12));
    return query.exec() && query.next();
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
    // By short name: the order of the workbook's sheets.
    QList<ScenarioDAO::ScenarioListEntry> all;
    const TARN::okstat listed = TarnDbMgr::instance()->scenarioDAO()->listScenarios(
        all, ScenarioDAO::ScenarioOrder::ByShortName);
    if (listed.failed())
        return listed;
    scenarios.clear();
    for (const ScenarioDAO::ScenarioListEntry& scenario : qAsConst(all))
        scenarios.append({ scenario.id, scenario.shortName });
    if (includeBaseline)
        scenarios.prepend({ BaselineScenarioId, QStringLiteral("Baseline Monthly Data") });
    return {};
}

TARN::okstat DmiApi::getScenarioName(int scenarioId, QString& name, bool* found) const
{
    if (found)
        *found = false;
    QSqlDatabase db = _scenarioModel->database();
    if (!db.isOpen())
        return kNotOpen;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT %1 FROM %2 WHERE %3='%4'")
                        .arg(TN::ScenarioName, _scenarioModel->tableName(), TN::ScenarioID)
                        .arg(scenarioId)))
        return query.lastError().text();
    if (query.next()) {
        name = query.value(0).toString();
        if (found)
            *found = true;
    }
    return {};
}

bool DmiApi::directReadAvailable(const QSqlDatabase& db)
{
    return sqliteHandle(db) != nullptr;
}

void DmiApi::setDirectReadEnabled(bool enabled)
{
    TARN::setDirectSqliteEnabled(enabled);
}

TARN::okstat DmiApi::hasAggDivResults(int scenarioId, int begYear, int endYear, bool& found) const
{
    found = false;
    QSqlDatabase db = TarnDbMgr::instance()->database();
    if (!db.isOpen())
        return kNotOpen;
    const bool baseline = scenarioId == BaselineScenarioId;
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 m JOIN AggDiv ad ON ad.AggDivID = "
                       "m.AggDivID WHERE %2m.Month BETWEEN :begDate AND :endDate)")
            .arg(baseline ? QStringLiteral("BaseMonthlyAggDiv")
                          : QStringLiteral("ScenarioMonthlyAggDiv"),
                baseline ? QString() : QStringLiteral("m.ScenarioID = :scenarioID AND ")));
    if (!execForRun(query, scenarioId, begYear, endYear))
        return query.lastError().text();
    found = query.value(0).toInt() != 0;
    return {};
}

TARN::okstat DmiApi::exportColumns(int scenarioId, int begYear, int endYear, int& columns) const
{
    columns = 0;
    QSqlDatabase db = TarnDbMgr::instance()->database();
    if (!db.isOpen())
        return kNotOpen;
    const bool baseline = scenarioId == BaselineScenarioId;
    const QString run = baseline ? QString() : QStringLiteral("m.ScenarioID = :scenarioID AND ");
    // The sites and water users whose series the export finds, as it reads them.
    const QString siteHasRows = QStringLiteral("EXISTS (SELECT 1 FROM %1 m WHERE %2m.AggDivID = "
                                               "ad.AggDivID AND m.Month BETWEEN :begDate AND "
                                               ":endDate)")
                                    .arg(baseline ? QStringLiteral("BaseMonthlyAggDiv")
                                                  : QStringLiteral("ScenarioMonthlyAggDiv"),
                                        run);
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("SELECT (SELECT COUNT(*) FROM AggDiv ad WHERE %1), (SELECT COUNT(*) FROM "
                       "WaterUser wu JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID WHERE "
                       "wu.ScenarioID IS NULL AND %1 AND EXISTS (SELECT 1 FROM %2 m WHERE "
                       "%3m.WaterUserID = wu.WaterUserID AND m.Month BETWEEN :begDate AND "
                       ":endDate))")
            .arg(siteHasRows,
                baseline ? QStringLiteral("BaseMonthlyWaterUser")
                         : QStringLiteral("ScenarioMonthlyWaterUser"),
                run));
    if (!execForRun(query, scenarioId, begYear, endYear))
        return query.lastError().text();
    columns = 1 + query.value(0).toInt() + 2 * query.value(1).toInt();
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
