#include "workbook/SheetTable.h"
#include "workbook/WorkbookDiff.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// A sheet written as lines of tab-separated cells: the first line the column names (after an
// empty cell), the others a key in column 0 and the values; an empty cell is left out, a cell
// that reads as a number is one, anything else is a text.
Workbook::SheetTable table(const QStringList& lines)
{
    Workbook::SheetTable t;
    for (int row = 0; row < lines.size(); ++row) {
        const QStringList cells = lines.at(row).split(QLatin1Char('\t'));
        for (int column = 0; column < cells.size(); ++column) {
            const QString& cell = cells.at(column);
            if (cell.isEmpty())
                continue;
            bool number = false;
            const double value = cell.toDouble(&number);
            if (number)
                t.add(row, column, Workbook::ReadCell::Number, value, QString());
            else
                t.add(row, column, Workbook::ReadCell::Text, 0, cell);
        }
    }
    t.finish();
    return t;
}

QString figure(double v)
{
    return std::isnan(v) ? QStringLiteral("-") : QString::number(v, 'g', 17);
}

// "status" for an equal sheet, then a line a column that isn't equal.
QStringList describe(const Workbook::SheetComparison& sheet)
{
    static const char* const statuses[] = { "equal", "changed", "added", "removed" };
    QStringList out { QLatin1String(statuses[sheet.status]) };
    for (const auto& c : sheet.columns)
        out << QStringLiteral("%1 %2 %3 %4..%5 abs %6 rel %7 totals %8/%9")
                   .arg(c.name, QLatin1String(statuses[c.status]))
                   .arg(c.changedMonths)
                   .arg(c.firstMonth, c.lastMonth, figure(c.maxAbs), figure(c.maxRel),
                       figure(c.oldTotal), figure(c.newTotal));
    return out;
}

Workbook::ColumnComparison column(const QString& name, Workbook::ColumnComparison::Status status,
    int months, double maxAbs, double maxRel, double oldTotal, double newTotal)
{
    Workbook::ColumnComparison c;
    c.name = name;
    c.status = status;
    c.changedMonths = months;
    c.firstMonth = QStringLiteral("2001-01");
    c.lastMonth = months > 1 ? QStringLiteral("2001-03") : QStringLiteral("2001-01");
    c.maxAbs = maxAbs;
    c.maxRel = maxRel;
    c.oldTotal = oldTotal;
    c.newTotal = newTotal;
    return c;
}

// Two sheets, one changed in two columns and one added, and a sheet only in the new book.
Workbook::WorkbookComparison sampleComparison()
{
    Workbook::WorkbookComparison comparison;
    comparison.oldPath = QStringLiteral("old.xlsx");
    comparison.newPath = QStringLiteral("new.xlsx");
    Workbook::SheetComparison data;
    data.name = QStringLiteral("Data");
    data.status = Workbook::SheetComparison::Changed;
    data.oldColumns = 3;
    data.newColumns = 3;
    data.columns.push_back(column(QStringLiteral("X.Flow"), Workbook::ColumnComparison::Changed, 3,
        2.5, 0.125, 1000000, 100000));
    data.columns.push_back(column(QStringLiteral("Quote\"Back\\Tab\tCtl\x01"),
        Workbook::ColumnComparison::Changed, 1, NaN, NaN, 1e-7, -0.5));
    data.columns.push_back(
        column(QStringLiteral("W.Flow"), Workbook::ColumnComparison::Added, 1, 7, NaN, NaN, 7));
    comparison.sheets.push_back(data);
    Workbook::SheetComparison same;
    same.name = QStringLiteral("Baseline");
    same.byFingerprint = true;
    comparison.sheets.push_back(same);
    Workbook::SheetComparison extra;
    extra.name = QStringLiteral("Extra");
    extra.status = Workbook::SheetComparison::Added;
    comparison.sheets.push_back(extra);
    return comparison;
}

} // namespace

// The comparison of workbooks on its own: sheets built cell by cell, comparisons built by hand.
class TestWorkbookDiff : public QObject {
    Q_OBJECT

private slots:
    void compareTables_data();
    void compareTables();
    void jsonKeepsItsShape();
    void textAndSummary();
    void unreadableBookNamed();
};

void TestWorkbookDiff::compareTables_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QStringList>("expected");
    const QString header = QStringLiteral("\tX.Flow\tY.Flow");
    QTest::newRow("equal") << QStringList { header, QStringLiteral("2001-01\t1\t2") }
                           << QStringList { header, QStringLiteral("2001-01\t1\t2") } << 0.0
                           << QStringList { QStringLiteral("equal") };
    QTest::newRow("one month changed")
        << QStringList { header, QStringLiteral("2001-01\t10\t2"), QStringLiteral("2001-02\t4\t2") }
        << QStringList { header, QStringLiteral("2001-01\t10\t2"),
               QStringLiteral("2001-02\t6.5\t2") }
        << 0.0
        << QStringList { QStringLiteral("changed"),
               QStringLiteral(
                   "X.Flow changed 1 2001-02..2001-02 abs 2.5 rel 0.625 totals 14/16.5") };
    QTest::newRow("within the tolerance")
        << QStringList { header, QStringLiteral("2001-01\t1\t2") }
        << QStringList { header, QStringLiteral("2001-01\t1.25\t2") } << 0.5
        << QStringList { QStringLiteral("equal") };
    // A value against a missing one has no size; a relative change needs an old value.
    QTest::newRow("a value gone missing, a value from 0")
        << QStringList { header, QStringLiteral("2001-01\t3\t0") }
        << QStringList { header, QStringLiteral("2001-01\tNaN\t5") } << 0.0
        << QStringList { QStringLiteral("changed"),
               QStringLiteral("X.Flow changed 1 2001-01..2001-01 abs - rel - totals 3/0"),
               QStringLiteral("Y.Flow changed 1 2001-01..2001-01 abs 5 rel - totals 0/5") };
    QTest::newRow("the text NaN and an empty cell are both missing")
        << QStringList { header, QStringLiteral("2001-01\tNaN\t1") }
        << QStringList { header, QStringLiteral("2001-01\t\t1") } << 0.0
        << QStringList { QStringLiteral("equal") };
    QTest::newRow("texts compare as texts")
        << QStringList { header, QStringLiteral("2001-01\tdry\t1") }
        << QStringList { header, QStringLiteral("2001-01\twet\t1") } << 0.0
        << QStringList { QStringLiteral("changed"),
               QStringLiteral("X.Flow changed 1 2001-01..2001-01 abs - rel - totals 0/0") };
    QTest::newRow("rows pair by their key, not their place")
        << QStringList { header, QStringLiteral("2001-01\t1\t2"), QStringLiteral("2001-02\t3\t4") }
        << QStringList { header, QStringLiteral("2001-02\t3\t4"), QStringLiteral("2001-01\t1\t2") }
        << 0.0 << QStringList { QStringLiteral("equal") };
    QTest::newRow("columns pair by name; one only in each")
        << QStringList { QStringLiteral("\tX.Flow\tZ.Flow"), QStringLiteral("2001-01\t1\t-4"),
               QStringLiteral("2001-02\t1\t2") }
        << QStringList { QStringLiteral("\tW.Flow\tX.Flow"), QStringLiteral("2001-01\t7\t1"),
               QStringLiteral("2001-02\t\t1") }
        << 0.0
        << QStringList { QStringLiteral("changed"),
               QStringLiteral("Z.Flow removed 2 2001-01..2001-02 abs 4 rel - totals -2/-"),
               QStringLiteral("W.Flow added 1 2001-01..2001-01 abs 7 rel - totals -/7") };
    QTest::newRow("a month only in the new sheet")
        << QStringList { header, QStringLiteral("2001-01\t1\t2") }
        << QStringList { header, QStringLiteral("2001-01\t1\t2"), QStringLiteral("2001-02\t1\t") }
        << 0.0
        << QStringList { QStringLiteral("changed"),
               QStringLiteral("X.Flow changed 1 2001-02..2001-02 abs - rel - totals 1/2") };
    QTest::newRow("a repeated name pairs first with first")
        << QStringList { QStringLiteral("\tX.Flow\tX.Flow"), QStringLiteral("2001-01\t1\t2") }
        << QStringList { QStringLiteral("\tX.Flow\tX.Flow"), QStringLiteral("2001-01\t1\t3") }
        << 0.0
        << QStringList { QStringLiteral("changed"),
               QStringLiteral("X.Flow changed 1 2001-01..2001-01 abs 1 rel 0.5 totals 2/3") };
}

void TestWorkbookDiff::compareTables()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(double, tolerance);
    QFETCH(QStringList, expected);
    const Workbook::WorkbookDiff diff(tolerance);
    const Workbook::SheetComparison sheet
        = diff.compareTables(QStringLiteral("Data"), table(before), table(after));
    QCOMPARE(sheet.name, QStringLiteral("Data"));
    QCOMPARE(describe(sheet), expected);
}

// Scripts read the JSON: its keys in their documented order, figures in their shortest exact
// form, null where a figure doesn't exist, names escaped whatever they hold.
void TestWorkbookDiff::jsonKeepsItsShape()
{
    const QByteArray expected = R"({"equal": false, "sheets": [{"name": "Data", "status": )"
                                R"("changed", "byFingerprint": false, "columns": [{"name": )"
                                R"("X.Flow", "status": "changed", "changedMonths": 3, )"
                                R"("firstMonth": "2001-01", "lastMonth": "2001-03", "maxAbs": )"
                                R"(2.5, "maxRel": 0.125, "oldTotal": 1e+06, "newTotal": 1e+05}, )"
                                R"({"name": "Quote\"Back\\Tab\tCtl\u0001", "status": "changed", )"
                                R"("changedMonths": 1, "firstMonth": "2001-01", "lastMonth": )"
                                R"("2001-01", "maxAbs": null, "maxRel": null, "oldTotal": 1e-07, )"
                                R"("newTotal": -0.5}, {"name": "W.Flow", "status": "added", )"
                                R"("changedMonths": 1, "firstMonth": "2001-01", "lastMonth": )"
                                R"("2001-01", "maxAbs": 7, "maxRel": null, "oldTotal": null, )"
                                R"("newTotal": 7}]}, {"name": "Baseline", "status": "equal", )"
                                R"("byFingerprint": true, "columns": []}, {"name": "Extra", )"
                                R"("status": "added", "byFingerprint": false, "columns": []}]})";
    QCOMPARE(sampleComparison().toJson(), expected);
    Workbook::WorkbookComparison none;
    QCOMPARE(none.toJson(), QByteArray(R"({"equal": true, "sheets": []})"));
}

void TestWorkbookDiff::textAndSummary()
{
    Workbook::WorkbookComparison comparison = sampleComparison();
    comparison.tolerance = 0.01;
    const QStringList lines = comparison.toText().split(QLatin1Char('\n'));
    QCOMPARE(lines.mid(0, 6),
        (QStringList { QStringLiteral("Old workbook: old.xlsx"),
            QStringLiteral("New workbook: new.xlsx"), QStringLiteral("Tolerance: 0.01"),
            QStringLiteral("The workbooks differ."),
            QStringLiteral("'Data': 2 of 3 columns changed, 1 only in the new sheet"),
            QStringLiteral("\tColumn\tStatus\tMonths\tFirst\tLast\tMax abs\tMax rel\tOld "
                           "total\tNew total") }));
    QCOMPARE(lines.at(6),
        QStringLiteral("\tX.Flow\tchanged\t3\t2001-01\t2001-03\t2.5\t0.125\t1000000\t100000"));
    QCOMPARE(lines.mid(9),
        (QStringList { QStringLiteral("'Baseline': equal (by its recorded fingerprint)"),
            QStringLiteral("'Extra': only in the new workbook") }));
    QCOMPARE(comparison.summary(),
        QStringLiteral("Compared with the previous workbook: 'Data': 2 of 3 columns changed, 1 "
                       "column added, largest change 2.5 in X.Flow; 'Extra': new sheet"));

    Workbook::WorkbookComparison equal;
    equal.sheets.push_back(comparison.sheets.at(1));
    QVERIFY(equal.equal());
    QCOMPARE(
        equal.summary(), QStringLiteral("Compared with the previous workbook: No value changed"));
}

void TestWorkbookDiff::unreadableBookNamed()
{
    QTemporaryDir dir;
    const QString notes = dir.filePath(QStringLiteral("notes.xlsx"));
    QFile file(notes);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a workbook");
    file.close();
    Workbook::WorkbookDiff diff;
    Workbook::WorkbookComparison result;
    QString error;
    QVERIFY(!diff.compareFiles(notes, notes, &result, &error));
    QCOMPARE(error,
        QStringLiteral("Unable to read the workbook \"%1\": the file is not an Excel workbook "
                       "(.xlsx, .xlsm or .xls)")
            .arg(notes));
}

QTEST_GUILESS_MAIN(TestWorkbookDiff)
#include "tst_workbookdiff.moc"
