#include "WorkbookTestTools.h"
#include "support/BookReader.h"
#include "support/TestProject.h"

#include "db/ModelOps.h"
#include "db/Records.h"
#include "db/TarnDbMgr.h"
#include "export/CompoundFile.h"
#include "export/DataExporter.h"
#include "export/DocProperties.h"
#include "export/SheetCells.h"
#include "export/WorkbookDiff.h"
#include "export/XlsReader.h"
#include "export/XlsxReader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

using TARN::ReadCell;
using TARN::SheetCells;

namespace {

QJsonObject python(const char* script, const QString& path)
{
    bool ok = false;
    QString errors;
    const QByteArray out
        = WorkbookTestTools::runPython(QString::fromUtf8(script), { path }, &ok, &errors);
    if (!ok)
        qWarning().noquote() << errors;
    return ok ? QJsonDocument::fromJson(out).object() : QJsonObject();
}

// The fingerprints as the independent readers see them.
QJsonObject fingerprints(const QString& path)
{
    return python(WorkbookTestTools::FingerprintScript, path);
}

QJsonArray fingerprintOf(const QJsonObject& read, const QString& what, const QString& sheet)
{
    return read.value(QStringLiteral("properties"))
        .toObject()
        .value(QStringLiteral("Tarnhelm %1: %2").arg(what, sheet))
        .toArray();
}

// A DocumentSummaryInformation stream as Excel writes one: both property sets in code page
// 1252, the user-defined one holding the text property "Reviewer" = "Pat" (VT_LPSTR).
QByteArray excelSummaryStream()
{
    auto le = [](QByteArray& d, quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            d.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    QByteArray first;
    le(first, 24, 4);
    le(first, 1, 4);
    le(first, 1, 4);
    le(first, 16, 4);
    le(first, 2, 2);
    le(first, 0, 2);
    le(first, 1252, 2);
    le(first, 0, 2);
    QByteArray dictionary;
    le(dictionary, 1, 4);
    le(dictionary, 2, 4);
    le(dictionary, 9, 4);
    dictionary += QByteArray("Reviewer", 9);
    while (dictionary.size() % 4)
        dictionary.append('\0');
    QByteArray codePage;
    le(codePage, 2, 2);
    le(codePage, 0, 2);
    le(codePage, 1252, 2);
    le(codePage, 0, 2);
    QByteArray text;
    le(text, 0x1E, 2);
    le(text, 0, 2);
    le(text, 4, 4);
    text += QByteArray("Pat", 4);
    QByteArray second;
    const quint32 header = 8 + 3 * 8;
    le(second, header + dictionary.size() + codePage.size() + text.size(), 4);
    le(second, 3, 4);
    le(second, 0, 4);
    le(second, header, 4);
    le(second, 1, 4);
    le(second, header + dictionary.size(), 4);
    le(second, 2, 4);
    le(second, header + dictionary.size() + codePage.size(), 4);
    second += dictionary + codePage + text;
    QByteArray stream;
    le(stream, 0xFFFE, 2);
    le(stream, 0, 2);
    le(stream, 0x00020006, 4);
    stream += QByteArray(16, '\0');
    le(stream, 2, 4);
    stream += QByteArray::fromHex("02d5cdd59c2e1b10939708002b2cf9ae");
    le(stream, 68, 4);
    stream += QByteArray::fromHex("05d5cdd59c2e1b10939708002b2cf9ae");
    le(stream, 68 + first.size(), 4);
    return stream + first + second;
}

// A book of another program: a sheet "Notes" and the custom property "Reviewer".
bool makeForeignBook(const QString& path)
{
    bool ok = false;
    QString errors;
    if (path.endsWith(QLatin1String(".xls"))) {
        WorkbookTestTools::runPython(
            QString::fromUtf8(WorkbookTestTools::ForeignXlsScript), { path }, &ok, &errors);
        TARN::CompoundFile file;
        QFile in(path);
        QString error;
        if (!ok || !in.open(QIODevice::ReadOnly) || !file.read(in.readAll(), &error))
            return false;
        in.close();
        TARN::CompoundFile::Entry summary;
        summary.name = TARN::SummaryInformation::StreamName;
        summary.data = excelSummaryStream();
        file.root().children.push_back(summary);
        QFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(file.write()) > 0;
    }
    WorkbookTestTools::runPython(
        QString::fromUtf8(WorkbookTestTools::ForeignXlsxScript), { path }, &ok, &errors);
    if (!ok)
        qWarning().noquote() << errors;
    return ok;
}

} // namespace

// Exports monthly results stored in a small project and reads the workbook back with the
// layer's own readers and with Python's openpyxl/xlrd.
class TestDataExporter : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestProject> _project;

    static QByteArray fileHash(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
    }

    // Sites S1 (mass method, results) and S2 (no salinity rows at all); water users W1 and W2 at
    // S1, W3 at S1 without monthly rows, a scenario-only water user at S1.
    void fillResults(int scenarioId, double offset)
    {
        QSqlQuery site(TarnDbMgr::instance()->database());
        QSqlQuery user(TarnDbMgr::instance()->database());
        if (scenarioId < 0) {
            site.prepare(
                QStringLiteral("INSERT INTO BaseMonthlyAggDiv (BaselineID, AggDivID, Month, "
                               "AggDivSalinityValue) VALUES (1, 1, :m, :v)"));
            user.prepare(
                QStringLiteral("INSERT INTO BaseMonthlyWaterUser (BaselineID, WaterUserID, Month, "
                               "DiversionValue, DepletionValue) VALUES (1, :w, :m, :div, :dep)"));
        } else {
            site.prepare(QStringLiteral(
                "INSERT INTO ScenarioMonthlyAggDiv (BaselineID, ScenarioID, AggDivID, "
                "Month, AggDivSalinityValue) VALUES (1, %1, 1, :m, :v)")
                             .arg(scenarioId));
            user.prepare(
                QStringLiteral("INSERT INTO ScenarioMonthlyWaterUser (BaselineID, ScenarioID, "
                               "WaterUserID, Month, DiversionValue, DepletionValue) VALUES "
                               "(1, %1, :w, :m, :div, :dep)")
                    .arg(scenarioId));
        }
        for (int i = 0; i < 24; ++i) {
            const QString month = TARN::monthKey(2000 + i / 12, i % 12 + 1);
            site.bindValue(QStringLiteral(":m"), month);
            site.bindValue(QStringLiteral(":v"),
                i == 5 ? TARN::fromDouble(TARN::nan()) : QVariant(offset + i / 3.0));
            QVERIFY(site.exec());
            for (int w : { 1, 2, 4 }) {
                user.bindValue(QStringLiteral(":w"), w);
                user.bindValue(QStringLiteral(":m"), month);
                user.bindValue(QStringLiteral(":div"), offset + w * 100 + i + 0.1);
                user.bindValue(QStringLiteral(":dep"), offset + w * 10 + i * 0.5);
                QVERIFY(user.exec());
            }
        }
    }

    static QStringList headers(const SheetCells& cells)
    {
        QStringList list;
        for (int c = 1; c < cells.columnCount(); ++c)
            list << cells.at(0, c).text;
        return list;
    }

    static bool readBook(const QString& path, QStringList& names, QList<SheetCells>& sheets)
    {
        QString error;
        const bool read = ::readBook(path, names, sheets, &error);
        if (!read)
            qWarning("%s", qPrintable(error));
        return read;
    }

private slots:
    void init()
    {
        _project = std::make_unique<TestProject>(1990, 2020);
        QVERIFY(
            _project
                ->exec(QStringLiteral(
                    "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName) VALUES "
                    "  (1, 1, 'Upper', 'S1'), (2, 3, 'Lower', 'S2');"
                    "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES "
                    "  (1, 'Wet years', 'Wet'), (2, 'Dry years', 'Dry');"
                    "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, "
                    "RiffleName) VALUES "
                    "  (1, 1, NULL, 'w1', 'W1'), (2, 1, NULL, 'w2', 'W2'), (3, 1, NULL, 'w3', "
                    "'W3'),"
                    "  (4, 1, 1, 'new', 'ScenarioOnly'), (5, 2, NULL, 'w5', 'W5')"))
                .isOk());
        QVERIFY(_project->openInManager().isOk());
        fillResults(-1, 0);
        fillResults(1, 1000);
        fillResults(2, 2000);
    }
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

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
                return python(WorkbookTestTools::PartHashesScript, path);
            const QJsonObject dump = python(WorkbookTestTools::DumpXlsScript, path);
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
        TARN::WorkbookDiff diff;
        TARN::WorkbookComparison comparison;
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
        const TARN::ColumnComparison* change = comparison.sheets.at(0).largestChange();
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

QTEST_GUILESS_MAIN(TestDataExporter)
#include "tst_dataexporter.moc"
