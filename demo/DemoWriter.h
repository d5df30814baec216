#pragma once

#include "db/ColumnNames.h"
#include "db/okstat.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

// What the example basins are written with: numbers that are the same on every platform, and
// one prepared INSERT per table.
namespace DemoProject {

constexpr double Missing = std::numeric_limits<double>::quiet_NaN();

// A 64-bit LCG with a fixed seed. The standard distributions differ between library vendors, so
// the numbers are derived here to make every run write the same basin on every platform.
class Rng {
public:
    explicit Rng(quint64 seed)
        : _state(seed)
    {
    }
    // Uniform in [0, 1), from the 53 best bits of the state.
    double uniform()
    {
        _state = _state * 6364136223846793005ULL + 1442695040888963407ULL;
        return double(_state >> 11) * (1.0 / 9007199254740992.0);
    }
    double between(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    // Uniform in [-1, 1).
    double signedUnit() { return 2.0 * uniform() - 1.0; }
    int below(int n) { return std::min(n - 1, int(uniform() * n)); }

private:
    quint64 _state;
};

inline double round2(double v)
{
    return std::round(v * 100.0) / 100.0;
}
inline double round3(double v)
{
    return std::round(v * 1000.0) / 1000.0;
}

// ---------------------------------------------------------------------------------------------
// Row writer: one prepared INSERT per table, rebound for every row.

enum Stmt {
    SiteStmt,
    WaterUserStmt,
    DataStmt,
    DistStmt,
    AttributeStmt,
    ValueStmt,
    SiteAttrStmt,
    WaterUserAttrStmt,
    ScenarioStmt,
    DemandChgStmt,
    DepletionChgStmt,
    EfficiencyChgStmt,
    ChgMemberStmt,
    SelectionStmt,
    PlotStmt,
    PlotScenarioStmt,
    CurveStmt,
    CurveFilterStmt,
    CurveMemberStmt,
    StmtCount
};

// Every generator row gives the values of all columns after the key, in file order. The columns
// are named as the file names them, so the examples can be written into files made by another
// schema script.
QString statementText(Stmt stmt, const ColumnNames& columns);

// The first failure is kept and every later insert does nothing, so the generators stay free of
// error plumbing; the caller checks status() once before committing.
class Writer {
public:
    explicit Writer(QSqlDatabase& db)
    {
        ColumnNames columns;
        _status = columns.read(db);
        _queries.reserve(StmtCount);
        for (int i = 0; i < StmtCount; ++i) {
            _queries.emplace_back(db);
            if (_status.isOk() && !_queries.back().prepare(statementText(Stmt(i), columns)))
                _status = _queries.back().lastError().text();
        }
    }

    const TARN::okstat& status() const { return _status; }

    // Inserts one row and returns its key, or 0 once anything has failed.
    qint64 insert(Stmt stmt, std::initializer_list<QVariant> values)
    {
        if (_status.failed())
            return 0;
        QSqlQuery& query = _queries[stmt];
        int pos = 0;
        for (const QVariant& value : values)
            query.bindValue(pos++, value);
        if (!query.exec()) {
            _status = query.lastError().text();
            return 0;
        }
        return query.lastInsertId().toLongLong();
    }

private:
    std::vector<QSqlQuery> _queries;
    TARN::okstat _status;
};

QVariant nullKey();
QVariant keyOrNull(qint64 key);

} // namespace DemoProject
