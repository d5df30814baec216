#include "DataExporterFixture.h"

#include "export/DataExporter.h"
#include "workbook/DocProperties.h"
#include "workbook/WorkbookDiff.h"
#include "workbook/XlsReader.h"
#include "workbook/XlsxReader.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

using Workbook::ReadCell;
using Workbook::SheetCells;
using namespace DataExporterChecks;

// How an export runs: what it refuses before writing, what a failure leaves, missing months,
// the pace of its progress, its threads, and the comparison with the book it replaces.
class TestDataExporterRuns : public QObject, DataExporterFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // A baseline or scenario without results for the exported years would get no sheet: a new
    // book would lack it and an existing one would keep the last export's numbers under its
    // name. Refused, and nothing is written.
    void exportWithoutResultsIsRefused_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<int>("emptyId"); // whose results are removed; 0: none
        QTest::addColumn<int>("startYear");
        QTest::addColumn<QString>("name");
        QTest::newRow("scenario, new xlsx")
            << QStringLiteral("book.xlsx") << false << 2 << 2000 << QStringLiteral("Dry years");
        QTest::newRow("scenario, existing xlsx")
            << QStringLiteral("book.xlsx") << true << 2 << 2000 << QStringLiteral("Dry years");
        QTest::newRow("baseline, existing xls") << QStringLiteral("book.xls") << true << -1 << 2000
                                                << QStringLiteral("Baseline Monthly Data");
        QTest::newRow("baseline, new xls") << QStringLiteral("book.xls") << false << -1 << 2000
                                           << QStringLiteral("Baseline Monthly Data");
        QTest::newRow("years without results") << QStringLiteral("book.xlsx") << true << 0 << 2005
                                               << QStringLiteral("Baseline Monthly Data");
    }
    void exportWithoutResultsIsRefused()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, existing);
        QFETCH(int, emptyId);
        QFETCH(int, startYear);
        QFETCH(QString, name);
        const QString path = _project->dirPath() + QLatin1Char('/') + fileName;
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QByteArray before;
        if (existing) {
            QVERIFY(exporter.exportData(path, { -1, 2 }, 2000, 2001).isOk());
            before = fileHash(path);
        }
        QSqlQuery remove(TarnDbMgr::instance()->database());
        if (emptyId < 0)
            QVERIFY(remove.exec(QStringLiteral("DELETE FROM BaseMonthlyAggDiv")));
        else if (emptyId > 0)
            QVERIFY(remove.exec(
                QStringLiteral("DELETE FROM ScenarioMonthlyAggDiv WHERE ScenarioID = %1")
                    .arg(emptyId)));
        const TARN::okstat status = exporter.exportData(path, { -1, 2 }, startYear, startYear + 1);
        QCOMPARE(status.text(),
            QStringLiteral("There are no monthly results for \"%1\" from %2 to %3. Please "
                           "recalculate (tarnhelm-cli recalc, or Recalculate All Data in the "
                           "baseline editor) before attempting to export again.")
                .arg(name, QString::number(startYear), QString::number(startYear + 1)));
        if (existing)
            QCOMPARE(fileHash(path), before);
        else
            QVERIFY(!QFile::exists(path));
    }

    void csvIsRefused()
    {
        const QString path = _project->dirPath() + QStringLiteral("/book.csv");
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        const TARN::okstat status = exporter.exportData(path, { -1 }, 2000, 2001);
        QCOMPARE(status.text(), QStringLiteral("Unsupported workbook type"));
        QVERIFY(!QFile::exists(path));
    }

    void failureLeavesExistingWorkbook()
    {
        const QString path = _project->dirPath() + QStringLiteral("/book.xlsx");
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QVERIFY(exporter.exportData(path, { -1 }, 2000, 2001).isOk());
        const QByteArray before = fileHash(path);
        // A broken calculation can leave a duplicate month behind: more rows than months.
        QSqlQuery dup(TarnDbMgr::instance()->database());
        QVERIFY(dup.exec(QStringLiteral(
            "INSERT INTO ScenarioMonthlyWaterUser (BaselineID, ScenarioID, WaterUserID, "
            "Month, DiversionValue, DepletionValue) VALUES (1, 2, 2, '2001-03-01', 1, 1)")));
        const TARN::okstat status = exporter.exportData(path, { -1, 2 }, 2000, 2001);
        QCOMPARE(status.text(),
            QStringLiteral("Incorrect number of rows in the database. Please try fully "
                           "recalculating before attempting to export again."));
        QCOMPARE(fileHash(path), before);
        const QStringList leftovers
            = QDir(_project->dirPath()).entryList({ QStringLiteral("book*") }, QDir::Files);
        QCOMPARE(leftovers, QStringList { QStringLiteral("book.xlsx") });
    }

    // Cancel stops a running export at any point; the workbook on disk stays byte for byte,
    // and no temporary file is left beside it.
    void cancelLeavesExistingWorkbook_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("stage"); // the status at which Cancel is pressed
        QTest::newRow("xlsx, writing the sheets")
            << QStringLiteral("book.xlsx") << QStringLiteral("Exporting water user data");
        QTest::newRow("xlsx, saving")
            << QStringLiteral("book.xlsx") << QStringLiteral("Closing workbook");
        QTest::newRow("xls, saving")
            << QStringLiteral("book.xls") << QStringLiteral("Closing workbook");
    }
    void cancelLeavesExistingWorkbook()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, stage);
        const QString path = _project->dirPath() + QLatin1Char('/') + fileName;
        {
            DataExporter first(nullptr, TarnDbMgr::instance()->database());
            QVERIFY(first.exportData(path, { -1 }, 2000, 2001).isOk());
        }
        const QByteArray before = fileHash(path);
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        // A clock that moves on with every status lets each of them through.
        qint64 now = 0;
        exporter.setStatusClock([&now] { return now += DataExporter::StatusInterval; });
        connect(&exporter, &DataExporter::exportStatus, this, [&](const CalcStatusInfo& info) {
            if (info.status == stage)
                exporter.cancel();
        });
        const TARN::okstat status = exporter.exportData(path, { -1, 2 }, 2000, 2001);
        QVERIFY(exporter.isCancelled());
        QCOMPARE(status.text(), DataExporter::cancelledText());
        QCOMPARE(fileHash(path), before);
        const QStringList left
            = QDir(_project->dirPath())
                  .entryList({ QFileInfo(fileName).completeBaseName() + QStringLiteral("*") },
                      QDir::Files);
        QCOMPARE(left, QStringList { fileName });
    }

    void missingMonthsStayMissing()
    {
        // A series shorter than the span must not reuse the previous series' values.
        QSqlQuery trim(TarnDbMgr::instance()->database());
        QVERIFY(trim.exec(QStringLiteral(
            "DELETE FROM BaseMonthlyWaterUser WHERE WaterUserID = 2 AND Month >= '2001-01-01'")));
        const QString path = _project->dirPath() + QStringLiteral("/book.xlsx");
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QVERIFY(exporter.exportData(path, { -1 }, 2000, 2001).isOk());
        QStringList names;
        QList<SheetCells> sheets;
        QVERIFY(readBook(path, names, sheets));
        QCOMPARE(sheets.at(0).at(13, 4).text, QStringLiteral("NaN"));
        QCOMPARE(sheets.at(0).at(12, 4).number, 200 + 11 + 0.1);
    }

    // Statuses go at most every 50 ms by the exporter's clock, except the one that ends a
    // stage (a sheet, the save), which always goes; the save's bars end full.
    void statusIsPaced_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("xlsx") << QStringLiteral("paced.xlsx");
        QTest::newRow("xls") << QStringLiteral("paced.xls");
    }
    void statusIsPaced()
    {
        QFETCH(QString, fileName);
        const QString path = _project->dirPath() + QLatin1Char('/') + fileName;
        auto describe = [](const QSignalSpy& spy) {
            QStringList seen;
            for (const QList<QVariant>& args : spy) {
                const auto info = args.at(0).value<CalcStatusInfo>();
                seen << QStringLiteral("%1|%2|%3/%4|%5/%6")
                            .arg(info.status, info.target)
                            .arg(info.aggDivDone)
                            .arg(info.aggDivCount)
                            .arg(info.waterUserDone)
                            .arg(info.waterUserCount);
            }
            return seen;
        };

        // A clock that stands still lets through the first status and the ends of the stages.
        DataExporter still(nullptr, TarnDbMgr::instance()->database());
        still.setStatusClock([] { return qint64(1000); });
        QSignalSpy stillSpy(&still, &DataExporter::exportStatus);
        QVERIFY(still.exportData(path, { -1, 2, 1 }, 2000, 2001).isOk());
        QStringList expected { QStringLiteral("Preparing data||0/100|0/100") };
        for (const QString& sheet : { QStringLiteral("Baseline Monthly Data"),
                 QStringLiteral("Dry years"), QStringLiteral("Wet years") })
            expected << QStringLiteral("|%1|2/2|0/3").arg(sheet) << QStringLiteral("||0/2|0/3");
        expected << QStringLiteral("Closing workbook||0/3|0/1000")
                 << QStringLiteral("Closing workbook||3/3|1000/1000");
        QCOMPARE(describe(stillSpy), expected);

        // A clock that runs lets every status through, the save's too, in order.
        qint64 now = 0;
        DataExporter running(nullptr, TarnDbMgr::instance()->database());
        running.setStatusClock([&now] { return now += DataExporter::StatusInterval; });
        QSignalSpy runningSpy(&running, &DataExporter::exportStatus);
        QVERIFY(running.exportData(path, { -1, 2, 1 }, 2000, 2001).isOk());
        const QStringList all = describe(runningSpy);
        QVERIFY(all.size() > expected.size() + 3 * 6);
        QVERIFY(all.contains(QStringLiteral("Exporting water user data|Dry years|0/2|1/3")));
        QCOMPARE(all.last(), expected.last());
        int permille = -1;
        bool midway = false;
        for (const QList<QVariant>& args : runningSpy) {
            const auto info = args.at(0).value<CalcStatusInfo>();
            if (info.status != QLatin1String("Closing workbook"))
                continue;
            QVERIFY(info.waterUserDone >= permille);
            permille = info.waterUserDone;
            midway = midway || (permille > 0 && permille < 1000);
        }
        QCOMPARE(permille, 1000);
        if (!fileName.endsWith(QLatin1String(".xls")))
            QVERIFY(midway); // an .xlsx save says how far it has come
    }

    // Sheets are compressed on as many threads as there are cores, while the export reads the
    // next sheet: the book is the same as one written on a single thread (at the same moment:
    // the fingerprints record the time of the export).
    void threadCountLeavesBookAlone()
    {
        const QDateTime moment = QDateTime::currentDateTimeUtc();
        QByteArray books[2];
        for (int pass = 0; pass < 2; ++pass) {
            const QString path = _project->dirPath() + QStringLiteral("/threads%1.xlsx").arg(pass);
            DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
            exporter.setCompressionThreads(pass == 0 ? 1 : 4);
            exporter.setExportTime(moment);
            QVERIFY(exporter.exportData(path, { -1, 2, 1 }, 1990, 2020).isOk());
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            books[pass] = WorkbookTestTools::withoutEntryTimes(file.readAll());
            QVERIFY(!books[pass].isEmpty());
        }
        QVERIFY(books[0] == books[1]);
    }

    void editedBookIsComparedByItsCells_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("xlsx") << QStringLiteral("book.xlsx");
        QTest::newRow("xls") << QStringLiteral("book.xls");
    }
    // Another program changes a value of an exported sheet and keeps the custom properties: the
    // recorded content hash still describes the export, so it must not be trusted. Comparing the
    // book reads its cells, and exporting into it says what it overwrites.
    void editedBookIsComparedByItsCells()
    {
        QFETCH(QString, fileName);
        const QString path = _project->dirPath() + QLatin1Char('/') + fileName;
        const QString fresh
            = _project->dirPath() + QStringLiteral("/fresh.") + QFileInfo(fileName).suffix();
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QSignalSpy said(&exporter, &DataExporter::diagMessage);
        QVERIFY(exporter.exportData(path, { -1 }, 2000, 2001).isOk());
        QVERIFY(exporter.exportData(fresh, { -1 }, 2000, 2001).isOk());
        Workbook::WorkbookDiff diff;
        Workbook::WorkbookComparison comparison;
        QString error;
        QVERIFY2(diff.compareFiles(path, fresh, &comparison, &error), qPrintable(error));
        QVERIFY(comparison.equal());
        QVERIFY(comparison.sheets.at(0).byFingerprint);

        // S1's salinity of January 2000 (cell B2) goes up by 12.5, in the sheet alone.
        bool ok = false;
        QString errors;
        WorkbookTestTools::runPython(QStringLiteral(R"PY(
import sys, re, struct, zipfile, shutil
path = sys.argv[1]
if path.endswith(".xlsx"):
    src = zipfile.ZipFile(path)
    with zipfile.ZipFile(path + ".tmp", "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename.startswith("xl/worksheets/sheet"):
                data, n = re.subn(rb'(<c r="B2"[^>]*><v>)([^<]*)(</v>)',
                    lambda m: m.group(1) + repr(float(m.group(2)) + 12.5).encode() + m.group(3), data)
                assert n == 1
            dst.writestr(info, data)
    src.close()
    shutil.move(path + ".tmp", path)
else:
    import olefile
    ole = olefile.OleFileIO(path, write_mode=True)
    data = bytearray(ole.openstream("Workbook").read())
    pos = 0
    while pos + 4 <= len(data):
        kind, length = struct.unpack_from("<HH", data, pos)
        if kind == 0x0203 and struct.unpack_from("<HH", data, pos + 4) == (1, 1):
            value = struct.unpack_from("<d", data, pos + 10)[0]
            struct.pack_into("<d", data, pos + 10, value + 12.5)
            break
        pos += 4 + length
    else:
        sys.exit("no number in B2")
    ole.write_stream("Workbook", bytes(data))
    ole.close()
)PY"),
            { path }, &ok, &errors);
        QVERIFY2(ok, qPrintable(errors));

        QVERIFY2(diff.compareFiles(path, fresh, &comparison, &error), qPrintable(error));
        QVERIFY(!comparison.equal());
        QVERIFY(!comparison.sheets.at(0).byFingerprint);
        QVERIFY(comparison.toJson().contains("\"byFingerprint\": false"));
        const Workbook::ColumnComparison* change = comparison.sheets.at(0).largestChange();
        QVERIFY(change);
        QCOMPARE(change->maxAbs, 12.5);

        said.clear();
        QVERIFY(exporter.exportData(path, { -1 }, 2000, 2001).isOk());
        QCOMPARE(said.count(), 1);
        QCOMPARE(said.at(0).at(0).toString(),
            QStringLiteral("Compared with the previous workbook: 'Baseline Monthly Data': 1 of 5 "
                           "columns changed, largest change 12.5 in S1.Return Flow Salinity "
                           "Pickup Mass"));
        // The export wrote its own values over the edit, and its fingerprint is trusted again.
        QVERIFY2(diff.compareFiles(path, fresh, &comparison, &error), qPrintable(error));
        QVERIFY(comparison.equal());
        QVERIFY(comparison.sheets.at(0).byFingerprint);
    }

    // The columns a sheet needs are counted before anything is read or written: an .xls sheet
    // holds 256, and the message names what the export would need.
    void xlsColumnLimitCountsTheNeed()
    {
        // 150 more water users of S1 with results: the sheet's dates, S1, then two columns for
        // each of W1, W2 and these.
        QSqlQuery insert(TarnDbMgr::instance()->database());
        QVERIFY(insert.exec(QStringLiteral(
            "WITH RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 249) "
            "INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName) "
            "SELECT i, 1, 'u' || i, 'U' || i FROM n")));
        QVERIFY(insert.exec(QStringLiteral(
            "INSERT INTO BaseMonthlyWaterUser (BaselineID, WaterUserID, Month, DiversionValue, "
            "DepletionValue) SELECT 1, WaterUserID, '2000-01-01', 1, 1 FROM WaterUser WHERE "
            "WaterUserID >= 100")));
        const QString path = _project->dirPath() + QStringLiteral("/wide.xls");
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QStringList statuses;
        connect(&exporter, &DataExporter::exportStatus,
            [&statuses](const CalcStatusInfo& info) { statuses << info.status; });
        const TARN::okstat status = exporter.exportData(path, { -1 }, 2000, 2001);
        QCOMPARE(status.text(),
            QStringLiteral("The export needs 306 columns in a sheet, but a .xls workbook holds at "
                           "most 256 columns. Please export to an .xlsx workbook instead."));
        QVERIFY2(!statuses.contains(QStringLiteral("Exporting agg diversion data")),
            qPrintable(statuses.join(QLatin1Char('\n'))));
        QVERIFY(!QFile::exists(path));
        // The same sheet fits an .xlsx workbook.
        QVERIFY(
            exporter
                .exportData(_project->dirPath() + QStringLiteral("/wide.xlsx"), { -1 }, 2000, 2001)
                .isOk());
    }

    void unknownScenarioIsNamed()
    {
        const QString path = _project->dirPath() + QStringLiteral("/book.xlsx");
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QCOMPARE(exporter.exportData(path, { -1, 99 }, 2000, 2001).text(),
            QStringLiteral("There is no scenario with ID 99."));
        QVERIFY(!QFile::exists(path));
    }

    void xlsLimitIsRefusedBeforeWriting()
    {
        const QString path = _project->dirPath() + QStringLiteral("/long.xls");
        // 5,500 years of months exceed the 65,536 rows of the format.
        QSqlQuery range(TarnDbMgr::instance()->database());
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        const TARN::okstat status = exporter.exportData(path, { -1 }, 1000, 6500);
        QVERIFY(status.failed());
        QVERIFY2(status.text().contains(QStringLiteral("65,536"))
                || status.text().contains(QStringLiteral("65536")),
            qPrintable(status.text()));
        QVERIFY2(status.text().contains(QStringLiteral(".xlsx")), qPrintable(status.text()));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestDataExporterRuns)
#include "tst_dataexporterruns.moc"
