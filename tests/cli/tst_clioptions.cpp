#include "support/CliRun.h"
#include "support/TestProject.h"

#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

// How the command-line tool reads its options, and what it says when the project won't open:
// the same for every command.
class TestCliOptions : public QObject {
    Q_OBJECT

private:
    using Result = CliResult;
    static Result run(const QStringList& args) { return runCli(args); }

    // args with "DEMO" replaced by the computed demo project.
    QStringList withDemo(QStringList args) const
    {
        args.replaceInStrings(QStringLiteral("DEMO"), _demo);
        return args;
    }

    // Description, StartYear and EndYear of the project's baseline row, read by position.
    static QStringList baselineOf(const QString& path)
    {
        QStringList values;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), path);
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query(QStringLiteral("SELECT * FROM Baseline"), db);
                if (query.next())
                    values << query.value(1).toString() << query.value(5).toString()
                           << query.value(6).toString();
            }
        }
        QSqlDatabase::removeDatabase(path);
        return values;
    }

    QTemporaryDir _dir;
    QString _demo;

private slots:
    void initTestCase()
    {
        QVERIFY(!qgetenv("TARNHELM_CLI").isEmpty());
        _demo = _dir.filePath(QStringLiteral("demo.db"));
        const TARN::okstat made = makeDemoProject(_demo);
        QVERIFY2(made.isOk(), qPrintable(made.text()));
        const Result computed = run({ QStringLiteral("recalc"), _demo, QStringLiteral("--full") });
        QVERIFY2(computed.exitCode == 0, qPrintable(computed.err));
    }

    void equalsFormGivesTheSameResult_data()
    {
        QTest::addColumn<QStringList>("spaced");
        QTest::addColumn<QStringList>("joined");
        const auto list
            = [](const char* text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
        QTest::newRow("explain") << list("explain DEMO --water-user 8 --year 2015 --scenario 1")
                                 << list("explain DEMO --water-user=8 --year=2015 --scenario=1");
        QTest::newRow("explain a month as JSON")
            << list("explain DEMO --year 2015 --month 6 --value diversion --water-user 8 --json")
            << list("explain DEMO --year=2015 --month=6 --value=diversion --water-user=8 --json");
        QTest::newRow("recalc a scenario")
            << list("recalc DEMO --scenario 1 --full") << list("recalc DEMO --scenario=1 --full");
        QTest::newRow("recalc with a bad ID")
            << list("recalc DEMO --scenario dry") << list("recalc DEMO --scenario=dry");
        QTest::newRow("explain with a bad month") << list("explain DEMO --site 1 --year 2015 "
                                                          "--month 13")
                                                  << list("explain DEMO --site=1 --year=2015 "
                                                          "--month=13");
    }
    void equalsFormGivesTheSameResult()
    {
        QFETCH(QStringList, spaced);
        QFETCH(QStringList, joined);
        const Result first = run(withDemo(spaced));
        const Result second = run(withDemo(joined));
        QVERIFY2(first.exitCode >= 0, qPrintable(first.err));
        QCOMPARE(second.exitCode, first.exitCode);
        QCOMPARE(second.out, first.out);
        QCOMPARE(second.err, first.err);
    }

    void newTakesEitherForm()
    {
        const QString spaced = _dir.filePath(QStringLiteral("spaced.db"));
        const QString joined = _dir.filePath(QStringLiteral("joined.db"));
        QCOMPARE(run({ QStringLiteral("new"), spaced, QStringLiteral("--start"),
                         QStringLiteral("1990"), QStringLiteral("--end"), QStringLiteral("2020"),
                         QStringLiteral("--description"), QStringLiteral("Upper basin") })
                     .exitCode,
            0);
        QCOMPARE(
            run({ QStringLiteral("new"), joined, QStringLiteral("--start=1990"),
                    QStringLiteral("--end=2020"), QStringLiteral("--description=Upper basin") })
                .exitCode,
            0);
        const QStringList expected { QStringLiteral("Upper basin"), QStringLiteral("1990"),
            QStringLiteral("2020") };
        QCOMPARE(baselineOf(spaced), expected);
        QCOMPARE(baselineOf(joined), expected);
    }

    void cannotOpenExitsOne_data()
    {
        QTest::addColumn<QString>("project");
        QTest::addColumn<QStringList>("args"); // after the project file
        const QStringList kinds { QStringLiteral("missing"), QStringLiteral("text"),
            QStringLiteral("damaged") };
        const QList<QPair<const char*, QStringList>> commands {
            { "check", { QStringLiteral("check") } },
            { "recalc", { QStringLiteral("recalc") } },
            { "validate", { QStringLiteral("validate") } },
            { "explain",
                { QStringLiteral("explain"), QStringLiteral("--site"), QStringLiteral("1"),
                    QStringLiteral("--year"), QStringLiteral("2000") } },
            { "export-xlsx", { QStringLiteral("export-xlsx"), QStringLiteral("BOOK.xlsx") } },
            { "export-attributes",
                { QStringLiteral("export-attributes"), QStringLiteral("OUT.xml") } },
        };
        for (const QString& kind : kinds) {
            for (const auto& command : commands)
                QTest::addRow("%s, %s project", command.first, qPrintable(kind))
                    << kind << command.second;
        }
    }
    void cannotOpenExitsOne()
    {
        QFETCH(QString, project);
        QFETCH(QStringList, args);
        TestProject damaged;
        QString path;
        if (project == QLatin1String("missing")) {
            path = _dir.filePath(QStringLiteral("nowhere/project.db"));
        } else if (project == QLatin1String("text")) {
            path = _dir.filePath(QStringLiteral("notes.db"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("Just some notes, not a database.\n");
        } else {
            QVERIFY(damaged.exec(QStringLiteral("DROP TABLE WaterUserData")).isOk());
            path = damaged.path();
        }
        args.replaceInStrings(QStringLiteral("BOOK"), _dir.filePath(QStringLiteral("book")));
        args.replaceInStrings(QStringLiteral("OUT"), _dir.filePath(QStringLiteral("out")));
        args.insert(1, path);
        const Result result = run(args);
        QCOMPARE(result.exitCode, 1);
        QVERIFY(!result.err.trimmed().isEmpty());
        QVERIFY2(result.out.isEmpty(), qPrintable(result.out));
    }
};

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_clioptions.moc"
