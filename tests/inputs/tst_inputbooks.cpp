#include "InputsDump.h"
#include "support/CliRun.h"
#include "support/LockHolder.h"
#include "support/TestProject.h"

#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QtTest>

// The round trip of a project's inputs through an input book, the preview of a book another
// program edited, and StateMod series, all through the command-line tool as a planner runs it.
class TestInputBooks : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!qgetenv("TARNHELM_CLI").isEmpty()); }
    void roundTrip_data();
    void roundTrip();
    void editedBookPreviewsAndAppliesOnlyItsChanges();
    void removeMissingHoldsBackWhileRowsAreRejected();
    void stateModSeriesImportAsYearlySums();
    void scenarioChangeRecomputesOnlyItsScenario();
    void lockedProjectIsRefused_data();
    void lockedProjectIsRefused();
};

namespace {

CliResult cli(const QStringList& args)
{
    return runCli(args);
}

// The water users a plain recalc computed for the baseline (not skipped), by Riffle name.
QSet<QString> baselineComputed(const QString& output)
{
    QSet<QString> names;
    const QString baseline = output.section(QStringLiteral("Calculating Scenario"), 0, 0);
    static const QRegularExpression computed(
        QStringLiteral("^Computing Water User \\d+\\.(\\S+)"), QRegularExpression::MultilineOption);
    auto it = computed.globalMatch(baseline);
    while (it.hasNext())
        names.insert(it.next().captured(1));
    return names;
}

// One stored value (0 diversion, 1 depletion, 2 efficiency, 3 salinity) of a water user of the
// demo's first site, from dumpInputs.
QString yearValue(const QStringList& inputs, const QString& waterUser, int year, int field)
{
    const QString prefix
        = QStringLiteral("data|UpperSilverbendAggDiv|%1|%2|").arg(waterUser).arg(year);
    for (const QString& row : inputs)
        if (row.startsWith(prefix))
            return row.mid(prefix.size()).section(QLatin1Char('|'), field, field);
    return QStringLiteral("no row");
}

} // namespace

void TestInputBooks::roundTrip_data()
{
    QTest::addColumn<QString>("book");
    QTest::newRow("xlsx") << QStringLiteral("inputs.xlsx");
    QTest::newRow("csv folder") << QStringLiteral("inputs-csv");
}

void TestInputBooks::roundTrip()
{
    QFETCH(QString, book);
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(demo).isOk());
    QCOMPARE(cli({ QStringLiteral("recalc"), demo }).exitCode, 0);
    const QString path = dir.filePath(book);
    const CliResult exported = cli({ QStringLiteral("export-inputs"), demo, path,
        QStringLiteral("--scenario"), QStringLiteral("1"), QStringLiteral("--scenario"),
        QStringLiteral("2"), QStringLiteral("--scenario"), QStringLiteral("3") });
    QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));

    // Into a new project of another range: the book's baseline replaces it.
    TestProject target(2000, 2001);
    QVERIFY(target.isValid());
    const CliResult applied
        = cli({ QStringLiteral("import-inputs"), target.path(), path, QStringLiteral("--apply") });
    QVERIFY2(applied.exitCode == 0, qPrintable(applied.err));
    QCOMPARE(dumpInputs(target.path()), dumpInputs(demo));

    // A second import of the same book finds nothing to change.
    const CliResult again = cli({ QStringLiteral("import-inputs"), target.path(), path });
    QCOMPARE(again.exitCode, 0);
    QCOMPARE(again.out.trimmed(), QStringLiteral("Nothing to change."));

    QCOMPARE(cli({ QStringLiteral("recalc"), target.path() }).exitCode, 0);
    const QStringList results = dumpResults(demo);
    QVERIFY(results.size() > 1000);
    QCOMPARE(dumpResults(target.path()), results);
}

void TestInputBooks::editedBookPreviewsAndAppliesOnlyItsChanges()
{
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(demo).isOk());
    QCOMPARE(cli({ QStringLiteral("recalc"), demo }).exitCode, 0);
    const QString book = dir.filePath(QStringLiteral("inputs.xlsx"));
    QCOMPARE(cli({ QStringLiteral("export-inputs"), demo, book }).exitCode, 0);

    // Another program changes three values of two water users, spoils a number and adds a row
    // of a water user the project does not have.
    const QString script = QStringLiteral(R"(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb['Yearly Data']
rows = {(r[0].value, r[1].value, r[2].value): r for r in ws.iter_rows(min_row=2)}
rows[('UpperSilverbendAggDiv', 'HighlineDitchCompany', 1991)][4].value = 25.5
rows[('UpperSilverbendAggDiv', 'HighlineDitchCompany', 1995)][3].value = 60
rows[('UpperSilverbendAggDiv', 'AspenParkRanches', 2000)][5].value = 0.5
rows[('UpperSilverbendAggDiv', 'SilverbendTownWater', 1992)][3].value = 'lots'
ws.append(['UpperSilverbendAggDiv', 'NoSuchDitch', 1993, 1, 2, 0.5, 3])
wb.save(sys.argv[1])
)");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), { QStringLiteral("-c"), script, book });
    QVERIFY(python.waitForFinished(60000));
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());

    const CliResult preview
        = cli({ QStringLiteral("import-inputs"), demo, book, QStringLiteral("--json") });
    QCOMPARE(preview.exitCode, 0);
    const QJsonObject json = QJsonDocument::fromJson(preview.out.toUtf8()).object();
    QStringList changes;
    const QJsonArray items = json.value(QStringLiteral("changes")).toArray();
    for (const QJsonValue& item : items) {
        const QJsonObject object = item.toObject();
        for (const QJsonValue& field : object.value(QStringLiteral("fields")).toArray())
            changes.append(QStringLiteral("%1 %2 %3: %4 -> %5")
                               .arg(object.value(QStringLiteral("kind")).toString(),
                                   object.value(QStringLiteral("key")).toString(),
                                   field.toObject().value(QStringLiteral("field")).toString(),
                                   field.toObject().value(QStringLiteral("old")).toString(),
                                   field.toObject().value(QStringLiteral("new")).toString()));
    }
    const QStringList stored = dumpInputs(demo);
    QCOMPARE(changes,
        QStringList({ QStringLiteral("changed UpperSilverbendAggDiv / HighlineDitchCompany "
                                     "Depletion 1991: %1 -> 25.5")
                          .arg(yearValue(stored, QStringLiteral("HighlineDitchCompany"), 1991, 1)),
            QStringLiteral("changed UpperSilverbendAggDiv / HighlineDitchCompany Diversion 1995: "
                           "%1 -> 60")
                .arg(yearValue(stored, QStringLiteral("HighlineDitchCompany"), 1995, 0)),
            QStringLiteral("changed UpperSilverbendAggDiv / AspenParkRanches Efficiency Ratio "
                           "2000: %1 -> 0.5")
                .arg(yearValue(stored, QStringLiteral("AspenParkRanches"), 2000, 2)) }));
    const QJsonArray rejected = json.value(QStringLiteral("rejected")).toArray();
    QCOMPARE(rejected.size(), 2);
    QCOMPARE(rejected.at(0).toObject().value(QStringLiteral("column")).toString(),
        QStringLiteral("Diversion"));
    QVERIFY(rejected.at(0)
                .toObject()
                .value(QStringLiteral("reason"))
                .toString()
                .contains(QStringLiteral("\"lots\" is not a number")));
    QCOMPARE(rejected.at(1).toObject().value(QStringLiteral("column")).toString(),
        QStringLiteral("Water User"));
    QVERIFY(rejected.at(1)
                .toObject()
                .value(QStringLiteral("reason"))
                .toString()
                .contains(QStringLiteral("NoSuchDitch")));

    // A rejected row refuses the whole import.
    const QStringList before = dumpInputs(demo);
    const CliResult refused
        = cli({ QStringLiteral("import-inputs"), demo, book, QStringLiteral("--apply") });
    QCOMPARE(refused.exitCode, 1);
    QVERIFY(refused.err.contains(QStringLiteral("--skip-rejected")));
    QCOMPARE(dumpInputs(demo), before);

    const CliResult applied = cli({ QStringLiteral("import-inputs"), demo, book,
        QStringLiteral("--apply"), QStringLiteral("--skip-rejected") });
    QVERIFY2(applied.exitCode == 0, qPrintable(applied.err));
    QVERIFY(applied.out.contains(QStringLiteral("Highline Ditch Company was edited")));
    QVERIFY(applied.out.contains(QStringLiteral("Aspen Park Ranches was edited")));
    QStringList after = dumpInputs(demo);
    QSet<QString> changed = QSet<QString>(after.begin(), after.end())
                                .subtract(QSet<QString>(before.begin(), before.end()));
    QCOMPARE(changed.size(), 3);

    // Only the two water users the import touched no longer follow their inputs.
    const CliResult recalc = cli({ QStringLiteral("recalc"), demo });
    QCOMPARE(recalc.exitCode, 0);
    QCOMPARE(baselineComputed(recalc.out),
        QSet<QString>(
            { QStringLiteral("HighlineDitchCompany"), QStringLiteral("AspenParkRanches") }));
}

// --remove-missing with --skip-rejected must not take a rejected row for one the book left out:
// that would delete the very year the planner meant to correct.
void TestInputBooks::removeMissingHoldsBackWhileRowsAreRejected()
{
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo.db"));
    const QString book = dir.filePath(QStringLiteral("inputs-csv"));
    QVERIFY(makeDemoProject(demo).isOk());
    QCOMPARE(cli({ QStringLiteral("export-inputs"), demo, book }).exitCode, 0);
    QFile file(book + QStringLiteral("/Yearly Data.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList original = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    file.close();
    const QString prefix = QStringLiteral("UpperSilverbendAggDiv,HighlineDitchCompany,%1,");
    const auto rowOf = [&](int year) {
        for (int i = 0; i < original.size(); ++i)
            if (original.at(i).startsWith(prefix.arg(year)))
                return i;
        return -1;
    };
    const int rejectedRow = rowOf(1991);
    const int droppedRow = rowOf(1992);
    QVERIFY(rejectedRow > 0 && droppedRow > 0);
    const auto write = [&](bool withRejected) {
        QStringList lines = original;
        if (withRejected) {
            QStringList fields = lines.at(rejectedRow).split(QLatin1Char(','));
            fields[5] = QStringLiteral("1.7");
            lines[rejectedRow] = fields.join(QLatin1Char(','));
        }
        lines.removeAt(droppedRow);
        QFile out(file.fileName());
        return out.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && out.write(lines.join(QLatin1Char('\n')).toUtf8()) > 0;
    };
    const QStringList before = dumpInputs(demo);
    const QString waterUser = QStringLiteral("HighlineDitchCompany");

    QVERIFY(write(true));
    const CliResult held
        = cli({ QStringLiteral("import-inputs"), demo, book, QStringLiteral("--apply"),
            QStringLiteral("--skip-rejected"), QStringLiteral("--remove-missing") });
    QVERIFY2(held.exitCode == 0, qPrintable(held.err));
    QVERIFY(held.out.contains(QStringLiteral("Nothing is removed while rows are rejected")));
    QCOMPARE(dumpInputs(demo), before);

    QVERIFY(write(false));
    const CliResult removed = cli({ QStringLiteral("import-inputs"), demo, book,
        QStringLiteral("--apply"), QStringLiteral("--remove-missing") });
    QVERIFY2(removed.exitCode == 0, qPrintable(removed.err));
    const QStringList after = dumpInputs(demo);
    QCOMPARE(yearValue(after, waterUser, 1992, 0), QStringLiteral("no row"));
    QCOMPARE(yearValue(after, waterUser, 1991, 2), yearValue(before, waterUser, 1991, 2));
    QCOMPARE(after.size(), before.size() - 1);
}

void TestInputBooks::stateModSeriesImportAsYearlySums()
{
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(demo).isOk());
    // Water years: October to September, the year's total last.
    const QString series = dir.filePath(QStringLiteral("depletions.stm"));
    QFile file(series);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const auto line = [](int year, const QString& station, const QList<double>& months) -> QString {
        QString text = QStringLiteral("%1 %2").arg(year, 4).arg(station, -12);
        double total = 0;
        for (const double month : months) {
            text += QStringLiteral("%1").arg(month, 8, 'f', 1);
            total += month;
        }
        return text + QStringLiteral("%1\n").arg(total, 10, 'f', 1);
    };
    QString text
        = QStringLiteral("# written by the test\n#\n    10/1995 -      9/1997 ACFT  WYR\n");
    text += line(1996, QStringLiteral("AspenParkRan"), { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12.5 });
    text += line(1997, QStringLiteral("AspenParkRan"), { 1, 1, 1, 1, -999, 1, 1, 1, 1, 1, 1, 1 });
    text += line(1996, QStringLiteral("NoSuchGage"), { 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1 });
    QVERIFY(file.write(text.toLatin1()) > 0);
    file.close();
    // Station IDs are twelve characters: a water user takes the name of its gage.
    TARN::okstat renamed;
    QSqlDatabase db = ProjectFile::openConnection(demo, &renamed);
    QVERIFY(renamed.isOk());
    QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE WaterUser SET RiffleName = 'AspenParkRan' "
                                              "WHERE RiffleName = 'AspenParkRanches'")));
    ProjectFile::closeConnection(db);

    const CliResult applied = cli({ QStringLiteral("import-inputs"), demo,
        QStringLiteral("--depletion-series"), series, QStringLiteral("--apply") });
    QVERIFY2(applied.exitCode == 0, qPrintable(applied.err));
    QVERIFY(applied.out.contains(QStringLiteral("NoSuchGage")));
    const QStringList inputs = dumpInputs(demo);
    QCOMPARE(yearValue(inputs, QStringLiteral("AspenParkRan"), 1996, 1), QStringLiteral("78.5"));
    // A missing month leaves the year without a value; its other values stay.
    QCOMPARE(yearValue(inputs, QStringLiteral("AspenParkRan"), 1997, 1), QString());
    QVERIFY(!yearValue(inputs, QStringLiteral("AspenParkRan"), 1997, 0).isEmpty());
}

void TestInputBooks::scenarioChangeRecomputesOnlyItsScenario()
{
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(demo).isOk());
    QCOMPARE(cli({ QStringLiteral("recalc"), demo }).exitCode, 0);
    const QString book = dir.filePath(QStringLiteral("growth"));
    QCOMPARE(cli({ QStringLiteral("export-inputs"), demo, book, QStringLiteral("--scenario"),
                     QStringLiteral("2") })
                 .exitCode,
        0);
    QFile values(book + QStringLiteral("/Change Values.csv"));
    QVERIFY(values.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(values.readAll());
    values.close();
    const QString line = QStringLiteral("Municipal Growth,Pinecrest growth plan,Depletion,2010,");
    const int at = text.indexOf(line);
    QVERIFY(at >= 0);
    const int end = text.indexOf(QLatin1Char('\r'), at);
    text.replace(at, end - at, line + QStringLiteral("New Amount,60"));
    QVERIFY(values.open(QIODevice::WriteOnly | QIODevice::Truncate));
    values.write(text.toUtf8());
    values.close();

    const CliResult applied = cli({ QStringLiteral("import-inputs"), demo, book,
        QStringLiteral("--apply"), QStringLiteral("--json") });
    QVERIFY2(applied.exitCode == 0, qPrintable(applied.err));
    const QJsonObject json = QJsonDocument::fromJson(applied.out.toUtf8()).object();
    QCOMPARE(json.value(QStringLiteral("touchedScenarios")).toArray(),
        QJsonArray({ QStringLiteral("Municipal Growth") }));
    QVERIFY(json.value(QStringLiteral("applied")).toBool());

    // The baseline and the other scenarios still follow their inputs.
    const CliResult recalc = cli({ QStringLiteral("recalc"), demo });
    QCOMPARE(recalc.exitCode, 0);
    QStringList computedIn;
    QString run;
    for (const QString& outputLine : recalc.out.split(QLatin1Char('\n'))) {
        if (outputLine.startsWith(QLatin1String("Calculating ")))
            run = outputLine;
        else if (outputLine.startsWith(QLatin1String("Computing")) && !computedIn.contains(run))
            computedIn.append(run);
    }
    QCOMPARE(computedIn, QStringList { QStringLiteral("Calculating Scenario Municipal Growth:") });
}

void TestInputBooks::lockedProjectIsRefused_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("another program writes") << int(LockHolder::Immediate);
    QTest::newRow("another program holds the file") << int(LockHolder::Exclusive);
}

void TestInputBooks::lockedProjectIsRefused()
{
    QFETCH(int, kind);
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(demo).isOk());
    const QString book = dir.filePath(QStringLiteral("book"));
    QCOMPARE(cli({ QStringLiteral("export-inputs"), demo, book }).exitCode, 0);
    QFile sites(book + QStringLiteral("/Sites.csv"));
    QVERIFY(sites.open(QIODevice::Append));
    sites.write("NewMesaAggDiv,New Mesa,,,9\r\n");
    sites.close();
    const QStringList before = dumpInputs(demo);

    LockHolder lock(demo, TarnDbMgr::BusyTimeoutMs / 1000.0 + 4, LockHolder::Kind(kind));
    QVERIFY(lock.started());
    QVERIFY(lock.waitUntilHeld(demo));
    const CliResult refused
        = cli({ QStringLiteral("import-inputs"), demo, book, QStringLiteral("--apply") });
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.startsWith(QStringLiteral("Another program is writing to the project "
                                                   "file: the import was not saved.")),
        qPrintable(refused.err));
    QVERIFY(refused.err.contains(QStringLiteral("run import-inputs again")));
    QCOMPARE(dumpInputs(demo), before);
}

QTEST_GUILESS_MAIN(TestInputBooks)
#include "tst_inputbooks.moc"
