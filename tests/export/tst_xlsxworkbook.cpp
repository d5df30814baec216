#include "ExportChecks.h"

#include "workbook/CellFormat.h"
#include "workbook/SheetCells.h"
#include "workbook/SheetFingerprint.h"
#include "workbook/WorkbookReader.h"
#include "workbook/XlsxReader.h"
#include "workbook/XlsxSheetStream.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>

using namespace ExportChecks;
using namespace WorkbookTestTools;

// New books written through LibXlConnect: read back by every reader, the same on any number of
// threads, and nothing left behind when a save fails.
class TestXlsxWorkbook : public QObject {
    Q_OBJECT

private slots:
    void newWorkbookReadsBack_data();
    void newWorkbookReadsBack();
    void unsupportedTypeLeavesNoFile_data();
    void unsupportedTypeLeavesNoFile();
    void awkwardTextsSurvive();
    void sheetNamesChecked_data();
    void sheetNamesChecked();
    void failedSaveLeavesFileUntouched_data();
    void failedSaveLeavesFileUntouched();
    void threadCountLeavesBookAlone_data();
    void threadCountLeavesBookAlone();
    void interleavedSheetsReadBack_data();
    void interleavedSheetsReadBack();
};

void TestXlsxWorkbook::newWorkbookReadsBack_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("mainType");
    const QString xlsx = QStringLiteral("spreadsheetml.sheet.main+xml");
    const QString xlsm = QStringLiteral("application/vnd.ms-excel.sheet.macroEnabled.main+xml");
    QTest::newRow("xlsx") << QStringLiteral("out.xlsx") << xlsx;
    QTest::newRow("upper case XLSX") << QStringLiteral("OUT.XLSX") << xlsx;
    QTest::newRow("xlsm gets the macro-enabled type") << QStringLiteral("out.xlsm") << xlsm;
    QTest::newRow("mixed case Xlsm") << QStringLiteral("out.Xlsm") << xlsm;
}

void TestXlsxWorkbook::newWorkbookReadsBack()
{
    QFETCH(QString, fileName);
    QFETCH(QString, mainType);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    const auto dates = months(2000, 2001);
    const std::vector<std::vector<Column>> sheets = {
        { { QStringLiteral("Upper.Return Flow Salinity Pickup Mass"), trickyValues(24, 1) },
            { QStringLiteral("Upper:Farm One.Diversion Requested"), trickyValues(24, 2) },
            { QStringLiteral("Upper:Farm One.Depletion Requested"), trickyValues(24, 3) } },
        { { QStringLiteral("Lower.Salt Mass Removal"), trickyValues(24, 4) } },
        { { QStringLiteral("Lower:Town.Diversion Schedule"), trickyValues(24, 5) },
            { QStringLiteral("Lower:Town.Depletion Schedule"), std::vector<double>(24, NaN) } },
    };
    const QStringList names
        = { Baseline, QStringLiteral("Wet years"), QStringLiteral("Dry years") };

    LibXlConnect book;
    QVERIFY2(book.open(path).isOk(), "open");
    for (size_t s = 0; s < sheets.size(); ++s) {
        const TARN::okstat status
            = writeSheet(book, names.at(static_cast<int>(s)), sheets[s], dates);
        QVERIFY2(status.isOk(), qPrintable(status.text()));
    }
    QVERIFY2(!QFile::exists(path), "nothing is written before the save");
    const TARN::okstat saved = book.save();
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));
    QVERIFY(!book.isOpen());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { fileName });

    checkExport(path, names, sheets, dates);

    bool ok = false;
    QString errors;
    const QByteArray types = runPython(
        QStringLiteral("import sys, zipfile; "
                       "print(zipfile.ZipFile(sys.argv[1]).read('[Content_Types].xml').decode())"),
        { path }, &ok, &errors);
    QVERIFY2(ok, qPrintable(errors));
    QVERIFY2(types.contains(mainType.toUtf8()), types.constData());
}

void TestXlsxWorkbook::unsupportedTypeLeavesNoFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("csv") << QStringLiteral("out.csv");
    QTest::newRow("no extension") << QStringLiteral("out");
    QTest::newRow("xlsx inside the name") << QStringLiteral("out.xlsx.txt");
    QTest::newRow("xlsb") << QStringLiteral("out.xlsb");
}

void TestXlsxWorkbook::unsupportedTypeLeavesNoFile()
{
    QFETCH(QString, fileName);
    QTemporaryDir dir;
    LibXlConnect book;
    const TARN::okstat status = book.open(dir.filePath(fileName));
    QCOMPARE(status.text(), QStringLiteral("Unsupported workbook type"));
    QVERIFY(!book.isOpen());
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    QVERIFY(book.save().failed());
}

void TestXlsxWorkbook::awkwardTextsSurvive()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("texts.xlsx"));
    const auto dates = months(1999, 1999);
    const std::vector<Column> columns = {
        { QStringLiteral("A & B <c> \"d\" 'e'"), trickyValues(12, 9) },
        { QStringLiteral("  padded  "), trickyValues(12, 10) },
        { QStringLiteral("Zürich:Ünterwasser.Ä — ≥ ✓"), trickyValues(12, 11) },
        { QStringLiteral("under_score_x"), trickyValues(12, 12) },
        { QStringLiteral("tab\there"), trickyValues(12, 13) },
    };
    LibXlConnect book;
    QVERIFY(book.open(path).isOk());
    QVERIFY(writeSheet(book, QStringLiteral("Scénario ü"), columns, dates).isOk());
    const TARN::okstat saved = book.save();
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));
    checkExport(path, { QStringLiteral("Scénario ü") }, { columns }, dates);
}

void TestXlsxWorkbook::sheetNamesChecked_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("existing"); // a sheet made earlier in the same export
    QTest::addColumn<bool>("accepted");
    QTest::newRow("plain") << QStringLiteral("Scenario 1") << QString() << true;
    QTest::newRow("31 characters") << QString(31, QLatin1Char('x')) << QString() << true;
    QTest::newRow("32 characters") << QString(32, QLatin1Char('x')) << QString() << false;
    QTest::newRow("empty") << QString() << QString() << false;
    QTest::newRow("slash") << QStringLiteral("wet/dry") << QString() << false;
    QTest::newRow("colon") << QStringLiteral("a:b") << QString() << false;
    QTest::newRow("brackets") << QStringLiteral("[x]") << QString() << false;
    QTest::newRow("question mark") << QStringLiteral("why?") << QString() << false;
    QTest::newRow("leading apostrophe") << QStringLiteral("'quoted") << QString() << false;
    QTest::newRow("same name is the same sheet")
        << QStringLiteral("Wet") << QStringLiteral("Wet") << true;
    QTest::newRow("differs only in case")
        << QStringLiteral("WET") << QStringLiteral("Wet") << false;
}

void TestXlsxWorkbook::sheetNamesChecked()
{
    QFETCH(QString, name);
    QFETCH(QString, existing);
    QFETCH(bool, accepted);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("names.xlsx"));
    LibXlConnect book;
    QVERIFY(book.open(path).isOk());
    const auto dates = months(2000, 2000);
    const auto values = trickyValues(12, 1);
    if (!existing.isEmpty())
        QVERIFY(book.writeColumn(existing, QStringLiteral("h1"), 12, dates.data(), values.data())
                    .isOk());
    const TARN::okstat status
        = book.writeColumn(name, QStringLiteral("h2"), 12, dates.data(), values.data());
    QCOMPARE(status.isOk(), accepted);
    if (!accepted) {
        QVERIFY2(status.text().startsWith(
                     QStringLiteral("Error adding the sheet \"%1\" to the workbook \"%2\": ")
                         .arg(name, path)),
            qPrintable(status.text()));
        return;
    }
    QVERIFY(book.save().isOk());
    Workbook::XlsxReader reader;
    QString error;
    QVERIFY(reader.open(path, &error));
    QCOMPARE(reader.sheetNames(), QStringList { name });
    Workbook::SheetCells cells;
    QVERIFY(reader.readSheet(0, &cells, &error));
    QCOMPARE(cells.columnCount(), existing.isEmpty() ? 2 : 3);
}

void TestXlsxWorkbook::failedSaveLeavesFileUntouched_data()
{
    QTest::addColumn<bool>("existing");
    QTest::newRow("existing workbook") << true;
    QTest::newRow("new workbook") << false;
}

void TestXlsxWorkbook::failedSaveLeavesFileUntouched()
{
    QFETCH(bool, existing);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("new.xlsx"));
    if (existing)
        path = makeOpenpyxlBook(dir.path());
    QVERIFY(!path.isEmpty());
    const QByteArray before = fileBytes(path);
    const QStringList filesBefore = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

    // Cancelling makes the sheet stream fail half-way through writing the package.
    std::atomic_bool cancel(false);
    const auto dates = months(1900, 2099);
    std::vector<double> values(dates.size(), 1.25);
    LibXlConnect book;
    QVERIFY(book.open(path).isOk());
    for (int c = 0; c < 60; ++c)
        QVERIFY(book.writeColumn(Baseline, QStringLiteral("c%1").arg(c),
                        static_cast<int>(dates.size()), dates.data(), values.data())
                    .isOk());
    cancel = true;
    book.setCancelFlag(&cancel);
    const TARN::okstat status = book.save();
    QVERIFY(status.failed());
    QVERIFY2(
        status.text().startsWith(QStringLiteral("Error saving the workbook \"%1\": ").arg(path)),
        qPrintable(status.text()));
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
}

void TestXlsxWorkbook::threadCountLeavesBookAlone_data()
{
    QTest::addColumn<bool>("existing");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<qint64>("spillThreshold");
    QTest::addColumn<int>("blockCells");
    // With 61 columns, 500 cells make blocks of 8 rows, a row being about 1.5 KB: the first
    // blocks' dictionaries reach back to the header row, later ones fill the window.
    QTest::newRow("one block a sheet") << false << true << qint64(1) << 0;
    QTest::newRow("many blocks, compressed while the export goes on")
        << false << true << qint64(1 << 20) << 500;
    QTest::newRow("many blocks, spilled, compressed by the save")
        << false << false << qint64(0) << 500;
    QTest::newRow("many blocks into an existing book") << true << true << qint64(0) << 500;
}

void TestXlsxWorkbook::threadCountLeavesBookAlone()
{
    // The sheets are cut into blocks deflated on worker threads, ahead of the save when the
    // export says a sheet is complete: the file must not depend on how many threads there are.
    QFETCH(bool, existing);
    QFETCH(bool, complete);
    QFETCH(qint64, spillThreshold);
    QFETCH(int, blockCells);
    const int rows = 240;
    QTemporaryDir dir;
    std::vector<QDate> dates;
    for (int r = 0; r < rows; ++r)
        dates.push_back(QDate(1900, 1, 1).addMonths(r));
    const QStringList names = { QStringLiteral("First"), QStringLiteral("Second") };
    std::vector<std::vector<Column>> sheets(2);
    for (int s = 0; s < 2; ++s)
        for (int c = 0; c < 60; ++c)
            sheets[size_t(s)].push_back(
                { QStringLiteral("S%1 column %2").arg(s).arg(c), trickyValues(rows, 100 * s + c) });
    const QString existingPath = existing ? makeOpenpyxlBook(dir.path()) : QString();

    QByteArray written[2];
    for (int pass = 0; pass < 2; ++pass) {
        const QString path = dir.filePath(QStringLiteral("book%1.xlsx").arg(pass));
        if (existing)
            QVERIFY(QFile::copy(existingPath, path));
        LibXlConnect book;
        book.setCompressionThreads(pass == 0 ? 1 : 3);
        book.setSpillThreshold(spillThreshold);
        book.setCompressionBlockCells(blockCells);
        QVERIFY(book.open(path).isOk());
        for (int s = 0; s < 2; ++s) {
            QVERIFY(writeSheet(book, names.at(s), sheets[size_t(s)], dates).isOk());
            if (complete)
                QVERIFY(book.completeSheet(names.at(s)).isOk());
        }
        const TARN::okstat saved = book.save();
        QVERIFY2(saved.isOk(), qPrintable(saved.text()));
        written[pass] = withoutEntryTimes(fileBytes(path));
        QVERIFY(!written[pass].isEmpty());
    }
    QVERIFY(written[0] == written[1]);

    // The parts read back whole (Python's zipfile checks each part's CRC), and in a new book
    // each sheet part is exactly the XML of the sheet stream.
    const QString path = dir.filePath(QStringLiteral("book1.xlsx"));
    checkExport(path, names, sheets, dates, false);
    if (!existing) {
        const QJsonObject hashes = partHashes(path);
        for (int s = 0; s < 2; ++s) {
            Workbook::SheetData data(names.at(s));
            data.setDates(dates.data(), rows);
            for (const Column& column : sheets[size_t(s)])
                data.addColumn(column.header, column.values.data(), rows);
            // A new book has the general format already; the header and date formats are added.
            Workbook::XlsxSheetStream stream(data, { 1, 2, 0, 0 }, s == 0, nullptr);
            const std::string xml = stream.toString();
            QCOMPARE(
                hashes.value(QStringLiteral("xl/worksheets/sheet%1.xml").arg(s + 1)).toString(),
                QString::fromLatin1(QCryptographicHash::hash(
                    QByteArray(xml.data(), int(xml.size())), QCryptographicHash::Sha256)
                                        .toHex()));
        }
    }
}

void TestXlsxWorkbook::interleavedSheetsReadBack_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("xlsx") << QStringLiteral("spill.xlsx");
    QTest::newRow("xls") << QStringLiteral("spill.xls");
}

void TestXlsxWorkbook::interleavedSheetsReadBack()
{
    // Every sheet left behind is spilled, and columns then come back to spilled sheets.
    QFETCH(QString, fileName);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    const auto dates = months(2000, 2004);
    const QStringList order = { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("A"),
        QStringLiteral("C"), QStringLiteral("B"), QStringLiteral("A") };
    QHash<QString, std::vector<std::vector<double>>> written;
    LibXlConnect book;
    book.setSpillThreshold(0);
    QVERIFY(book.open(path).isOk());
    for (int i = 0; i < order.size(); ++i) {
        for (int k = 0; k < 3; ++k) {
            const auto values = series(60, 10 * i + k);
            const TARN::okstat status = book.writeColumn(order.at(i),
                QStringLiteral("col %1").arg(written[order.at(i)].size()), 60, dates.data(),
                values.data());
            QVERIFY2(status.isOk(), qPrintable(status.text()));
            written[order.at(i)].push_back(values);
        }
    }
    const TARN::okstat saved = book.save();
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));

    QString error;
    const std::unique_ptr<Workbook::WorkbookReader> reader
        = Workbook::WorkbookReader::openFile(path, &error);
    QVERIFY2(reader, qPrintable(error));
    const QStringList names = reader->sheetNames();
    QCOMPARE(
        names, (QStringList { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C") }));
    for (int s = 0; s < names.size(); ++s) {
        Workbook::SheetCells cells;
        QVERIFY(reader->readSheet(s, &cells, &error));
        const auto& columns = written[names.at(s)];
        QCOMPARE(cells.columnCount(), static_cast<int>(columns.size()) + 1);
        for (size_t c = 0; c < columns.size(); ++c) {
            QCOMPARE(cells.at(0, static_cast<int>(c) + 1).text, QStringLiteral("col %1").arg(c));
            for (int r = 0; r < 60; ++r) {
                const double v = columns[c][static_cast<size_t>(r)];
                const Workbook::ReadCell cell = cells.at(r + 1, static_cast<int>(c) + 1);
                if (std::isnan(v))
                    QCOMPARE(cell.text, QStringLiteral("NaN"));
                else
                    QVERIFY(cell.type == Workbook::ReadCell::Number && sameBits(cell.number, v));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestXlsxWorkbook)
#include "tst_xlsxworkbook.moc"
