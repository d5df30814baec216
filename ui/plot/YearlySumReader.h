#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/YearlySumQueries.h"
#include "db/okstat.h"

#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

// Runs the yearly-sum queries of a chart on a worker thread, on the connection it is handed,
// while the window that asked waits under a status dialog. A query that fails gives no rows,
// and the run ends with the first failure.
class YearlySumReader : public QObject {
    Q_OBJECT

public:
    using Query = YearlySumQueries::Query;
    using Sums = YearlySumQueries::Sums;

    YearlySumReader(const QSqlDatabase& db, const QVector<Query>& queries, const QString& target);

    // Reads every query in turn, then emits readFinished. Runs on the worker.
    void run();
    // After readFinished: one entry per query, in their order.
    const QVector<Sums>& results() const { return _results; }

signals:
    void readStatus(CalcStatusInfo info);
    void readFinished(TARN::okstat status);

private:
    QSqlDatabase _db;
    QVector<Query> _queries;
    QString _target;
    QVector<Sums> _results;
};
