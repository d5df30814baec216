#include "db/YearlySumQueries.h"

#include "db/ModelOps.h"

#include <QSqlError>
#include <QSqlQuery>

namespace YearlySumQueries {

namespace {

QString baselineSumsSql(const QString& where)
{
    return QStringLiteral(
        "SELECT bywu.Year, SUM(bywu.DiversionValue), SUM(bywu.DepletionValue),  "
        "SUM(bywu.SalinityPickupValue), ad.SalinityMethodID FROM BaseYearlyWaterUser bywu "
        "INNER JOIN WaterUser wu ON wu.WaterUserID = bywu.WaterUserID INNER JOIN AggDiv ad ON "
        "ad.AggDivID = wu.AggDivID WHERE %1 GROUP BY bywu.Year")
        .arg(where);
}

} // namespace

Query waterUserBaseline(int waterUserId)
{
    return { baselineSumsSql(QStringLiteral("bywu.WaterUserID = :waterUserID")),
        { { QStringLiteral(":waterUserID"), waterUserId } } };
}

Query siteBaseline(int aggDivId)
{
    return { baselineSumsSql(QStringLiteral("ad.AggDivID = :aggDivID")),
        { { QStringLiteral(":aggDivID"), aggDivId } } };
}

Query curve(int plotCurveId, const QVariant& scenarioId)
{
    static const QString baseline = QStringLiteral(
        "SELECT bywu.Year, SUM(bywu.DiversionValue), SUM(bywu.DepletionValue),  "
        "SUM(bywu.SalinityPickupValue), ad.SalinityMethodID FROM BaseYearlyWaterUser bywu "
        "INNER JOIN WaterUser wu ON wu.WaterUserID = bywu.WaterUserID INNER JOIN AggDiv ad ON "
        "ad.AggDivID = wu.AggDivID INNER JOIN PlotCurveWaterUser pcwu ON pcwu.WaterUserID = "
        "bywu.WaterUserID WHERE pcwu.PlotCurveID = :plotCurveID GROUP BY bywu.Year");
    static const QString scenario = QStringLiteral(
        "SELECT sywu.Year, SUM(sywu.DiversionValue), SUM(sywu.DepletionValue),  "
        "SUM(sywu.SalinityPickupValue), ad.SalinityMethodID FROM ScenarioYearlyWaterUser sywu "
        "INNER JOIN WaterUser wu ON wu.WaterUserID = sywu.WaterUserID INNER JOIN AggDiv ad ON "
        "ad.AggDivID = wu.AggDivID INNER JOIN PlotCurveWaterUser pcwu ON pcwu.WaterUserID = "
        "sywu.WaterUserID WHERE pcwu.PlotCurveID = :plotCurveID AND sywu.ScenarioID = "
        ":scenarioID GROUP BY sywu.Year");
    const bool isBaseline = scenarioId.isNull() || scenarioId.toInt() == 0;
    Query query { isBaseline ? baseline : scenario,
        { { QStringLiteral(":plotCurveID"), plotCurveId } } };
    if (!isBaseline)
        query.bindings.insert(QStringLiteral(":scenarioID"), scenarioId);
    return query;
}

Sums readSums(QSqlQuery& query)
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

TARN::okstat read(const QSqlDatabase& db, const Query& entry, Sums& sums)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool ok = query.prepare(entry.sql);
    if (ok) {
        for (auto it = entry.bindings.constBegin(); it != entry.bindings.constEnd(); ++it)
            query.bindValue(it.key(), it.value());
        ok = query.exec();
    }
    if (ok) {
        sums = readSums(query);
        ok = !query.lastError().isValid();
    }
    QString failure;
    if (!ok) {
        failure = query.lastError().text();
        if (failure.trimmed().isEmpty())
            failure = QStringLiteral("the query failed");
    }
    query.finish();
    if (!ok)
        return failure;
    return {};
}

} // namespace YearlySumQueries
