#include "support/WorkbookTestTools.h"

#include "workbook/CompoundFile.h"
#include "workbook/OpcPackage.h"
#include "workbook/SheetData.h"
#include "workbook/SheetFingerprint.h"
#include "workbook/XlsBook.h"
#include "workbook/XlsReader.h"
#include "workbook/XlsxBook.h"
#include "workbook/XlsxReader.h"

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace WorkbookTestTools;

namespace {

// A book of one sheet "Data" (a date column and "X.Flow") in either format, its content hash
// recorded in the custom properties as an export records it.
bool writeBook(const QString& path, bool xls, QString* error)
{
    Workbook::SheetData sheet(QStringLiteral("Data"));
    const auto dates = months(2000, 2000);
    const auto values = series(12, 5);
    sheet.setDates(dates.data(), 12);
    sheet.addColumn(QStringLiteral("X.Flow"), values.data(), 12);
    Workbook::SheetFingerprint fp;
    fp.sheet = sheet.name();
    fp.project = QStringLiteral("basin.db");
    if (!Workbook::Fingerprint::contentHash(sheet, &fp.contentHash, error))
        return false;
    Workbook::PropertyChanges changes;
    changes.added = fp.properties();
    const std::vector<Workbook::NewSheet> sheets { { &sheet, -1 } };
    std::unique_ptr<Workbook::WorkbookFile> book;
    if (xls) {
        auto xlsBook = std::make_unique<Workbook::XlsBook>();
        xlsBook->create(path);
        book = std::move(xlsBook);
    } else {
        auto xlsxBook = std::make_unique<Workbook::XlsxBook>();
        xlsxBook->create(path, false);
        book = std::move(xlsxBook);
    }
    book->setPropertyChanges(changes);
    return book->save(sheets, nullptr, error);
}

// Another program's edit of an .xlsx's first sheet part; the other parts stay as they were.
bool editSheetPart(
    const QString& path, const std::function<void(QByteArray&)>& edit, QString* error)
{
    Workbook::OpcPackage package;
    QByteArray sheet;
    const QString part = QStringLiteral("xl/worksheets/sheet1.xml");
    if (!package.open(path, Workbook::OpcPackage::ReadWrite, error)
        || !package.readPart(part, Workbook::OpcPackage::LargePart, &sheet, error))
        return false;
    edit(sheet);
    Workbook::OpcPackage::Changes changes;
    changes.parts.insert(part, sheet);
    return package.commit(changes, error);
}

// Another program's edit of the sheet's first value, the custom properties left as they were.
bool editFirstValue(const QString& path, bool xls, QString* error)
{
    if (xls) {
        Workbook::CompoundFile file;
        if (!file.read(fileBytes(path), error))
            return false;
        QByteArray& stream = file.stream(QStringLiteral("Workbook"))->data;
        // The first NUMBER record after the dates: its value's last byte.
        const int number = stream.indexOf(QByteArray("\x03\x02\x0E\x00\x01\x00\x01\x00", 8));
        if (number < 0)
            return false;
        stream[number + 17] = static_cast<char>(stream[number + 17] ^ 0x40);
        return writeFile(path, file.write());
    }
    return editSheetPart(
        path,
        [](QByteArray& sheet) {
            const int value = sheet.indexOf("<v>", sheet.indexOf("r=\"B2\"")) + 3;
            sheet.replace(value, sheet.indexOf("</v>", value) - value, "42");
        },
        error);
}

} // namespace

// The one way in to a workbook's content, whatever its format.
class TestWorkbookReader : public QObject {
    Q_OBJECT

private slots:
    void readerChosenByContent_data();
    void readerChosenByContent();
    void notAWorkbook_data();
    void notAWorkbook();
    void fingerprintsTrustedWhileThePartIsUnchanged_data();
    void fingerprintsTrustedWhileThePartIsUnchanged();
    void cellPastTheGridRefused_data();
    void cellPastTheGridRefused();
};

void TestWorkbookReader::readerChosenByContent_data()
{
    QTest::addColumn<bool>("xls");
    QTest::addColumn<QString>("name");
    QTest::newRow(".xlsx") << false << QStringLiteral("book.xlsx");
    QTest::newRow(".xls") << true << QStringLiteral("book.xls");
    QTest::newRow("a package named .xls") << false << QStringLiteral("book.xls");
    QTest::newRow("a compound file named .xlsm") << true << QStringLiteral("book.xlsm");
    QTest::newRow("no extension") << true << QStringLiteral("book");
}

void TestWorkbookReader::readerChosenByContent()
{
    QFETCH(bool, xls);
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QString error;
    QVERIFY2(writeBook(path, xls, &error), qPrintable(error));
    const std::unique_ptr<Workbook::WorkbookReader> reader
        = Workbook::WorkbookReader::openFile(path, &error);
    QVERIFY2(reader, qPrintable(error));
    QCOMPARE(dynamic_cast<Workbook::XlsReader*>(reader.get()) != nullptr, xls);
    QCOMPARE(dynamic_cast<Workbook::XlsxReader*>(reader.get()) != nullptr, !xls);
    QCOMPARE(reader->sheetNames(), QStringList { QStringLiteral("Data") });
    Workbook::SheetCells cells;
    QVERIFY2(reader->readSheet(0, &cells, &error), qPrintable(error));
    QCOMPARE(cells.at(0, 1).text, QStringLiteral("X.Flow"));
    QCOMPARE(cells.at(1, 0).number, 36526.0);
    int scanned = 0;
    QVERIFY2(reader->scanSheet(
                 0,
                 [&](int, int, Workbook::ReadCell::Type, double, const QString&) {
                     ++scanned;
                     return true;
                 },
                 &error),
        qPrintable(error));
    QCOMPARE(scanned, cells.cellCount());
    QCOMPARE(Workbook::Fingerprint::sheetOf(reader->customProperties().front().name),
        QStringLiteral("Data"));
}

void TestWorkbookReader::notAWorkbook_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");
    QTest::newRow("text") << QByteArray("Month,Flow\n2000-01,1\n")
                          << QStringLiteral(
                                 "the file is not an Excel workbook (.xlsx, .xlsm or .xls)");
    QTest::newRow("empty") << QByteArray()
                           << QStringLiteral(
                                  "the file is not an Excel workbook (.xlsx, .xlsm or .xls)");
    // Written as a package of that one part.
    QTest::newRow("a package without a workbook")
        << QByteArray("notes.txt") << QStringLiteral("the package has no relationships");
}

void TestWorkbookReader::notAWorkbook()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data.xlsx"));
    if (content.endsWith(".txt")) {
        Workbook::OpcPackage package;
        package.create(path, { { QString::fromLatin1(content), QByteArray("remark") } });
        QString commitError;
        QVERIFY2(package.commit({}, &commitError), qPrintable(commitError));
    } else {
        QVERIFY(writeFile(path, content));
    }
    QString why;
    QVERIFY(!Workbook::WorkbookReader::openFile(path, &why));
    QCOMPARE(why, error);
    QVERIFY(!Workbook::WorkbookReader::openFile(dir.filePath(QStringLiteral("none.xlsx")), &why));
    QVERIFY(!why.isEmpty());
}

// A comparison skips a sheet whose recorded hash it trusts: only while the sheet's part is the
// one the hash was recorded with, whatever another program left in the properties.
void TestWorkbookReader::fingerprintsTrustedWhileThePartIsUnchanged_data()
{
    QTest::addColumn<bool>("xls");
    QTest::newRow("xlsx") << false;
    QTest::newRow("xls") << true;
}

void TestWorkbookReader::fingerprintsTrustedWhileThePartIsUnchanged()
{
    QFETCH(bool, xls);
    QTemporaryDir dir;
    const QString path = dir.filePath(xls ? QStringLiteral("b.xls") : QStringLiteral("b.xlsx"));
    QString error;
    QVERIFY2(writeBook(path, xls, &error), qPrintable(error));
    std::unique_ptr<Workbook::WorkbookReader> reader
        = Workbook::WorkbookReader::openFile(path, &error);
    QVERIFY2(reader, qPrintable(error));
    const QHash<QString, QByteArray> recorded
        = Workbook::Fingerprint::sheetHashes(reader->customProperties());
    QCOMPARE(QStringList(recorded.keys()), QStringList { QStringLiteral("data") });
    QCOMPARE(reader->trustedSheetHashes(), recorded);
    QVERIFY(!reader->partSignature(0).isEmpty());
    QVERIFY(reader->partSignature(1).isEmpty());

    QVERIFY2(editFirstValue(path, xls, &error), qPrintable(error));
    reader = Workbook::WorkbookReader::openFile(path, &error);
    QVERIFY2(reader, qPrintable(error));
    QCOMPARE(Workbook::Fingerprint::sheetHashes(reader->customProperties()), recorded);
    QVERIFY(reader->trustedSheetHashes().isEmpty());
}

// A damaged sheet may name a cell past XFD1048576. Both ways of reading refuse it, with the same
// words, rather than take it for another cell or make room for all the columns before it.
void TestWorkbookReader::cellPastTheGridRefused_data()
{
    QTest::addColumn<QByteArray>("ref");
    QTest::addColumn<bool>("readable");
    QTest::newRow("the grid's last cell") << QByteArray("XFD1048576") << true;
    QTest::newRow("a column past XFD") << QByteArray("XFE2") << false;
    QTest::newRow("far past XFD, in lower case") << QByteArray("aakkk2") << false;
    QTest::newRow("a row past the last") << QByteArray("B1048577") << false;
    QTest::newRow("a row number past int") << QByteArray("B99999999999") << false;
}

void TestWorkbookReader::cellPastTheGridRefused()
{
    QFETCH(QByteArray, ref);
    QFETCH(bool, readable);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("b.xlsx"));
    QString error;
    QVERIFY2(writeBook(path, false, &error), qPrintable(error));
    bool placed = false;
    QVERIFY2(editSheetPart(
                 path,
                 [&](QByteArray& sheet) {
                     placed = sheet.contains("r=\"B2\"");
                     sheet.replace("r=\"B2\"", "r=\"" + ref + '"');
                 },
                 &error),
        qPrintable(error));
    QVERIFY(placed);
    const std::unique_ptr<Workbook::WorkbookReader> reader
        = Workbook::WorkbookReader::openFile(path, &error);
    QVERIFY2(reader, qPrintable(error));

    Workbook::SheetCells cells;
    QString readError;
    QCOMPARE(reader->readSheet(0, &cells, &readError), readable);
    QString scanError;
    int scanned = 0;
    int lastRow = -1;
    int lastColumn = -1;
    const bool scannedAll = reader->scanSheet(
        0,
        [&](int row, int column, Workbook::ReadCell::Type, double, const QString&) {
            ++scanned;
            lastRow = row;
            lastColumn = column;
            return true;
        },
        &scanError);
    QCOMPARE(scannedAll, readable);
    if (readable) {
        QCOMPARE(cells.rowCount(), 1048576);
        QCOMPARE(cells.columnCount(), 16384);
        QCOMPARE(cells.at(1048575, 16383).type, Workbook::ReadCell::Number);
        QCOMPARE(scanned, cells.cellCount());
        QVERIFY(lastRow <= 1048575 && lastColumn <= 16383);
        return;
    }
    const QString expected = QStringLiteral(
        "the sheet has a cell past the last row or column of a worksheet (XFD1048576)");
    QCOMPARE(readError, expected);
    QCOMPARE(scanError, expected);
    // The cells before it were read.
    QVERIFY(scanned > 0);
}

QTEST_GUILESS_MAIN(TestWorkbookReader)
#include "tst_workbookreader.moc"
