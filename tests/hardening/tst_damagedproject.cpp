#include "ProjectState.h"

#include "db/AggDivDAO.h"
#include "db/BaselineDAO.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"
#include "support/CalcTestSupport.h"
#include "support/TestProject.h"
#include "support/XmlCheck.h"

#include <QFile>
#include <QtTest>

// Damaged project files: opening or the first use reports a clear message, nothing crashes,
// neither in the program's own session nor in the command-line tool.
class TestDamagedProject : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { resetDbManager(); }
    void damaged_data();
    void damaged();
};

namespace {

enum class Damage { Truncate, Flip, Overwrite, Sql };

// Steps that failed, each with its message; empty messages are collected as failures of the
// test itself.
struct Outcome {
    QStringList failures;
    QStringList emptyMessages;
    void add(const QString& step, const TARN::okstat& status)
    {
        if (status.isOk())
            return;
        if (status.text().trimmed().isEmpty())
            emptyMessages << step;
        failures << step + QStringLiteral(": ") + status.text();
    }
};

bool damage(const QString& path, Damage kind, const QString& argument)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    switch (kind) {
    case Damage::Truncate: {
        const qint64 size = argument.endsWith(QLatin1Char('%'))
            ? bytes.size() * argument.chopped(1).toLongLong() / 100
            : argument.toLongLong();
        file.close();
        return QFile::resize(path, size);
    }
    case Damage::Flip:
        // Every 97th byte from the given fraction of the file on.
        for (int i = bytes.size() * argument.toInt() / 100; i < bytes.size(); i += 97)
            bytes[i] = static_cast<char>(bytes.at(i) ^ 0x5A);
        break;
    case Damage::Overwrite:
        bytes.replace(0, argument.size(), argument.toLatin1());
        break;
    case Damage::Sql:
        return false;
    }
    file.seek(0);
    return file.write(bytes) == bytes.size();
}

} // namespace

void TestDamagedProject::damaged_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("mustFail");
    // A text one of the failures must contain (none: any clear message will do).
    QTest::addColumn<QString>("named");

    const int truncate = int(Damage::Truncate);
    const int flip = int(Damage::Flip);
    const int overwrite = int(Damage::Overwrite);
    const int sql = int(Damage::Sql);
    QTest::newRow("empty file") << truncate << QStringLiteral("0") << true << QString();
    QTest::newRow("cut in the header") << truncate << QStringLiteral("60") << true << QString();
    QTest::newRow("cut to 1000 bytes") << truncate << QStringLiteral("1000") << true << QString();
    QTest::newRow("cut in half") << truncate << QStringLiteral("50%") << true << QString();
    QTest::newRow("cut by one page") << truncate << QStringLiteral("95%") << false << QString();
    QTest::newRow("bytes flipped from the start")
        << flip << QStringLiteral("0") << true << QString();
    QTest::newRow("bytes flipped in the second half")
        << flip << QStringLiteral("50") << false << QString();
    QTest::newRow("bytes flipped in the last tenth")
        << flip << QStringLiteral("90") << false << QString();
    QTest::newRow("not a database")
        << overwrite << QStringLiteral("This is not a project file") << true << QString();
    QTest::newRow("lookup row missing")
        << sql << QStringLiteral("DELETE FROM SalinityMethod WHERE SalinityMethodID = 2") << false
        << QString();
    QTest::newRow("lookup table missing")
        << sql << QStringLiteral("DROP TABLE SalinityMethod") << true << QString();
    QTest::newRow("foreign key broken")
        << sql << QStringLiteral("UPDATE WaterUser SET AggDivID = 99 WHERE WaterUserID = 1") << true
        << QStringLiteral("WaterUser row 1 refers to a missing AggDiv row");
    QTest::newRow("distribution of a water user missing")
        << sql << QStringLiteral("DELETE FROM WaterUserDist WHERE WaterUserID = 2") << false
        << QString();
    QTest::newRow("result table missing")
        << sql << QStringLiteral("DROP TABLE BaseMonthlyAggDiv") << true
        << QStringLiteral("no such table: BaseMonthlyAggDiv");
    QTest::newRow("scenario result table missing")
        << sql << QStringLiteral("DROP TABLE ScenarioYearlyWaterUser") << true
        << QStringLiteral("no such table: ScenarioYearlyWaterUser");
    QTest::newRow("baseline row missing")
        << sql << QStringLiteral("DELETE FROM Baseline") << true << QString();
    QTest::newRow("column missing")
        << sql << QStringLiteral("ALTER TABLE WaterUserData DROP COLUMN SalinityPickup") << true
        << QString();
}

void TestDamagedProject::damaged()
{
    QFETCH(int, kind);
    QFETCH(QString, argument);
    QFETCH(bool, mustFail);
    QFETCH(QString, named);

    TestProject project(2000, 2003);
    QVERIFY(project.exec(smallBasinSql()).isOk());
    QVERIFY(project
                .exec(QStringLiteral("INSERT INTO Scenario (ScenarioID, ScenarioName, "
                                     "ScenarioShortName) VALUES (1, 'Dry', 'D')"))
                .isOk());
    const bool haveCli = !ProjectState::cliPath().isEmpty();
    if (haveCli) {
        const auto run = ProjectState::runCli({ QStringLiteral("recalc"), project.path() });
        QVERIFY2(!run.crashed && run.exitCode == 0, qPrintable(run.err));
    }
    if (Damage(kind) == Damage::Sql) {
        QVERIFY(project.exec(QStringLiteral("PRAGMA foreign_keys = OFF;") + argument).isOk());
    } else {
        QVERIFY(damage(project.path(), Damage(kind), argument));
    }

    Outcome outcome;
    TarnDbMgr* manager = TarnDbMgr::instance();
    const TARN::okstat opened = manager->openDatabase(project.path());
    outcome.add(QStringLiteral("open"), opened);
    if (opened.isOk()) {
        Baseline baseline;
        outcome.add(QStringLiteral("baseline"), manager->baselineDAO()->getBaseline(baseline));
        AggDivList aggDivs;
        outcome.add(QStringLiteral("sites"), manager->aggDivDAO()->getAggDivs(aggDivs));
        WaterUserList waterUsers;
        outcome.add(QStringLiteral("water users"),
            manager->waterUserDAO()->getWaterUsers(waterUsers, 0, 0));
        for (const WaterUser& waterUser : qAsConst(waterUsers)) {
            WaterUserDataList rows;
            outcome.add(QStringLiteral("yearly data"),
                manager->waterUserDAO()->getWaterUserData(rows, waterUser.WaterUserID, true));
        }
    }
    resetDbManager();

    if (haveCli) {
        const QList<QStringList> commands = {
            { QStringLiteral("check"), project.path() },
            { QStringLiteral("recalc"), project.path(), QStringLiteral("--full") },
            { QStringLiteral("export-xlsx"), project.path(),
                project.dirPath() + QStringLiteral("/out.xlsx") },
            { QStringLiteral("export-attributes"), project.path(),
                project.dirPath() + QStringLiteral("/out.xml") },
        };
        for (const QStringList& args : commands) {
            const auto run = ProjectState::runCli(args);
            QVERIFY2(!run.crashed,
                qPrintable(QStringLiteral("%1 crashed: %2").arg(args.first(), run.err)));
            if (run.exitCode != 0)
                outcome.add(args.first(), TARN::okstat(run.err));
            else if (args.first() == QLatin1String("export-attributes"))
                QCOMPARE(xmlWellFormedProblem(args.last()), QString());
        }
    }

    QVERIFY2(outcome.emptyMessages.isEmpty(),
        qPrintable(QStringLiteral("failed without a message: ")
            + outcome.emptyMessages.join(QStringLiteral(", "))));
    if (mustFail)
        QVERIFY2(!outcome.failures.isEmpty(), "the damage went unreported");
    for (const QString& failure : qAsConst(outcome.failures))
        qInfo("%s", qPrintable(failure));
    if (!named.isEmpty())
        QVERIFY2(outcome.failures.join(QLatin1Char('\n')).contains(named),
            qPrintable(outcome.failures.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestDamagedProject)
#include "tst_damagedproject.moc"
