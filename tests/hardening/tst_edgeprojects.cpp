#include "ProjectState.h"

#include "support/BookReader.h"
#include "support/CalcTestSupport.h"
#include "support/TestProject.h"
#include "support/XmlCheck.h"
#include "workbook/SheetCells.h"
#include "workbook/XlsReader.h"
#include "workbook/XlsxReader.h"

#include <QtTest>

#include <memory>

// Projects at the edges of what a planner can make: the widest time range, a site without
// water users, a water user without yearly rows. Each goes through a full recalculation and
// every export of the command-line tool, which runs the program's own calculators and
// exporters.
class TestEdgeProjects : public QObject {
    Q_OBJECT

private slots:
    void edges_data();
    void edges();
};

using YearlyRows = QMap<int, int>;

namespace {

// One site with one water user that has yearly data only in the first and the last year.
QString endsOnlySql(int first, int last)
{
    return QStringLiteral(
        "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES "
        "(1, 1, 'Edge', 'Edge', 1);"
        "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) VALUES "
        "(1, 1, 'Ends', 'Ends', 1);"
        "INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, "
        "EfficiencyRatio, SalinityPickup) VALUES (1, %1, 100, 40, NULL, 2)%2;"
        "INSERT INTO WaterUserDist VALUES (NULL, 1, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10);")
        .arg(first)
        .arg(last == first ? QString() : QStringLiteral(", (1, %1, 300, 90, NULL, 4)").arg(last));
}

// The small basin (its fourth site has no water users) plus a water user without yearly rows.
QString emptyUserSql()
{
    return smallBasinSql()
        + QStringLiteral(
            "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) "
            "VALUES (5, 1, 'Idle', 'Idle Ditch', 3);"
            "INSERT INTO WaterUserDist VALUES (NULL, 5, 10, 10, 5, 5, 5, 5, 10, 10, 10, 10, 10, "
            "10);"
            "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES "
            "(1, 'Dry', 'D');");
}

} // namespace

void TestEdgeProjects::edges_data()
{
    QTest::addColumn<int>("startYear");
    QTest::addColumn<int>("endYear");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("book");
    // Yearly result rows expected per water user ID, and the column headers of the first sheet.
    QTest::addColumn<YearlyRows>("yearlyRows");
    QTest::addColumn<QStringList>("headers");
    // Water user 1's diversion in the last year (NaN: not checked).
    QTest::addColumn<double>("lastDiversion");

    QTest::newRow("1800 to 3799, xlsx")
        << 1800 << 3799 << endsOnlySql(1800, 3799) << QStringLiteral("edge.xlsx")
        << YearlyRows { { 1, 2000 } }
        << QStringList { QStringLiteral("Edge.Return Flow Salinity Pickup Mass"),
               QStringLiteral("Edge:Ends.Diversion Requested"),
               QStringLiteral("Edge:Ends.Depletion Requested") }
        << 300.0;
    QTest::newRow("1800 to 3799, xls")
        << 1800 << 3799 << endsOnlySql(1800, 3799) << QStringLiteral("edge.xls")
        << YearlyRows { { 1, 2000 } }
        << QStringList { QStringLiteral("Edge.Return Flow Salinity Pickup Mass"),
               QStringLiteral("Edge:Ends.Diversion Requested"),
               QStringLiteral("Edge:Ends.Depletion Requested") }
        << 300.0;
    QTest::newRow("one year at the lower limit")
        << 1800 << 1800 << endsOnlySql(1800, 1800) << QStringLiteral("edge.xlsx")
        << YearlyRows { { 1, 1 } }
        << QStringList { QStringLiteral("Edge.Return Flow Salinity Pickup Mass"),
               QStringLiteral("Edge:Ends.Diversion Requested"),
               QStringLiteral("Edge:Ends.Depletion Requested") }
        << 100.0;
    QTest::newRow("one year at the upper limit")
        << 3799 << 3799 << endsOnlySql(3799, 3799) << QStringLiteral("edge.xlsx")
        << YearlyRows { { 1, 1 } }
        << QStringList { QStringLiteral("Edge.Return Flow Salinity Pickup Mass"),
               QStringLiteral("Edge:Ends.Diversion Requested"),
               QStringLiteral("Edge:Ends.Depletion Requested") }
        << 100.0;
    // Site 4 has no water users and water user 5 no yearly rows: neither gets a column, and
    // the water user's results hold no value.
    QTest::newRow("site without water users, water user without rows")
        << 2000 << 2003 << emptyUserSql() << QStringLiteral("edge.xlsx")
        << YearlyRows { { 1, 4 }, { 4, 4 } }
        << QStringList { QStringLiteral("North Canal.Return Flow Salinity Pickup Mass"),
               QStringLiteral("North Canal:Upper Ditch.Diversion Requested"),
               QStringLiteral("North Canal:Upper Ditch.Depletion Requested"),
               QStringLiteral("North Canal:Lower Ditch.Diversion Requested"),
               QStringLiteral("North Canal:Lower Ditch.Depletion Requested"),
               QStringLiteral("North Canal:Idle Ditch.Diversion Requested"),
               QStringLiteral("North Canal:Idle Ditch.Depletion Requested"),
               QStringLiteral("South Canal.Return Flow Salinity Pickup Conc"),
               QStringLiteral("South Canal:South User.Diversion Requested"),
               QStringLiteral("South Canal:South User.Depletion Requested"),
               QStringLiteral("East Canal.Diversion Salt Concentration"),
               QStringLiteral("East Canal:East User.Diversion Requested"),
               QStringLiteral("East Canal:East User.Depletion Requested"),
               QStringLiteral("Dry Wash.Salt Mass Removal") }
        << qQNaN();
}

void TestEdgeProjects::edges()
{
    QFETCH(int, startYear);
    QFETCH(int, endYear);
    QFETCH(QString, sql);
    QFETCH(QString, book);
    QFETCH(YearlyRows, yearlyRows);
    QFETCH(QStringList, headers);
    QFETCH(double, lastDiversion);
    if (ProjectState::cliPath().isEmpty())
        QSKIP("tarnhelm-cli is not built");

    TestProject project(startYear, endYear);
    QVERIFY2(project.isValid(), qPrintable(project.error()));
    QVERIFY(project.exec(sql).isOk());

    const auto recalc = ProjectState::runCli(
        { QStringLiteral("recalc"), project.path(), QStringLiteral("--full") });
    QVERIFY2(!recalc.crashed && recalc.exitCode == 0, qPrintable(recalc.err));
    for (auto it = yearlyRows.cbegin(); it != yearlyRows.cend(); ++it) {
        QCOMPARE(project
                     .scalar(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE "
                                            "WaterUserID = %1 AND DiversionValue IS NOT NULL")
                                 .arg(it.key()))
                     .toInt(),
            it.value());
    }
    QCOMPARE(project
                 .scalar(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser WHERE "
                                        "WaterUserID = 5 AND (DiversionValue IS NOT NULL OR "
                                        "DepletionValue IS NOT NULL)"))
                 .toInt(),
        0);
    if (!qIsNaN(lastDiversion))
        QCOMPARE(project
                     .scalar(QStringLiteral("SELECT DiversionValue FROM BaseYearlyWaterUser WHERE "
                                            "WaterUserID = 1 AND Year = %1")
                                 .arg(endYear))
                     .toDouble(),
            lastDiversion);

    const QString bookPath = project.dirPath() + QLatin1Char('/') + book;
    const auto exported
        = ProjectState::runCli({ QStringLiteral("export-xlsx"), project.path(), bookPath });
    QVERIFY2(!exported.crashed && exported.exitCode == 0, qPrintable(exported.err));
    QStringList names;
    QList<Workbook::SheetCells> sheets;
    QString error;
    QVERIFY2(readBook(bookPath, names, sheets, &error), qPrintable(error));
    QVERIFY(!names.isEmpty());
    QCOMPARE(names.first(), QStringLiteral("Baseline Monthly Data"));
    const Workbook::SheetCells& first = sheets.first();
    QCOMPARE(first.rowCount(), 1 + 12 * (endYear - startYear + 1));
    // Excel has no dates before 1900: such months are written as text in the date's format.
    if (startYear < 1900)
        QCOMPARE(first.at(1, 0).text, QStringLiteral("1/%1").arg(startYear));
    else
        QVERIFY(first.at(1, 0).number > 0);
    QStringList written;
    for (int c = 1; c < first.columnCount(); ++c)
        written << first.at(0, c).text;
    QCOMPARE(written, headers);
    // A water user without yearly rows has months without values.
    const int idle = written.indexOf(QStringLiteral("North Canal:Idle Ditch.Diversion Requested"));
    for (int row = 1; idle >= 0 && row < first.rowCount(); ++row)
        QCOMPARE(first.at(row, idle + 1).text, QStringLiteral("NaN"));

    const QString xml = project.dirPath() + QStringLiteral("/attributes.xml");
    const auto attributes
        = ProjectState::runCli({ QStringLiteral("export-attributes"), project.path(), xml });
    QVERIFY2(!attributes.crashed && attributes.exitCode == 0, qPrintable(attributes.err));
    QVERIFY(QFileInfo(xml).size() > 0);
    QCOMPARE(xmlWellFormedProblem(xml), QString());
}

QTEST_GUILESS_MAIN(TestEdgeProjects)
#include "tst_edgeprojects.moc"
