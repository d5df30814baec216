#include "db/DemoProject.h"
#include "db/ProjectFile.h"
#include "support/BookReader.h"
#include "support/TestProject.h"
#include "support/XmlCheck.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

// Runs the built command-line tool as a user would.
class TestCli : public QObject {
    Q_OBJECT

private:
    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };

    static Result run(const QStringList& args)
    {
        QProcess process;
        process.start(QString::fromLocal8Bit(qgetenv("TARNHELM_CLI")), args);
        Result result;
        if (!process.waitForFinished(120000))
            return result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

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
        QCOMPARE(run({ QStringLiteral("demo"), path }).exitCode, 1);
    }
    void exportCommands()
    {
        QTemporaryDir dir;
        const QString demo = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(makeDemoProject(demo).isOk());
        QCOMPARE(run({ QStringLiteral("recalc"), demo }).exitCode, 0);

        const QString book = dir.filePath(QStringLiteral("demo.xlsx"));
        Result exported
            = run({ QStringLiteral("export-xlsx"), demo, book, QStringLiteral("--baseline"),
                QStringLiteral("--scenario"), QStringLiteral("1"), QStringLiteral("--start"),
                QStringLiteral("2000"), QStringLiteral("--end"), QStringLiteral("2001") });
        QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
        QVERIFY(exported.out.contains(QStringLiteral("Wrote ")));
        QVERIFY(QFile::exists(book));

        const QString xml = dir.filePath(QStringLiteral("attributes.xml"));
        exported = run({ QStringLiteral("export-attributes"), demo, xml });
        QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
        QFile file(xml);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("<SimObjsAttributes>"));
        QCOMPARE(xmlWellFormedProblem(xml), QString());

        const Result refused
            = run({ QStringLiteral("export-xlsx"), demo, dir.filePath(QStringLiteral("out.csv")) });
        QCOMPARE(refused.exitCode, 1);
        QVERIFY(refused.err.contains(QStringLiteral("Unsupported workbook type")));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("out.csv"))));

        QCOMPARE(run({ QStringLiteral("export-attributes"), demo, xml, QStringLiteral("--scenario"),
                         QStringLiteral("999") })
                     .exitCode,
            1);
        QCOMPARE(run({ QStringLiteral("export-xlsx"), demo }).exitCode, 2);
        QCOMPARE(run({ QStringLiteral("export-xlsx"), demo, book, QStringLiteral("--start"),
                         QStringLiteral("2000") })
                     .exitCode,
            2);
    }

    // A file made by another tool, whose free columns all carry other names, must give exactly
    // the results, workbooks and attribute file of the same basin made by our own script.
    void sameResultsWhateverTheColumnNames()
    {
        QTemporaryDir dir;
        QFile script(QStringLiteral(TARNHELM_SOURCE_DIR "/tests/schema/renamed-columns.sql"));
        QVERIFY(script.open(QIODevice::ReadOnly));
        const QString renamedSchema = QString::fromUtf8(script.readAll());
        QStringList books;
        QStringList attributeFiles;
        QList<QStringList> resultTables;
        for (const QString& schema : { QString(), renamedSchema }) {
            const QString stem = dir.filePath(
                schema.isEmpty() ? QStringLiteral("own") : QStringLiteral("renamed"));
            const QString project = stem + QStringLiteral(".db");
            QVERIFY(DemoProject::createDemo(project, schema).isOk());
            const Result recalc
                = run({ QStringLiteral("recalc"), project, QStringLiteral("--full") });
            QVERIFY2(recalc.exitCode == 0, qPrintable(recalc.err));
            for (const QString& extension : { QStringLiteral(".xlsx"), QStringLiteral(".xls") }) {
                books.append(stem + extension);
                const Result exported = run({ QStringLiteral("export-xlsx"), project, books.back(),
                    QStringLiteral("--start"), QStringLiteral("1990"), QStringLiteral("--end"),
                    QStringLiteral("1995") });
                QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));
            }
            attributeFiles.append(stem + QStringLiteral(".xml"));
            const Result attributes = run({ QStringLiteral("export-attributes"), project,
                attributeFiles.back(), QStringLiteral("--scenario"), QStringLiteral("1") });
            QVERIFY2(attributes.exitCode == 0, qPrintable(attributes.err));
            resultTables.append(resultRows(project));
        }
        QVERIFY(!resultTables.at(0).isEmpty());
        QCOMPARE(resultTables.at(1), resultTables.at(0));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(bookText(books.at(i + 2)), bookText(books.at(i)));
        QCOMPARE(attributeText(attributeFiles.at(1)), attributeText(attributeFiles.at(0)));
    }

private:
    // Every row of the eight result tables without its key, in a fixed order.
    static QStringList resultRows(const QString& path)
    {
        QStringList rows;
        TARN::okstat status;
        QSqlDatabase db = ProjectFile::openConnection(path, &status);
        for (const char* table : { "BaseYearlyAggDiv", "BaseMonthlyAggDiv", "BaseYearlyWaterUser",
                 "BaseMonthlyWaterUser", "ScenarioYearlyAggDiv", "ScenarioMonthlyAggDiv",
                 "ScenarioYearlyWaterUser", "ScenarioMonthlyWaterUser" }) {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("SELECT * FROM %1").arg(QLatin1String(table))))
                return { query.lastError().text() };
            QStringList tableRows;
            while (query.next()) {
                QStringList values { QLatin1String(table) };
                for (int column = 1; column < query.record().count(); ++column)
                    values.append(query.value(column).toString());
                tableRows.append(values.join(QLatin1Char('|')));
            }
            tableRows.sort();
            rows += tableRows;
        }
        ProjectFile::closeConnection(db);
        return rows;
    }

    static QStringList bookText(const QString& path)
    {
        QStringList names;
        QList<TARN::SheetCells> sheets;
        QString error;
        if (!readBook(path, names, sheets, &error))
            return { error };
        QStringList text = names;
        for (const TARN::SheetCells& cells : qAsConst(sheets)) {
            for (int row = 0; row < cells.rowCount(); ++row) {
                for (int column = 0; column < cells.columnCount(); ++column) {
                    const TARN::ReadCell cell = cells.at(row, column);
                    text.append(cell.type == TARN::ReadCell::Number
                            ? QString::number(cell.number, 'g', 17)
                            : cell.text);
                }
            }
        }
        return text;
    }

    // The attribute file without its header comment, which names the project file and the time.
    static QByteArray attributeText(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QByteArray text = file.readAll();
        const int start = text.indexOf("<!--");
        const int end = text.indexOf("-->", start);
        if (start >= 0 && end > start)
            text.remove(start, end + 3 - start);
        return text;
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
