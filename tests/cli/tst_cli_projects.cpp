#include "CliFixture.h"

class TestCliProjects : public CliFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!qgetenv("TARNHELM_CLI").isEmpty()); }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no command") << QStringList {} << 2;
        QTest::newRow("unknown command") << QStringList { QStringLiteral("frobnicate") } << 2;
        QTest::newRow("help") << QStringList { QStringLiteral("--help") } << 0;
        QTest::newRow("check help")
            << QStringList { QStringLiteral("check"), QStringLiteral("--help") } << 0;
        QTest::newRow("new help") << QStringList { QStringLiteral("new"), QStringLiteral("--help") }
                                  << 0;
        QTest::newRow("demo help")
            << QStringList { QStringLiteral("demo"), QStringLiteral("--help") } << 0;
        QTest::newRow("check without file") << QStringList { QStringLiteral("check") } << 2;
        QTest::newRow("new without years")
            << QStringList { QStringLiteral("new"), QStringLiteral("x.db") } << 2;
        QTest::newRow("new with bad year") << QStringList { QStringLiteral("new"),
            QStringLiteral("x.db"), QStringLiteral("--start"), QStringLiteral("soon"),
            QStringLiteral("--end"), QStringLiteral("2000") }
                                           << 2;
        QTest::newRow("demo with two files") << QStringList { QStringLiteral("demo"),
            QStringLiteral("a.db"), QStringLiteral("b.db") }
                                             << 2;
        QTest::newRow("diff with one book")
            << QStringList { QStringLiteral("diff-workbook"), QStringLiteral("a.xlsx") } << 2;
        QTest::newRow("diff with a negative tolerance")
            << QStringList { QStringLiteral("diff-workbook"), QStringLiteral("a.xlsx"),
                   QStringLiteral("b.xlsx"), QStringLiteral("--tolerance"), QStringLiteral("-1") }
            << 2;
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        const Result result = run(args);
        QCOMPARE(result.exitCode, exitCode);
        if (exitCode == 2)
            QVERIFY2(result.err.contains(QStringLiteral("Usage: "))
                    || result.err.contains(QStringLiteral("help")),
                qPrintable(result.err));
        else
            QVERIFY(result.out.contains(QStringLiteral("Usage: ")));
    }

    void newThenCheck()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("basin.db"));
        Result made = run({ QStringLiteral("new"), path, QStringLiteral("--start"),
            QStringLiteral("1990"), QStringLiteral("--end"), QStringLiteral("2020"),
            QStringLiteral("--description"), QStringLiteral("Upper basin") });
        QCOMPARE(made.exitCode, 0);
        QVERIFY(QFile::exists(path));
        const Result checked = run({ QStringLiteral("check"), path });
        QCOMPARE(checked.exitCode, 0);
        QCOMPARE(checked.out.trimmed(), QStringLiteral("Connected"));

        // An existing file is never overwritten.
        const QByteArray before = [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }();
        made = run({ QStringLiteral("new"), path, QStringLiteral("--start"), QStringLiteral("2000"),
            QStringLiteral("--end"), QStringLiteral("2001") });
        QCOMPARE(made.exitCode, 1);
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }

    void newRefusesReversedRange()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("basin.db"));
        const Result made = run({ QStringLiteral("new"), path, QStringLiteral("--start"),
            QStringLiteral("2020"), QStringLiteral("--end"), QStringLiteral("1990") });
        QCOMPARE(made.exitCode, 1);
        QVERIFY(!QFile::exists(path));
        QVERIFY(!QFile::exists(path + QStringLiteral(".part")));
    }

    void checkRefusals_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty baseline")
            << QStringLiteral("DELETE FROM Baseline")
            << QStringLiteral("The selected database is not a properly structured TARN database.");
        QTest::newRow("missing table")
            << QStringLiteral("DROP TABLE WaterUserData")
            << QStringLiteral("The selected database is not a properly structured TARN database.");
        QTest::newRow("no baseline table")
            << QStringLiteral("PRAGMA foreign_keys = OFF; DROP TABLE Baseline")
            << QStringLiteral("no such table: Baseline");
    }
    void checkRefusals()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        TestProject project;
        QVERIFY(project.exec(sql).isOk());
        const Result checked = run({ QStringLiteral("check"), project.path() });
        QCOMPARE(checked.exitCode, 1);
        QVERIFY2(checked.err.contains(message), qPrintable(checked.err));
    }

    void checkRefusesTextFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("notes.db"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Just some notes, not a database.\n");
        file.close();
        const Result checked = run({ QStringLiteral("check"), path });
        QCOMPARE(checked.exitCode, 1);
        QVERIFY(!checked.err.trimmed().isEmpty());
        QVERIFY(!checked.out.contains(QStringLiteral("Connected")));
    }

    void demoIsAccepted()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("demo.db"));
        QCOMPARE(run({ QStringLiteral("demo"), path }).exitCode, 0);
        const Result checked = run({ QStringLiteral("check"), path });
        QCOMPARE(checked.exitCode, 0);
        QCOMPARE(checked.out.trimmed(), QStringLiteral("Connected"));
        // The baseline and every scenario come with current results.
        const Result validated
            = run({ QStringLiteral("validate"), path, QStringLiteral("--json") });
        QVERIFY2(validated.out.contains(QLatin1String("\"findings\"")), qPrintable(validated.err));
        QVERIFY2(
            !validated.out.contains(QLatin1String("results-current")), qPrintable(validated.out));
        QCOMPARE(run({ QStringLiteral("demo"), path }).exitCode, 1);
    }
};

QTEST_GUILESS_MAIN(TestCliProjects)
#include "tst_cli_projects.moc"
