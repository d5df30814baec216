#include "CalcTestSupport.h"

#include "calc/BaselineChangeLog.h"
#include "calc/DemandCalculator.h"
#include "support/TestProject.h"

#include <limits>

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
