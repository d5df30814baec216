#include "db/ProjectCheck.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ProjectCheck {

namespace {

void addLimited(QStringList& problems, int& total, int limit, const QString& line)
{
    ++total;
    if (problems.size() < limit)
        problems.append(line);
}

void addRest(QStringList& problems, int total, int limit)
{
    if (total > limit)
        problems.append(QStringLiteral("... and %1 more").arg(total - limit));
}

} // namespace

QStringList inputTables()
{
    return { QStringLiteral("AggDiv"), QStringLiteral("Scenario"), QStringLiteral("WaterUser"),
        QStringLiteral("WaterUserData"), QStringLiteral("WaterUserDist"),
        QStringLiteral("Attribute"), QStringLiteral("AttrValidVal"), QStringLiteral("AggDivAttr"),
        QStringLiteral("WaterUserAttr"), QStringLiteral("DemandChg"),
        QStringLiteral("DepletionChg"), QStringLiteral("EfficiencyChg"),
        QStringLiteral("DemandChgWaterUser"), QStringLiteral("DemandSelection"),
        QStringLiteral("Plot"), QStringLiteral("PlotScenario"), QStringLiteral("PlotCurve"),
        QStringLiteral("PlotCurveFilter"), QStringLiteral("PlotCurveWaterUser") };
}

TARN::okstat brokenReferences(
    const QSqlDatabase& db, const QStringList& tables, QStringList& problems, int limit)
{
    problems.clear();
    int total = 0;
    QStringList statements;
    if (tables.isEmpty())
        statements << QStringLiteral("PRAGMA foreign_key_check");
    for (const QString& table : tables)
        statements << QStringLiteral("PRAGMA foreign_key_check(%1)").arg(table);
    QSqlQuery query(db);
    for (const QString& sql : statements) {
        // A table the file lacks is reported where it is used; here it only has nothing to check.
        if (!query.exec(sql)) {
            if (query.lastError().text().contains(QLatin1String("no such table")))
                continue;
            return query.lastError().text();
        }
        while (query.next()) {
            const QString row = query.value(1).isNull()
                ? QStringLiteral("a row")
                : QStringLiteral("row %1").arg(query.value(1).toLongLong());
            addLimited(problems, total, limit,
                QStringLiteral("%1 %2 refers to a missing %3 row")
                    .arg(query.value(0).toString(), row, query.value(2).toString()));
        }
    }
    addRest(problems, total, limit);
    return {};
}

TARN::okstat structureProblems(const QSqlDatabase& db, QStringList& problems, int limit)
{
    problems.clear();
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA quick_check")))
        return query.lastError().text();
    int total = 0;
    while (query.next()) {
        const QString line = query.value(0).toString();
        if (line != QLatin1String("ok"))
            addLimited(problems, total, limit, line);
    }
    addRest(problems, total, limit);
    return {};
}

} // namespace ProjectCheck
