#pragma once

#include "support/CalcTestSupport.h"

#include "calc/AggDivBaselineDemandCalculator.h"
#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/ProjectValidator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "calc/ValueExplainer.h"
#include "calc/WaterUserBaselineDemandCalculator.h"
#include "db/ColumnNames.h"
#include "db/ProjectFile.h"
#include "db/SqliteHandle.h"
#include "db/TarnDbMgr.h"
#include "db/TarnNames.h"
#include "support/TestProject.h"

#include <QFile>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>

namespace {

inline bool same(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return qFuzzyCompare(1.0 + a, 1.0 + b);
}

#define COMPARE_VALUE(actual, expected)                                                            \
    QVERIFY2(same((actual), (expected)),                                                           \
        qPrintable(QStringLiteral("%1 != %2").arg(actual).arg(expected)))

const double NaN = std::numeric_limits<double>::quiet_NaN();

// One statement on a private connection, for text the script splitter would cut (triggers).
inline void execRaw(const TestProject& project, const QStringList& statements)
{
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(project.path(), &status);
    QVERIFY(status.isOk());
    for (const QString& sql : statements) {
        QSqlQuery query(db);
        QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
    }
    ProjectFile::closeConnection(db);
}

inline CalcRun runBaseline(const BaselineChangeLog& log)
{
    BaselineDemandCalculator calculator;
    return runCalculator(calculator, log);
}

inline CalcRun runScenario(int scenarioID, const BaselineChangeLog& log)
{
    ScenarioDemandCalculator calculator(scenarioID, QStringLiteral("Dry"));
    return runCalculator(calculator, log);
}

inline BaselineChangeLog fullLog()
{
    BaselineChangeLog log;
    log.setFullRecalculation();
    return log;
}

// Every row of the baseline result tables without its key, sorted.
inline QStringList baselineResultRows(const TestProject& project)
{
    QStringList rows;
    TARN::okstat status;
    QSqlDatabase db = ProjectFile::openConnection(project.path(), &status);
    for (const char* table : { "BaseYearlyAggDiv", "BaseMonthlyAggDiv", "BaseYearlyWaterUser",
             "BaseMonthlyWaterUser" }) {
        QSqlQuery query(db);
        query.exec(QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table)));
        while (query.next()) {
            QStringList values { QLatin1String(table) };
            for (int column = 1; column < query.record().count(); ++column)
                values.append(query.value(column).toString());
            rows.append(values.join(QLatin1Char('|')));
        }
    }
    ProjectFile::closeConnection(db);
    rows.sort();
    return rows;
}

// SQLite's file change counter (header bytes 24 to 27): it moves with every committed write.
inline quint32 changeCounter(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(24))
        return 0;
    const QByteArray bytes = file.read(4);
    return bytes.size() == 4 ? qFromBigEndian<quint32>(bytes.constData()) : 0;
}

} // namespace

// What the tst_calculators_* tests share: the project they work on and their helpers.
class CalculatorsFixture : public QObject {
protected:
    std::unique_ptr<TestProject> _project;
};
