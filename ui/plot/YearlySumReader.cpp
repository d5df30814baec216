#include "ui/plot/YearlySumReader.h"

#include "db/ModelOps.h"

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
    for (const Query& entry : qAsConst(_queries)) {
        emit readStatus(info);
        Sums sums;
        QSqlQuery query(_db);
        query.setForwardOnly(true);
        if (query.prepare(entry.sql)) {
            for (auto it = entry.bindings.constBegin(); it != entry.bindings.constEnd(); ++it)
                query.bindValue(it.key(), it.value());
            if (query.exec())
                sums = readSums(query);
        }
        query.finish();
        _results.append(sums);
        ++info.aggDivDone;
    }
    emit readFinished(TARN::okstat());
}
