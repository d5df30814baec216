#include "ui/plot/YearlySumReader.h"

YearlySumReader::YearlySumReader(
    const QSqlDatabase& db, const QVector<Query>& queries, const QString& target)
    : _db(db)
    , _queries(queries)
    , _target(target)
{
}

void YearlySumReader::run()
{
    CalcStatusInfo info;
    info.target = _target;
    info.aggDivCount = _queries.size();
    info.status = QStringLiteral("Reading yearly sums");
    _results.clear();
    QString failure;
    for (const Query& entry : qAsConst(_queries)) {
        emit readStatus(info);
        Sums sums;
        const TARN::okstat read = YearlySumQueries::read(_db, entry, sums);
        if (read.failed() && failure.isEmpty())
            failure = read.text();
        _results.append(sums);
        ++info.aggDivDone;
    }
    if (failure.isEmpty())
        emit readFinished(TARN::okstat());
    else
        emit readFinished(
            QStringLiteral("Unable to read the yearly sums of %1: %2").arg(_target, failure));
}
