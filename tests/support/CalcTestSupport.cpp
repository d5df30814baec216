#include "CalcTestSupport.h"

#include "calc/BaselineChangeLog.h"
#include "calc/DemandCalculator.h"
#include "calc/Recalculation.h"
#include "db/EditSteps.h"
#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"
#include "support/TestProject.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <cmath>
#include <limits>

namespace {

const QStringList ResultTables { QStringLiteral("BaseYearlyAggDiv"),
    QStringLiteral("BaseMonthlyAggDiv"), QStringLiteral("BaseYearlyWaterUser"),
    QStringLiteral("BaseMonthlyWaterUser"), QStringLiteral("ScenarioYearlyAggDiv"),
    QStringLiteral("ScenarioMonthlyAggDiv"), QStringLiteral("ScenarioYearlyWaterUser"),
    QStringLiteral("ScenarioMonthlyWaterUser") };

// Every row of a result table without its key (column 0), ordered by the remaining columns,
// which start with the owner and the year or month.
QList<QList<QVariant>> resultRows(const QSqlDatabase& db, const QString& table)
{
    QStringList columns;
    QSqlQuery info(db);
    info.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table));
    while (info.next())
        columns << info.value(1).toString();
    columns.removeFirst();
    const QString list = columns.join(QStringLiteral(", "));
    QList<QList<QVariant>> rows;
    QSqlQuery query(db);
    query.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY %1").arg(list, table));
    while (query.next()) {
        QList<QVariant> row;
        for (int i = 0; i < columns.size(); ++i)
            row << query.value(i);
        rows << row;
    }
    return rows;
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    if (a.type() == QVariant::String || b.type() == QVariant::String)
        return a.toString() == b.toString();
    const double x = a.toDouble();
    const double y = b.toDouble();
    return x == y || std::abs(x - y) <= 1e-9 * std::max(std::abs(x), std::abs(y));
}

QString rowText(const QList<QVariant>& row)
{
    QStringList texts;
    for (const QVariant& value : row)
        texts << (value.isNull() ? QStringLiteral("NULL") : value.toString());
    return texts.join(QStringLiteral(", "));
}

} // namespace

QStringList differencesFromFullRecalculation(const QString& path)
{
    resetDbManager();
    const QString copy = path + QStringLiteral(".full.db");
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        return { QStringLiteral("cannot copy %1").arg(path) };

    QStringList differences;
    TARN::okstat status = TarnDbMgr::instance()->openDatabase(copy);
    if (status.failed())
        return { status.text() };
    BaselineChangeLog full;
    full.setFullRecalculation();
    status = Recalculation(full).run();
    resetDbManager();
    if (status.failed())
        return { QStringLiteral("full recalculation failed: %1").arg(status.text()) };

    TARN::okstat opened;
    QSqlDatabase stored = ProjectFile::openConnection(path, &opened);
    TARN::okstat openedCopy;
    QSqlDatabase recalculated = ProjectFile::openConnection(copy, &openedCopy);
    if (opened.isOk() && openedCopy.isOk()) {
        for (const QString& table : ResultTables) {
            const QList<QList<QVariant>> have = resultRows(stored, table);
            const QList<QList<QVariant>> want = resultRows(recalculated, table);
            if (have.size() != want.size()) {
                differences << QStringLiteral("%1: %2 rows stored, %3 after a full recalculation")
                                   .arg(table)
                                   .arg(have.size())
                                   .arg(want.size());
                continue;
            }
            for (int r = 0; r < have.size() && differences.size() < 20; ++r) {
                const QList<QVariant>& a = have.at(r);
                const QList<QVariant>& b = want.at(r);
                bool same = a.size() == b.size();
                for (int c = 0; same && c < a.size(); ++c)
                    same = sameValue(a.at(c), b.at(c));
                if (!same)
                    differences << QStringLiteral("%1: stored (%2), recalculated (%3)")
                                       .arg(table, rowText(a), rowText(b));
            }
        }
    } else {
        differences << opened.text() << openedCopy.text();
    }
    ProjectFile::closeConnection(stored);
    ProjectFile::closeConnection(recalculated);
    return differences;
}

CalcRun runCalculator(
    DemandCalculator& calculator, const BaselineChangeLog& changeLog, bool ownsTransaction)
{
    CalcRun run;
    calculator.initialize(&changeLog, ownsTransaction);
    QObject::connect(&calculator, &DemandCalculator::diagMessage,
        [&run](const QString& line) { run.diag << line; });
    QObject::connect(&calculator, &DemandCalculator::calcStatus,
        [&run](const CalcStatusInfo& info) { run.statuses << info; });
    QObject::connect(&calculator, &DemandCalculator::calcFinished, [&run](const TARN::okstat& r) {
        run.result = r;
        ++run.finishedCount;
    });
    calculator.start();
    calculator.wait();
    return run;
}

double number(const TestProject& project, const QString& sql)
{
    const QVariant value = project.scalar(sql);
    if (value.isNull())
        return std::numeric_limits<double>::quiet_NaN();
    return value.toDouble();
}

int count(const TestProject& project, const QString& sql)
{
    return project.scalar(sql).toInt();
}

QString smallBasinSql()
{
    return QStringLiteral(
        "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES "
        "(1, 1, 'North', 'North Canal', 1), (2, 2, 'South', 'South Canal', 2), "
        "(3, 3, 'East', 'East Canal', 3), (4, 4, 'Dry', 'Dry Wash', 4);"
        "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) VALUES "
        "(1, 1, 'Upper', 'Upper Ditch', 1), (2, 1, 'Lower', 'Lower Ditch', 2), "
        "(3, 2, 'South User', 'South User', 1), (4, 3, 'East User', 'East User', 1);"
        "INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, "
        "EfficiencyRatio, SalinityPickup) VALUES "
        "(1, 2000, NULL, 10, 0.5, 120), (1, 2001, NULL, NULL, 0.5, NULL), "
        "(1, 2002, NULL, NULL, 0.5, NULL), (1, 2003, NULL, 40, 0.5, NULL), "
        "(2, 2000, 100, NULL, 0.4, 30), (2, 2001, 100, NULL, 0.4, 30), "
        "(2, 2002, 100, NULL, 0.4, 30), (2, 2003, 100, NULL, 0.4, 30), "
        "(3, 2000, 100, 100, NULL, 5), (3, 2001, 100, 100, NULL, 5), "
        "(3, 2002, 100, 100, NULL, 5), (3, 2003, 100, 100, NULL, 5), "
        "(4, 2000, 50, NULL, 0.4, 10), (4, 2001, 50, NULL, 0.4, 10), "
        "(4, 2002, 50, NULL, 0.4, 10), (4, 2003, 50, NULL, 0.4, 10);"
        "INSERT INTO WaterUserDist VALUES (NULL, 1, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10), "
        "(NULL, 2, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10), "
        "(NULL, 3, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 10, 10), "
        "(NULL, 4, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10);");
}

QStringList dumpInputTables()
{
    QStringList lines;
    QSqlDatabase& db = TarnDbMgr::instance()->database();
    for (const QString& table : EditSteps::recordedTables()) {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(table)))
            return { query.lastError().text() };
        while (query.next()) {
            QStringList values;
            for (int column = 0; column < query.record().count(); ++column) {
                const QVariant value = query.value(column);
                values << (value.isNull() ? QStringLiteral("NULL") : value.toString());
            }
            lines << table + QLatin1Char('|') + values.join(QLatin1Char('|'));
        }
    }
    return lines;
}
