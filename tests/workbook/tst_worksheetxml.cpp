#include "workbook/CellFormat.h"
#include "workbook/SheetCells.h"
#include "workbook/SheetData.h"
#include "workbook/XlsxSheetScanner.h"
#include "workbook/XlsxSheetStream.h"

#include <QDate>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

// The cells of a worksheet as text: serial day numbers, column names and numbers as the writers
// put them, the size the stream promises libzip, and the scanner that reads them back.
class TestWorksheetXml : public QObject {
    Q_OBJECT

private slots:
    void serialNumbers_data();
    void serialNumbers();
    void columnNames_data();
    void columnNames();
    void numbersRoundTrip();
    void sizeBoundCoversStream_data();
    void sizeBoundCoversStream();
    void scannerReadsWhatWritersWrite_data();
    void scannerReadsWhatWritersWrite();
};

void TestWorksheetXml::serialNumbers_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("serial");
    QTest::newRow("first day") << QDate(1900, 1, 1) << 1;
    QTest::newRow("last day before the phantom leap day") << QDate(1900, 2, 28) << 59;
    QTest::newRow("first day after it") << QDate(1900, 3, 1) << 61;
    QTest::newRow("2000-01-01") << QDate(2000, 1, 1) << 36526;
    QTest::newRow("2001-12-01") << QDate(2001, 12, 1) << 37226;
    QTest::newRow("leap day 2000") << QDate(2000, 2, 29) << 36585;
    QTest::newRow("before 1900 has none") << QDate(1899, 12, 1) << 0;
    QTest::newRow("invalid has none") << QDate() << 0;
}

void TestWorksheetXml::serialNumbers()
{
    QFETCH(QDate, date);
    QFETCH(int, serial);
    QCOMPARE(Workbook::XlCell::serialOf(date), serial);
}

void TestWorksheetXml::columnNames_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("name");
    QTest::newRow("A") << 0 << QStringLiteral("A");
    QTest::newRow("Z") << 25 << QStringLiteral("Z");
    QTest::newRow("AA") << 26 << QStringLiteral("AA");
    QTest::newRow("AZ") << 51 << QStringLiteral("AZ");
    QTest::newRow("BA") << 52 << QStringLiteral("BA");
    QTest::newRow("IV") << 255 << QStringLiteral("IV");
    QTest::newRow("ZZ") << 701 << QStringLiteral("ZZ");
    QTest::newRow("AAA") << 702 << QStringLiteral("AAA");
    QTest::newRow("KUR") << 7999 << QStringLiteral("KUR");
    QTest::newRow("XFD") << 16383 << QStringLiteral("XFD");
}

void TestWorksheetXml::columnNames()
{
    QFETCH(int, column);
    QFETCH(QString, name);
    QCOMPARE(Workbook::XlCell::columnName(column), name);
}

void TestWorksheetXml::numbersRoundTrip()
{
    std::mt19937_64 rng(7);
    for (int i = 0; i < 100000; ++i) {
        quint64 bits = rng();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            continue;
        char buf[32];
        const size_t n = Workbook::XlCell::formatNumber(value, buf);
        const QString text = QString::fromLatin1(buf, static_cast<int>(n));
        QVERIFY2(!text.contains(QLatin1String("nan")) && !text.contains(QLatin1String("inf")), buf);
        bool ok = false;
        const double back = text.toDouble(&ok);
        QVERIFY2(ok, buf);
        QVERIFY2(back == value, buf);
    }
}

void TestWorksheetXml::sizeBoundCoversStream_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QString>("header");
    QTest::newRow("empty sheet") << 0 << 0 << QString();
    QTest::newRow("header only") << 0 << 3 << QStringLiteral("h");
    QTest::newRow("long escaped headers") << 5 << 40 << QString(300, QLatin1Char('&'));
    QTest::newRow("wide") << 12 << 2000 << QStringLiteral("x");
    QTest::newRow("tall") << 20000 << 3 << QStringLiteral("x");
}

void TestWorksheetXml::sizeBoundCoversStream()
{
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, header);
    Workbook::SheetData sheet(QStringLiteral("s"));
    std::vector<QDate> dates;
    for (int r = 0; r < rows; ++r)
        dates.push_back(QDate(1900, 1, 1).addMonths(r));
    sheet.setDates(dates.data(), rows);
    // The longest numbers there are, so that the bound is tested where it is tight.
    const std::vector<double> values(static_cast<size_t>(rows), -2.2250738585072014e-308);
    for (int c = 0; c < columns; ++c)
        sheet.addColumn(header, values.data(), rows);
    Workbook::XlsxCellStyles styles { 123456, 123457, 123458, 123458 };
    Workbook::XlsxSheetStream stream(sheet, styles, true, nullptr);
    const std::string xml = stream.toString();
    QVERIFY(xml.size() <= stream.sizeBound());
    QVERIFY(stream.sizeBound() < 4 * xml.size() + 4096);
    QVERIFY(xml.find("</worksheet>") != std::string::npos);
    QCOMPARE(stream.toString(), xml); // can be read again from the start
}

void TestWorksheetXml::scannerReadsWhatWritersWrite_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("cells"); // "row,column,kind,value"; kind N, T, B or E
    QTest::addColumn<bool>("readable");
    QTest::newRow("prefixed, references left out")
        << QByteArray("<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/"
                      "2006/main\"><x:sheetData><x:row r=\"1\"><x:c t=\"inlineStr\"><x:is><x:t>"
                      "A&amp;B</x:t></x:is></x:c><x:c><x:v>1.5</x:v></x:c></x:row><x:row><x:c "
                      "r=\"C2\"><x:v> -2e3 </x:v></x:c></x:row></x:sheetData></x:worksheet>")
        << QStringList { QStringLiteral("0,0,T,A&B"), QStringLiteral("0,1,N,1.5"),
               QStringLiteral("1,2,N,-2000") }
        << true;
    QTest::newRow("shared, boolean, error, formulas, empty")
        << QByteArray("<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c><c "
                      "r=\"B1\" t=\"b\"><v>1</v></c><c r=\"C1\" t=\"e\"><v>#N/A</v></c><c r=\"D1\" "
                      "t=\"str\"><f>A1&amp;\"x\"</f><v>onex</v></c><c r=\"E1\"><f>1+1</f><v>2</v>"
                      "</c><c r=\"F1\" s=\"3\"/><c r=\"G1\"><v/></c></row></sheetData></worksheet>")
        << QStringList { QStringLiteral("0,0,T,one"), QStringLiteral("0,1,B,1"),
               QStringLiteral("0,2,E,#N/A"), QStringLiteral("0,3,T,onex"),
               QStringLiteral("0,4,N,2") }
        << true;
    QTest::newRow("comments, CDATA, rich text, phonetic runs, references")
        << QByteArray("<?xml version=\"1.0\"?><!-- a > b --><worksheet><sheetData><row r=\"3\"><c "
                      "r=\"B3\" t=\"inlineStr\"><is><r><t>ab</t></r><r><t xml:space=\"preserve\"> "
                      "c</t></r><rPh sb=\"0\" eb=\"1\"><t>ignored</t></rPh></is></c><!-- <c "
                      "r=\"C3\"><v>9</v></c> --><c r=\"D3\"><v><![CDATA[4.25]]></v></c><c "
                      "r=\"E3\" t=\"inlineStr\"><is><t>&#x3A9;&#937;&lt;</t></is></c></row>"
                      "</sheetData></worksheet>")
        << QStringList { QStringLiteral("2,1,T,ab c"), QStringLiteral("2,3,N,4.25"),
               QString::fromUtf8("2,4,T,\xCE\xA9\xCE\xA9<") }
        << true;
    QTest::newRow("a quoted > in a tag")
        << QByteArray("<worksheet><sheetData><row r=\"1\" spans=\"1:2\" note='0.25 > 0'><c "
                      "r=\"A1\" s=\"1\"><v>7</v></c></row></sheetData></worksheet>")
        << QStringList { QStringLiteral("0,0,N,7") } << true;
    // As the reader decodes them: "_x000D_" is a carriage return, "_x005F_" an underscore.
    QTest::newRow("escapes") << QByteArray(
        "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>"
        "a_x000D_b_x005F_x0007_</t></is></c><c r=\"B1\" t=\"str\"><f>A1</f><v>"
        "c_x0009_</v></c></row></sheetData></worksheet>")
                             << QStringList { QStringLiteral("0,0,T,a\rb_x0007_"),
                                    QStringLiteral("0,1,T,c\t") }
                             << true;
    // A worksheet ends at XFD1048576: a cell past it is a damaged sheet, however its place is
    // given, and its reader must not make room for the columns before it.
    QTest::newRow("the grid's last cell")
        << QByteArray("<worksheet><sheetData><row r=\"1048576\"><c r=\"XFD1048576\"><v>1</v></c>"
                      "</row></sheetData></worksheet>")
        << QStringList { QStringLiteral("1048575,16383,N,1") } << true;
    QTest::newRow("a column past XFD")
        << QByteArray("<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c><c "
                      "r=\"ZZZZZ1\"><v>2</v></c></row></sheetData></worksheet>")
        << QStringList { QStringLiteral("0,0,N,1") } << false;
    QTest::newRow("a cell without a reference after XFD")
        << QByteArray("<worksheet><sheetData><row><c r=\"XFD1\"><v>1</v></c><c><v>2</v></c>"
                      "</row></sheetData></worksheet>")
        << QStringList { QStringLiteral("0,16383,N,1") } << false;
    QTest::newRow("a row number past the grid")
        << QByteArray("<worksheet><sheetData><row r=\"99999999999999999999\"><c><v>1</v></c>"
                      "</row></sheetData></worksheet>")
        << QStringList {} << false;
    QTest::newRow("a reference past the last row")
        << QByteArray("<worksheet><sheetData><row><c r=\"A1048577\"><v>1</v></c></row>"
                      "</sheetData></worksheet>")
        << QStringList {} << false;
    QTest::newRow("cut inside a cell")
        << QByteArray("<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>7</v></c><c r=\"B1\"><v>8")
        << QStringList { QStringLiteral("0,0,N,7") } << false;
}

// The comparison reads sheets through a streaming scanner of its own: it must see the cells
// the way the writers of workbooks put them, however the stream is cut into pieces.
void TestWorksheetXml::scannerReadsWhatWritersWrite()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, cells);
    QFETCH(bool, readable);
    const QStringList shared { QStringLiteral("zero"), QStringLiteral("one") };
    const Workbook::XlsxSheetScanner scanner(shared);
    for (const qint64 piece : { qint64(1), qint64(3), qint64(1) << 20 }) {
        qint64 at = 0;
        QStringList seen;
        QString error;
        const bool read = scanner.scan(
            [&](char* buffer, qint64 size) {
                const qint64 n = std::min({ size, piece, qint64(xml.size()) - at });
                std::memcpy(buffer, xml.constData() + at, static_cast<size_t>(n));
                at += n;
                return n;
            },
            [&](int row, int column, Workbook::ReadCell::Type type, double number,
                const QString& text) {
                const char* kinds = "-NTBEF";
                seen << QStringLiteral("%1,%2,%3,%4")
                            .arg(row)
                            .arg(column)
                            .arg(QLatin1Char(kinds[type]))
                            .arg(type == Workbook::ReadCell::Number
                                        || type == Workbook::ReadCell::Boolean
                                    ? QString::number(number, 'g', 17)
                                    : text);
                return true;
            },
            &error);
        QCOMPARE(read, readable);
        QCOMPARE(seen, cells);
    }
    // The shared strings are asked for only by a sheet that refers to one: a book's strings
    // may be many, in sheets the comparison never reads.
    int asked = 0;
    const Workbook::XlsxSheetScanner lazy([&]() -> const QStringList& {
        ++asked;
        return shared;
    });
    qint64 at = 0;
    QString error;
    lazy.scan(
        [&](char* buffer, qint64 size) {
            const qint64 n = std::min(size, qint64(xml.size()) - at);
            std::memcpy(buffer, xml.constData() + at, static_cast<size_t>(n));
            at += n;
            return n;
        },
        [](int, int, Workbook::ReadCell::Type, double, const QString&) { return true; }, &error);
    QCOMPARE(asked, xml.contains("t=\"s\"") ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestWorksheetXml)
#include "tst_worksheetxml.moc"
