#include "DataExporterFixture.h"

#include "export/DataExporter.h"
#include "workbook/DocProperties.h"
#include "workbook/WorkbookDiff.h"
#include "workbook/XlsReader.h"
#include "workbook/XlsxReader.h"

#include <QFileInfo>
#include <QSignalSpy>

using Workbook::ReadCell;
using Workbook::SheetCells;
using namespace DataExporterChecks;

// Exports monthly results stored in a small project and reads the workbook back with the
// layer's own readers and with Python's openpyxl/xlrd: the sheets, their fingerprints, the
// parts of an existing book that are not the export's.
class TestDataExporter : public QObject, DataExporterFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void threeSheetsInIdOrder_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("outputType");
        QTest::newRow("xlsx requested") << QStringLiteral("book.xlsx") << 1;
        QTest::newRow("XLSX scheduled") << QStringLiteral("BOOK.XLSX") << 2;
        QTest::newRow("xlsm") << QStringLiteral("book.xlsm") << 1;
        QTest::newRow("xls") << QStringLiteral("book.xls") << 2;
    }
    void threeSheetsInIdOrder()
    {
        QFETCH(QString, fileName);
        QFETCH(int, outputType);
        QSqlQuery type(TarnDbMgr::instance()->database());
        QVERIFY(type.exec(QStringLiteral("UPDATE Baseline SET OutputTypeID = %1").arg(outputType)));

        const QString path = _project->dirPath() + QLatin1Char('/') + fileName;
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QSignalSpy finished(&exporter, &DataExporter::exportFinished);
        QSignalSpy progress(&exporter, &DataExporter::exportStatus);
        const TARN::okstat status = exporter.exportData(path, { -1, 2, 1 }, 2000, 2001);
        QVERIFY2(status.isOk(), qPrintable(status.text()));
        QCOMPARE(finished.count(), 1);
        QVERIFY(progress.count() > 5);

        QStringList names;
        QList<SheetCells> sheets;
        QVERIFY(readBook(path, names, sheets));
        QCOMPARE(names,
            (QStringList { QStringLiteral("Baseline Monthly Data"), QStringLiteral("Dry years"),
                QStringLiteral("Wet years") }));
        const QString div = outputType == 1 ? QStringLiteral("Diversion Requested")
                                            : QStringLiteral("Diversion Schedule");
        const QString dep = outputType == 1 ? QStringLiteral("Depletion Requested")
                                            : QStringLiteral("Depletion Schedule");
        // S2 has no salinity rows: no column for it nor for its water user; W3 has no rows; the
        // scenario-only water user is never exported.
        const QStringList expectedHeaders { QStringLiteral("S1.Return Flow Salinity Pickup Mass"),
            QStringLiteral("S1:W1.") + div, QStringLiteral("S1:W1.") + dep,
            QStringLiteral("S1:W2.") + div, QStringLiteral("S1:W2.") + dep };
        for (int s = 0; s < sheets.size(); ++s) {
            const SheetCells& cells = sheets.at(s);
            QCOMPARE(headers(cells), expectedHeaders);
            QCOMPARE(cells.rowCount(), 25);
            QCOMPARE(cells.at(1, 0).number, 36526.0); // 2000-01-01
            QCOMPARE(cells.at(24, 0).number, 37226.0); // 2001-12-01
            QCOMPARE(cells.at(1, 0).numberFormat, QStringLiteral("m/yyyy"));
            QCOMPARE(cells.at(0, 1).alignment, QStringLiteral("center"));
            const double offset = s == 0 ? 0 : (s == 1 ? 2000 : 1000);
            QCOMPARE(cells.at(6, 1).type, ReadCell::Text);
            QCOMPARE(cells.at(6, 1).text, QStringLiteral("NaN"));
            QCOMPARE(cells.at(8, 1).number, offset + 7 / 3.0); // exact double
            QCOMPARE(
                cells.at(24, 4).number, offset + 200 + 23 + 0.1); // W2 diversion, December 2001
            QCOMPARE(cells.at(24, 5).number, offset + 20 + 23 * 0.5);
        }

        // The same values through an independent reader.
        bool ok = false;
        QString errors;
        const bool xls = fileName.endsWith(QLatin1String(".xls"));
        const QByteArray dump = WorkbookTestTools::runPython(
            QString::fromUtf8(
                xls ? WorkbookTestTools::DumpXlsScript : WorkbookTestTools::DumpXlsxScript),
            { path }, &ok, &errors);
        QVERIFY2(ok, qPrintable(errors));
        const QJsonObject json = QJsonDocument::fromJson(dump).object();
        QCOMPARE(json.value(QStringLiteral("sheets")).toArray().size(), 3);
        QCOMPARE(json.value(QStringLiteral("sheets")).toArray().at(1).toString(),
            QStringLiteral("Dry years"));
        bool sawValue = false;
        const QJsonArray cells = json.value(QStringLiteral("cells"))
                                     .toObject()
                                     .value(QStringLiteral("Wet years"))
                                     .toArray();
        for (const QJsonValue& cell : cells) {
            const QJsonArray c = cell.toArray();
            if (c.at(0).toInt() == 8 && c.at(1).toInt() == 1) {
                QCOMPARE(WorkbookTestTools::hexToDouble(c.at(3).toString()), 1000 + 7 / 3.0);
                sawValue = true;
            }
        }
        QVERIFY(sawValue);
    }

    void fingerprintsReadBackIndependently_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("xlsx") << QStringLiteral("book.xlsx");
        QTest::newRow("xlsm") << QStringLiteral("book.xlsm");
        QTest::newRow("xls") << QStringLiteral("book.xls");
    }
    // Each sheet's fingerprint, read without the workbook layer; its content hash is worked
    // out again from the cells an independent reader sees.
    void fingerprintsReadBackIndependently()
    {
        QFETCH(QString, fileName);
        const QString baseline = QStringLiteral("Baseline Monthly Data");
        const QString wet = QStringLiteral("Wet years");
        const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-1);
        const QString path = _project->dirPath() + QLatin1Char('/') + fileName;
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QVERIFY(exporter.exportData(path, { -1, 1 }, 2000, 2001).isOk());
        const QDateTime end = QDateTime::currentDateTimeUtc().addSecs(1);

        const QJsonObject read = fingerprints(path);
        QVERIFY(read.value(QStringLiteral("declared")).toBool());
        // Per sheet: hash, part, project, years, time; the scenario's hash besides.
        QCOMPARE(read.value(QStringLiteral("count")).toInt(), 13);
        const QJsonObject hashes = read.value(QStringLiteral("hashes")).toObject();
        for (const QString& sheet : { baseline, wet }) {
            QCOMPARE(fingerprintOf(read, QStringLiteral("Sheet Hash"), sheet),
                (QJsonArray { QStringLiteral("lpwstr"), hashes.value(sheet) }));
            QCOMPARE(fingerprintOf(read, QStringLiteral("Project"), sheet),
                (QJsonArray { QStringLiteral("lpwstr"), QStringLiteral("project.db") }));
            QCOMPARE(fingerprintOf(read, QStringLiteral("First Year"), sheet),
                (QJsonArray { QStringLiteral("i4"), 2000 }));
            QCOMPARE(fingerprintOf(read, QStringLiteral("Last Year"), sheet),
                (QJsonArray { QStringLiteral("i4"), 2001 }));
            const QJsonArray time = fingerprintOf(read, QStringLiteral("Export Time"), sheet);
            QCOMPARE(time.at(0).toString(), QStringLiteral("filetime"));
            const QDateTime when = QDateTime::fromString(time.at(1).toString(), Qt::ISODate);
            QVERIFY2(when >= start && when <= end, qPrintable(time.at(1).toString()));
            const QJsonArray scenario = fingerprintOf(read, QStringLiteral("Scenario Hash"), sheet);
            QCOMPARE(scenario.isEmpty(), sheet == baseline);
            if (sheet == wet)
                QCOMPARE(scenario.at(1).toString().size(), 64);
        }

        // Unchanged, exported again: the same fingerprints, the export time aside.
        const QString again = _project->dirPath() + QStringLiteral("/again-") + fileName;
        QVERIFY(exporter.exportData(again, { -1, 1 }, 2000, 2001).isOk());
        const QJsonObject second = fingerprints(again);
        const QJsonObject first = read.value(QStringLiteral("properties")).toObject();
        for (auto it = first.begin(); it != first.end(); ++it)
            if (!it.key().contains(QStringLiteral("Export Time")))
                QVERIFY2(second.value(QStringLiteral("properties")).toObject().value(it.key())
                        == it.value(),
                    qPrintable(it.key()));

        // A new yearly change in the scenario's definition: its scenario hash changes; the
        // results (not yet recomputed) and so the sheet hashes don't.
        QVERIFY(_project
                    ->exec(QStringLiteral(
                        "INSERT INTO DemandChg VALUES (NULL, 1, 'more', '', '2024-01-01', 1, 1, "
                        "0); INSERT INTO DepletionChg VALUES (NULL, last_insert_rowid(), 2001, 1, "
                        "5.0)"))
                    .isOk());
        const QString changed = _project->dirPath() + QStringLiteral("/changed-") + fileName;
        QVERIFY(exporter.exportData(changed, { -1, 1 }, 2000, 2001).isOk());
        const QJsonObject third = fingerprints(changed);
        QVERIFY(fingerprintOf(third, QStringLiteral("Scenario Hash"), wet)
            != fingerprintOf(read, QStringLiteral("Scenario Hash"), wet));
        QCOMPARE(fingerprintOf(third, QStringLiteral("Sheet Hash"), wet),
            fingerprintOf(read, QStringLiteral("Sheet Hash"), wet));
        QCOMPARE(fingerprintOf(third, QStringLiteral("Sheet Hash"), baseline),
            fingerprintOf(read, QStringLiteral("Sheet Hash"), baseline));
    }

    void existingBookKeepsOtherSheetsAndProperties_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("xlsx") << QStringLiteral("foreign.xlsx");
        QTest::newRow("xls") << QStringLiteral("foreign.xls");
    }
    // An existing book of another program, exported into three times: the baseline, then a
    // scenario, then the scenario again after one value changed. Each export leaves the sheets
    // it doesn't write as they were, byte for byte, with their fingerprints, keeps the other
    // program's property, and says what changed against the book it replaced.
    void existingBookKeepsOtherSheetsAndProperties()
    {
        QFETCH(QString, fileName);
        const bool xls = fileName.endsWith(QLatin1String(".xls"));
        const QString path = _project->dirPath() + QLatin1Char('/') + fileName;
        QVERIFY(makeForeignBook(path));
        // Not in code page 1252: the .xls property set moves to UTF-16 for this name.
        const QString wet = QString::fromUtf8("Wet \xCE\xA9 years");
        QVERIFY(_project
                    ->exec(QStringLiteral("UPDATE Scenario SET ScenarioName = '%1' WHERE "
                                          "ScenarioID = 1")
                               .arg(wet))
                    .isOk());
        const QString baseline = QStringLiteral("Baseline Monthly Data");
        const QJsonArray reviewer { xls ? QStringLiteral("lpstr") : QStringLiteral("lpwstr"),
            QStringLiteral("Pat") };
        // What must stay as it is: parts of the package, or the cells of the kept sheets.
        auto kept = [&]() {
            if (!xls)
                return ExportChecks::partHashes(path);
            const QJsonObject dump
                = ExportChecks::pythonDump(WorkbookTestTools::DumpXlsScript, path);
            QJsonObject cells = dump.value(QStringLiteral("cells")).toObject();
            cells.remove(wet);
            return cells;
        };
        const QJsonObject foreignParts = kept();

        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        QSignalSpy said(&exporter, &DataExporter::diagMessage);
        QVERIFY(exporter.exportData(path, { -1 }, 2000, 2001).isOk());
        QCOMPARE(said.count(), 1);
        QCOMPARE(said.takeFirst().at(0).toString(),
            QStringLiteral("Compared with the previous workbook: '%1': new sheet").arg(baseline));
        const QJsonObject afterBaseline = fingerprints(path);
        QCOMPARE(afterBaseline.value(QStringLiteral("properties"))
                     .toObject()
                     .value(QStringLiteral("Reviewer"))
                     .toArray(),
            reviewer);
        if (xls)
            QCOMPARE(
                kept().value(QStringLiteral("Notes")), foreignParts.value(QStringLiteral("Notes")));

        QVERIFY(exporter.exportData(path, { 1 }, 2000, 2001).isOk());
        QCOMPARE(said.takeFirst().at(0).toString(),
            QStringLiteral("Compared with the previous workbook: '%1': new sheet").arg(wet));
        const QJsonObject afterScenario = fingerprints(path);
        const QJsonObject partsBefore = kept();

        // One value of the scenario changes by 12.5.
        QSqlQuery change(TarnDbMgr::instance()->database());
        QVERIFY(change.exec(QStringLiteral(
            "UPDATE ScenarioMonthlyWaterUser SET DiversionValue = DiversionValue + 12.5 WHERE "
            "ScenarioID = 1 AND WaterUserID = 1 AND Month = '2000-03-01'")));
        QVERIFY(exporter.exportData(path, { 1 }, 2000, 2001).isOk());
        QCOMPARE(said.takeFirst().at(0).toString(),
            QStringLiteral("Compared with the previous workbook: '%1': 1 of 5 columns changed, "
                           "largest change 12.5 in S1:W1.Diversion Requested")
                .arg(wet));
        QVERIFY(said.isEmpty());
        const QJsonObject afterChange = fingerprints(path);
        const QJsonObject properties = afterChange.value(QStringLiteral("properties")).toObject();

        QCOMPARE(properties.value(QStringLiteral("Reviewer")).toArray(), reviewer);
        QCOMPARE(afterChange.value(QStringLiteral("count")).toInt(), 1 + 6 + 7);
        for (const QString& what : { QStringLiteral("Sheet Hash"), QStringLiteral("Project"),
                 QStringLiteral("First Year"), QStringLiteral("Export Time") })
            QCOMPARE(fingerprintOf(afterChange, what, baseline),
                fingerprintOf(afterBaseline, what, baseline));
        QCOMPARE(fingerprintOf(afterChange, QStringLiteral("Sheet Hash"), wet).at(1),
            afterChange.value(QStringLiteral("hashes")).toObject().value(wet));
        QVERIFY(fingerprintOf(afterChange, QStringLiteral("Sheet Hash"), wet)
            != fingerprintOf(afterScenario, QStringLiteral("Sheet Hash"), wet));

        const QJsonObject partsAfter = kept();
        if (xls) {
            QCOMPARE(partsAfter, partsBefore); // "Notes" and the baseline, cell for cell
            QCOMPARE(partsAfter.value(QStringLiteral("Notes")),
                foreignParts.value(QStringLiteral("Notes")));
            return;
        }
        // Every part but the book's own lists, the properties and the replaced sheet is the
        // same, byte for byte.
        const QStringList mayChange { QStringLiteral("[Content_Types].xml"),
            QStringLiteral("xl/workbook.xml"), QStringLiteral("xl/_rels/workbook.xml.rels"),
            QStringLiteral("docProps/custom.xml"), QStringLiteral("docProps/app.xml") };
        QStringList gone;
        for (auto it = partsBefore.begin(); it != partsBefore.end(); ++it) {
            if (!partsAfter.contains(it.key()))
                gone << it.key();
            else if (!mayChange.contains(it.key()))
                QVERIFY2(partsAfter.value(it.key()) == it.value(), qPrintable(it.key()));
        }
        QCOMPARE(gone.size(), 1);
        QCOMPARE(partsAfter.size(), partsBefore.size());
        const QString notesPart = QStringLiteral("xl/worksheets/sheet1.xml");
        QCOMPARE(partsAfter.value(notesPart), foreignParts.value(notesPart));
        QVERIFY(afterChange.value(QStringLiteral("declared")).toBool());
    }

    // Names with quotes, ampersands, angle brackets, tabs and letters beyond ASCII reach the
    // sheet names and column headers as they are, in every workbook format.
    void awkwardNamesSurvive_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("xlsx") << QStringLiteral("names.xlsx");
        QTest::newRow("xlsm") << QStringLiteral("names.xlsm");
        QTest::newRow("xls") << QStringLiteral("names.xls");
    }
    void awkwardNamesSurvive()
    {
        QFETCH(QString, fileName);
        const QString site = QStringLiteral("S \"1\" & <Co>\tÜß");
        const QString user = QStringLiteral("Wasser 'Müller' & <b>\tÆ中");
        // "%3" as well: a sheet name passes through formatted texts on its way into the book.
        const QString scenario = QStringLiteral("Dry & \"hot\" <years> ñ %3%1");
        QSqlQuery rename(TarnDbMgr::instance()->database());
        rename.prepare(QStringLiteral("UPDATE AggDiv SET RiffleName = ? WHERE AggDivID = 1"));
        rename.addBindValue(site);
        QVERIFY(rename.exec());
        rename.prepare(QStringLiteral("UPDATE WaterUser SET RiffleName = ? WHERE WaterUserID = 1"));
        rename.addBindValue(user);
        QVERIFY(rename.exec());
        rename.prepare(QStringLiteral("UPDATE Scenario SET ScenarioName = ? WHERE ScenarioID = 2"));
        rename.addBindValue(scenario);
        QVERIFY(rename.exec());

        const QString path = _project->dirPath() + QLatin1Char('/') + fileName;
        DataExporter exporter(nullptr, TarnDbMgr::instance()->database());
        const TARN::okstat status = exporter.exportData(path, { -1, 2 }, 2000, 2000);
        QVERIFY2(status.isOk(), qPrintable(status.text()));

        const bool xls = fileName.endsWith(QLatin1String(".xls"));
        QStringList names;
        QList<SheetCells> sheets;
        QVERIFY(readBook(path, names, sheets));
        QCOMPARE(names, (QStringList { QStringLiteral("Baseline Monthly Data"), scenario }));
        const QStringList expected = headers(sheets.at(1));
        QCOMPARE(expected.at(0), site + QStringLiteral(".Return Flow Salinity Pickup Mass"));
        QCOMPARE(expected.at(1),
            site + QLatin1Char(':') + user + QStringLiteral(".Diversion Requested"));

        // An independent reader sees the same texts.
        bool ok = false;
        QString errors;
        const QByteArray dump = WorkbookTestTools::runPython(
            QString::fromUtf8(
                xls ? WorkbookTestTools::DumpXlsScript : WorkbookTestTools::DumpXlsxScript),
            { path }, &ok, &errors);
        QVERIFY2(ok, qPrintable(errors));
        const QJsonObject json = QJsonDocument::fromJson(dump).object();
        QCOMPARE(json.value(QStringLiteral("sheets")).toArray().at(1).toString(), scenario);
        QStringList texts;
        for (const QJsonValue& cell :
            json.value(QStringLiteral("cells")).toObject().value(scenario).toArray()) {
            const QJsonArray c = cell.toArray();
            if (c.at(0).toInt() == 0 && c.at(1).toInt() > 0)
                texts << c.at(3).toString();
        }
        QVERIFY2(texts.contains(expected.at(1)), qPrintable(texts.join(QLatin1Char('|'))));
    }
};

QTEST_GUILESS_MAIN(TestDataExporter)
#include "tst_dataexporter.moc"
