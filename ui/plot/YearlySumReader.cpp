#include "ui/plot/YearlySumReader.h"

#include "db/ModelOps.h"

#include <QSqlError>
#include <QSqlQuery>

YearlySumReader::YearlySumReader(
    const QSqlDatabase& db, const QVector<Query>& queries, const QString& target)
    : _db(db)
    , _queries(queries)
    , _target(target)
{
}

YearlySumReader::Sums YearlySumReader::readSums(QSqlQuery& query)
{
    Sums sums;
    while (query.next()) {
        sums.years.append(query.value(0).toInt());
        sums.diversion.append(TARN::toDouble(query.value(1)));
        sums.depletion.append(TARN::toDouble(query.value(2)));
        sums.salinity.append(TARN::toDouble(query.value(3)));
        sums.salinityMethodID = query.value(4).toInt();
    }
    return sums;
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
        QSqlQuery query(_db);
        query.setForwardOnly(true);
        bool read = query.prepare(entry.sql);
        if (read) {
            for (auto it = entry.bindings.constBegin(); it != entry.bindings.constEnd(); ++it)
                query.bindValue(it.key(), it.value());
            read = query.exec();
        }
        if (read) {
            sums = readSums(query);
            read = !query.lastError().isValid();
        }
        if (!read && failure.isEmpty()) {
            failure = query.lastError().text();
            if (failure.trimmed().isEmpty())
                failure = QStringLiteral("the query failed");
        }
        query.finish();
        _results.append(sums);
        ++info.aggDivDone;
    }
    if (failure.isEmpty())
        emit readFinished(TARN::okstat());
    else
        emit readFinished(
            QStringLiteral("Unable to read the yearly sums of %1: %2").arg(_target, failure));
}
