#include "WorkbookTestTools.h"

#include "export/CellFormat.h"
#include "export/LibXlConnect.h"
#include "export/SheetData.h"
#include "export/SheetFingerprint.h"
#include "export/XlsxReader.h"
#include "export/XlsxSheetScanner.h"
#include "export/XlsxSheetStream.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

using namespace WorkbookTestTools;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const QString Baseline = QStringLiteral("Baseline Monthly Data");

// Values that a careless number writer gets wrong: shortest forms, subnormals, extremes,
// negative zero, and missing values.
std::vector<double> trickyValues(int count, int seed)
{
    const double fixed[] = { 0.1, 1.0 / 3.0, -2.5e17, 123456789.12345679, 5e-324, DBL_MAX, -DBL_MIN,
        1e21, 1e-7, 0.30000000000000004, 42.0, NaN, -0.0, 7.0e-5 };
    std::vector<double> values;
    std::mt19937_64 rng(static_cast<unsigned long long>(seed));
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (int i = 0; i < count; ++i) {
        const size_t k = static_cast<size_t>(i + seed) % (sizeof fixed / sizeof fixed[0]);
        values.push_back(i % 3 == 0 ? fixed[k] : dist(rng));
    }
    return values;
}

struct Column {
    QString header;
    std::vector<double> values;
};

TARN::okstat writeSheet(LibXlConnect& book, const QString& sheet,
    const std::vector<Column>& columns, const std::vector<QDate>& dates)
{
    for (const auto& column : columns) {
        TARN::okstat status = book.writeColumn(sheet, column.header, static_cast<int>(dates.size()),
            dates.data(), column.values.data());
        if (status.failed())
            return status;
    }
    return TARN::okstat();
}

QJsonObject pythonDump(const char* script, const QString& path)
{
    bool ok = false;
    QString errors;
    const QByteArray out = runPython(QString::fromUtf8(script), { path }, &ok, &errors);
    if (!ok)
        qWarning().noquote() << errors;
    return ok ? QJsonDocument::fromJson(out).object() : QJsonObject();
}

QStringList packageProblems(const QString& path)
{
    bool ok = false;
    QString errors;
    const QByteArray out = runPython(QString::fromUtf8(CheckPackageScript), { path }, &ok, &errors);
    if (!ok)
        return { QStringLiteral("checker failed: ") + errors };
    return QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QJsonObject partHashes(const QString& path)
{
    return pythonDump(PartHashesScript, path);
}

// The cells of one sheet in the Python dump, by "row,col".
QHash<QString, QJsonArray> dumpCells(const QJsonObject& dump, const QString& sheet)
{
    QHash<QString, QJsonArray> cells;
    const auto list = dump.value(QStringLiteral("cells")).toObject().value(sheet).toArray();
    for (const auto& cell : list) {
        const QJsonArray c = cell.toArray();
        cells.insert(QStringLiteral("%1,%2").arg(c.at(0).toInt()).arg(c.at(1).toInt()), c);
    }
    return cells;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A new book of one sheet "First" at path, then one of its parts rewritten by a Python
// expression of `data` (the part's bytes) and `args` (the further arguments).
bool editedBook(const QString& path, const QString& part, const QString& expression,
    const QStringList& args = {})
{
    {
        LibXlConnect book;
        if (book.open(path).failed()
            || writeSheet(book, QStringLiteral("First"),
                { { QStringLiteral("S.Slot"), trickyValues(12, 3) } }, months(2000, 2000))
                   .failed()
            || book.save().failed())
            return false;
    }
    bool ok = false;
    QString errors;
    runPython(QStringLiteral(R"PY(
import sys, zipfile, shutil
path, part, expression, args = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
src = zipfile.ZipFile(path)
with zipfile.ZipFile(path + ".tmp", "w", zipfile.ZIP_DEFLATED) as dst:
    for info in src.infolist():
        data = src.read(info.filename)
        if info.filename == part:
            data = eval(expression)
        dst.writestr(info, data)
src.close()
shutil.move(path + ".tmp", path)
)PY"),
        QStringList { path, part, expression } + args, &ok, &errors);
    if (!ok)
        qWarning().noquote() << errors;
    return ok;
}

} // namespace

class TestXlsxWorkbook : public QObject {
    Q_OBJECT

private slots:
    void serialNumbers_data();
    void serialNumbers();
    void columnNames_data();
    void columnNames();
    void numbersRoundTrip();

    void newWorkbookReadsBack_data();
    void newWorkbookReadsBack();
    void unsupportedTypeLeavesNoFile_data();
    void unsupportedTypeLeavesNoFile();
    void awkwardTextsSurvive();
    void sheetNamesChecked_data();
    void sheetNamesChecked();
    void existingWorkbookKeepsOtherParts_data();
    void existingWorkbookKeepsOtherParts();
    void repeatedExportReusesFormats();
    void existingWorkbookKeepsItsType_data();
    void existingWorkbookKeepsItsType();
    void failedSaveLeavesFileUntouched_data();
    void failedSaveLeavesFileUntouched();
    void sizeBoundCoversStream_data();
    void sizeBoundCoversStream();
    void scannerReadsWhatWritersWrite_data();
    void scannerReadsWhatWritersWrite();
    void threadCountLeavesBookAlone_data();
    void threadCountLeavesBookAlone();
    void replacingKeepsWhatIsTheUsers();
    void linkedBookIsWrittenThrough_data();
    void linkedBookIsWrittenThrough();
    void bookWithoutWorkbookTypeIsRefused_data();
    void bookWithoutWorkbookTypeIsRefused();
    void hostileStylesFailCleanly();

private:
    // Reads the export back with our reader and (unless told not to) openpyxl, and checks the
    // package's structure.
    void checkExport(const QString& path, const QStringList& sheetNames,
        const std::vector<std::vector<Column>>& sheets, const std::vector<QDate>& dates,
        bool withOpenpyxl = true);
    // "Notes" (formats, a formula, a global name), "Baseline Monthly Data" (with a comment only
    // it owns) and "Other" (with a local name); the second sheet is the active one. Optionally
    // the app properties list the sheet titles and there is a calculation chain, as Excel
    // writes them.
    QString makeOpenpyxlBook(const QString& dir, bool excelParts = false);
};

void TestXlsxWorkbook::serialNumbers_data()
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

void TestXlsxWorkbook::serialNumbers()
{
    QFETCH(QDate, date);
    QFETCH(int, serial);
    QCOMPARE(TARN::XlCell::serialOf(date), serial);
}

void TestXlsxWorkbook::columnNames_data()
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

void TestXlsxWorkbook::columnNames()
{
    QFETCH(int, column);
    QFETCH(QString, name);
    QCOMPARE(TARN::XlCell::columnName(column), name);
}

void TestXlsxWorkbook::numbersRoundTrip()
{
    std::mt19937_64 rng(7);
    for (int i = 0; i < 100000; ++i) {
        quint64 bits = rng();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            continue;
        char buf[32];
        const size_t n = TARN::XlCell::formatNumber(value, buf);
        const QString text = QString::fromLatin1(buf, static_cast<int>(n));
        QVERIFY2(!text.contains(QLatin1String("nan")) && !text.contains(QLatin1String("inf")), buf);
        bool ok = false;
        const double back = text.toDouble(&ok);
        QVERIFY2(ok, buf);
        QVERIFY2(back == value, buf);
    }
}

QString TestXlsxWorkbook::makeOpenpyxlBook(const QString& dir, bool excelParts)
{
    const QString path = dir + QStringLiteral("/existing.xlsx");
    const QString script = QStringLiteral(R"PY(
import sys, openpyxl
from openpyxl.styles import Font, PatternFill
from openpyxl.comments import Comment
from openpyxl.workbook.defined_name import DefinedName
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Notes"
ws["A1"] = 1
ws["A2"] = 2.5
ws["A3"] = "remark"
ws["B1"] = "=SUM(A1:A2)"
ws["A1"].font = Font(bold=True)
ws["A2"].number_format = "0.000"
ws["A3"].fill = PatternFill("solid", fgColor="FFFF00")
old = wb.create_sheet("Baseline Monthly Data")
old["A1"] = "stale"
old["B2"] = 99
old["B2"].comment = Comment("only the old sheet owns this", "someone")
other = wb.create_sheet("Other")
other["A1"] = 5
wb.defined_names.append(DefinedName("Total", attr_text="Notes!$B$1"))
wb.defined_names.append(DefinedName("LocalOther", localSheetId=2, attr_text="Other!$A$1"))
wb.active = 1
wb.save(sys.argv[1])
if sys.argv[2] == "titled":
    import zipfile, shutil
    app = ('<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties" '
           'xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">'
           '<Application>Microsoft Excel</Application><HeadingPairs><vt:vector size="2" baseType="variant">'
           '<vt:variant><vt:lpstr>Worksheets</vt:lpstr></vt:variant><vt:variant><vt:i4>3</vt:i4></vt:variant>'
           '</vt:vector></HeadingPairs><TitlesOfParts><vt:vector size="3" baseType="lpstr">'
           '<vt:lpstr>Notes</vt:lpstr><vt:lpstr>Baseline Monthly Data</vt:lpstr><vt:lpstr>Other</vt:lpstr>'
           '</vt:vector></TitlesOfParts><Company>Basin Office</Company></Properties>')
    chain = ('<calcChain xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
             '<c r="B1" i="1"/></calcChain>')
    src = zipfile.ZipFile(sys.argv[1])
    with zipfile.ZipFile(sys.argv[1] + ".tmp", "w", zipfile.ZIP_DEFLATED) as dst:
        for info in src.infolist():
            data = src.read(info.filename)
            if info.filename == "docProps/app.xml":
                data = app.encode()
            elif info.filename == "xl/_rels/workbook.xml.rels":
                data = data.replace(b"</Relationships>", b'<Relationship Id="rIdChain" '
                    b'Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain" '
                    b'Target="calcChain.xml"/></Relationships>')
            elif info.filename == "[Content_Types].xml":
                data = data.replace(b"</Types>", b'<Override PartName="/xl/calcChain.xml" '
                    b'ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/></Types>')
            dst.writestr(info, data)
        dst.writestr("xl/calcChain.xml", chain)
    src.close()
    shutil.move(sys.argv[1] + ".tmp", sys.argv[1])
)PY");
    bool ok = false;
    QString errors;
    runPython(script, { path, excelParts ? QStringLiteral("titled") : QStringLiteral("plain") },
        &ok, &errors);
    if (!ok)
        qWarning().noquote() << errors;
    return ok ? path : QString();
}

void TestXlsxWorkbook::checkExport(const QString& path, const QStringList& sheetNames,
    const std::vector<std::vector<Column>>& sheets, const std::vector<QDate>& dates,
    bool withOpenpyxl)
{
    // Our own reader.
    TARN::XlsxReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QCOMPARE(reader.sheetNames().mid(reader.sheetNames().size() - sheetNames.size()), sheetNames);
    const int offset = reader.sheetNames().size() - sheetNames.size();
    for (int s = 0; s < sheetNames.size(); ++s) {
        TARN::SheetCells cells;
        QVERIFY2(reader.readSheet(offset + s, &cells, &error), qPrintable(error));
        QCOMPARE(cells.at(0, 0).type, TARN::ReadCell::Empty);
        QCOMPARE(cells.rowCount(), static_cast<int>(dates.size()) + 1);
        QCOMPARE(cells.columnCount(), static_cast<int>(sheets[s].size()) + 1);
        for (size_t r = 0; r < dates.size(); ++r) {
            const auto date = cells.at(static_cast<int>(r) + 1, 0);
            QCOMPARE(date.type, TARN::ReadCell::Number);
            QCOMPARE(date.number, double(TARN::XlCell::serialOf(dates[r])));
            QCOMPARE(date.numberFormat, QStringLiteral("m/yyyy"));
        }
        for (size_t c = 0; c < sheets[s].size(); ++c) {
            const auto header = cells.at(0, static_cast<int>(c) + 1);
            QCOMPARE(header.type, TARN::ReadCell::Text);
            QCOMPARE(header.text, sheets[s][c].header);
            QCOMPARE(header.numberFormat, QStringLiteral("@"));
            QCOMPARE(header.alignment, QStringLiteral("center"));
            for (size_t r = 0; r < dates.size(); ++r) {
                const auto cell = cells.at(static_cast<int>(r) + 1, static_cast<int>(c) + 1);
                const double expected = sheets[s][c].values[r];
                if (std::isnan(expected)) {
                    QCOMPARE(cell.type, TARN::ReadCell::Text);
                    QCOMPARE(cell.text, QStringLiteral("NaN"));
                } else {
                    QCOMPARE(cell.type, TARN::ReadCell::Number);
                    QVERIFY2(
                        cell.number == expected, qPrintable(QString::number(expected, 'g', 17)));
                }
            }
        }
    }

    const QStringList problems = packageProblems(path);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    if (!withOpenpyxl)
        return;

    // openpyxl.
    const QJsonObject dump = pythonDump(DumpXlsxScript, path);
    QVERIFY(!dump.isEmpty());
    QStringList pySheets;
    for (const auto& name : dump.value(QStringLiteral("sheets")).toArray())
        pySheets.append(name.toString());
    QCOMPARE(pySheets, reader.sheetNames());
    for (int s = 0; s < sheetNames.size(); ++s) {
        const auto cells = dumpCells(dump, sheetNames.at(s));
        QCOMPARE(cells.size(), static_cast<int>((sheets[s].size() + 1) * (dates.size() + 1) - 1));
        for (size_t r = 0; r < dates.size(); ++r) {
            const QJsonArray date = cells.value(QStringLiteral("%1,0").arg(r + 1));
            QCOMPARE(date.at(2).toString(), QStringLiteral("date"));
            QCOMPARE(hexToDouble(date.at(3).toString()), double(TARN::XlCell::serialOf(dates[r])));
            QCOMPARE(date.at(4).toString(), QStringLiteral("m/yyyy"));
        }
        for (size_t c = 0; c < sheets[s].size(); ++c) {
            const QJsonArray header = cells.value(QStringLiteral("0,%1").arg(c + 1));
            QCOMPARE(header.at(2).toString(), QStringLiteral("text"));
            QCOMPARE(header.at(3).toString(), sheets[s][c].header);
            QCOMPARE(header.at(4).toString(), QStringLiteral("@"));
            QCOMPARE(header.at(5).toString(), QStringLiteral("center"));
            for (size_t r = 0; r < dates.size(); ++r) {
                const QJsonArray cell = cells.value(QStringLiteral("%1,%2").arg(r + 1).arg(c + 1));
                const double expected = sheets[s][c].values[r];
                if (std::isnan(expected)) {
                    QCOMPARE(cell.at(2).toString(), QStringLiteral("text"));
                    QCOMPARE(cell.at(3).toString(), QStringLiteral("NaN"));
                } else {
                    QCOMPARE(cell.at(2).toString(), QStringLiteral("number"));
                    const double got = hexToDouble(cell.at(3).toString());
                    QVERIFY2(got == expected, qPrintable(cell.at(3).toString()));
                }
                QCOMPARE(cell.at(4).toString(), QStringLiteral("General"));
            }
        }
    }
}

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
    TARN::XlsxReader reader;
    QString error;
    QVERIFY(reader.open(path, &error));
    QCOMPARE(reader.sheetNames(), QStringList { name });
    TARN::SheetCells cells;
    QVERIFY(reader.readSheet(0, &cells, &error));
    QCOMPARE(cells.columnCount(), existing.isEmpty() ? 2 : 3);
}

void TestXlsxWorkbook::existingWorkbookKeepsOtherParts_data()
{
    QTest::addColumn<bool>("excelParts");
    QTest::newRow("as openpyxl writes it") << false;
    QTest::newRow("with sheet titles and a calculation chain") << true;
}

void TestXlsxWorkbook::existingWorkbookKeepsOtherParts()
{
    QFETCH(bool, excelParts);
    QTemporaryDir dir;
    const QString path = makeOpenpyxlBook(dir.path(), excelParts);
    QVERIFY(!path.isEmpty());
    const QJsonObject before = pythonDump(DumpXlsxScript, path);
    const QJsonObject hashesBefore = partHashes(path);
    QVERIFY(hashesBefore.contains(QStringLiteral("xl/comments/comment1.xml")));

    const auto dates = months(2000, 2001);
    const std::vector<Column> columns
        = { { QStringLiteral("Upper.Diversion Salt Concentration"), trickyValues(24, 6) },
              { QStringLiteral("Upper:Ranch.Diversion Requested"), trickyValues(24, 7) } };
    LibXlConnect book;
    TARN::okstat status = book.open(path);
    QVERIFY2(status.isOk(), qPrintable(status.text()));
    QVERIFY(writeSheet(book, Baseline, columns, dates).isOk());
    status = book.save();
    QVERIFY2(status.isOk(), qPrintable(status.text()));
    QCOMPARE(
        QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("existing.xlsx") });

    checkExport(path, { Baseline }, { columns }, dates);

    const QJsonObject after = pythonDump(DumpXlsxScript, path);
    QCOMPARE(after.value(QStringLiteral("sheets")).toArray(),
        (QJsonArray { QStringLiteral("Notes"), QStringLiteral("Other"), Baseline }));
    // "Notes" reads back as it was: values, formula, formats, fonts.
    QCOMPARE(after.value(QStringLiteral("cells")).toObject().value(QStringLiteral("Notes")),
        before.value(QStringLiteral("cells")).toObject().value(QStringLiteral("Notes")));
    QCOMPARE(after.value(QStringLiteral("cells")).toObject().value(QStringLiteral("Other")),
        before.value(QStringLiteral("cells")).toObject().value(QStringLiteral("Other")));
    // The name local to "Other" follows it from position 2 to 1.
    QCOMPARE(after.value(QStringLiteral("names")).toArray(),
        (QJsonArray { QJsonArray { QStringLiteral("Total"), -1, QStringLiteral("Notes!$B$1") },
            QJsonArray { QStringLiteral("LocalOther"), 1, QStringLiteral("Other!$A$1") } }));

    // The replaced sheet was the active one; its replacement is, and is the one selected.
    bool ok = false;
    QString errors;
    const QByteArray selection = runPython(QStringLiteral(R"PY(
import sys, zipfile, re
z = zipfile.ZipFile(sys.argv[1])
wb = z.read("xl/workbook.xml").decode()
selected = [n for n in z.namelist() if n.startswith("xl/worksheets/s") and 'tabSelected="1"' in z.read(n).decode()]
print(re.search('activeTab="([0-9]+)"', wb).group(1), selected)
)PY"),
        { path }, &ok, &errors);
    QVERIFY2(ok, qPrintable(errors));
    QCOMPARE(
        QString::fromUtf8(selection).trimmed(), QStringLiteral("2 ['xl/worksheets/sheet4.xml']"));

    // Every part the export has no reason to touch is the same, byte for byte; the old sheet
    // and the comment only it owned are gone.
    const QJsonObject hashesAfter = partHashes(path);
    QStringList mayChange
        = { QStringLiteral("[Content_Types].xml"), QStringLiteral("xl/workbook.xml"),
              QStringLiteral("xl/_rels/workbook.xml.rels"), QStringLiteral("xl/styles.xml") };
    // The sheet titles in the app properties are brought up to date (the checker compares
    // them with the workbook), the rest of that part is kept.
    QStringList gone = { QStringLiteral("xl/worksheets/sheet2.xml"),
        QStringLiteral("xl/worksheets/_rels/sheet2.xml.rels"),
        QStringLiteral("xl/comments/comment1.xml") };
    if (excelParts) {
        mayChange << QStringLiteral("docProps/app.xml");
        gone << QStringLiteral("xl/calcChain.xml");
        QVERIFY(hashesBefore.contains(QStringLiteral("xl/calcChain.xml")));
        bool ok = false;
        QString errors;
        const QByteArray app = runPython(
            QStringLiteral("import sys, zipfile; "
                           "print(zipfile.ZipFile(sys.argv[1]).read('docProps/app.xml').decode())"),
            { path }, &ok, &errors);
        QVERIFY2(ok, qPrintable(errors));
        QVERIFY(app.contains("<Company>Basin Office</Company>"));
        QVERIFY(app.contains("<vt:lpstr>Notes</vt:lpstr><vt:lpstr>Other</"
                             "vt:lpstr><vt:lpstr>Baseline Monthly Data</vt:lpstr>"));
    }
    for (auto it = hashesBefore.begin(); it != hashesBefore.end(); ++it) {
        if (mayChange.contains(it.key()))
            continue;
        if (gone.contains(it.key())) {
            QVERIFY2(!hashesAfter.contains(it.key()), qPrintable(it.key()));
            continue;
        }
        if (it.key().endsWith(QLatin1String(".vml")) && !hashesAfter.contains(it.key()))
            continue; // the comment's drawing went with it
        QVERIFY2(hashesAfter.value(it.key()) == it.value(), qPrintable(it.key()));
    }
    QCOMPARE(hashesAfter.size(),
        hashesBefore.size() - gone.size() + 1
            - hashesBefore.keys().filter(QStringLiteral(".vml")).size());
}

void TestXlsxWorkbook::repeatedExportReusesFormats()
{
    QTemporaryDir dir;
    const QString path = makeOpenpyxlBook(dir.path());
    QVERIFY(!path.isEmpty());
    const auto dates = months(2000, 2000);
    auto countXfs = [&]() {
        bool ok = false;
        QString errors;
        const QByteArray out = runPython(
            QStringLiteral("import sys, zipfile, re; s = "
                           "zipfile.ZipFile(sys.argv[1]).read('xl/styles.xml').decode(); "
                           "c = s[s.index('<cellXfs'):s.index('</cellXfs>')]; print(c.count('<xf "
                           "'), s.count('<numFmt '))"),
            { path }, &ok, &errors);
        return ok ? QString::fromUtf8(out).trimmed() : errors;
    };
    QString first;
    for (int round = 0; round < 3; ++round) {
        LibXlConnect book;
        QVERIFY(book.open(path).isOk());
        const auto values = trickyValues(12, round);
        QVERIFY(book.writeColumn(Baseline, QStringLiteral("round %1").arg(round), 12, dates.data(),
                        values.data())
                    .isOk());
        QVERIFY(book.writeColumn(QStringLiteral("Extra"), QStringLiteral("x"), 12, dates.data(),
                        values.data())
                    .isOk());
        const TARN::okstat saved = book.save();
        QVERIFY2(saved.isOk(), qPrintable(saved.text()));
        if (round == 0)
            first = countXfs();
        else
            QCOMPARE(countXfs(), first);
        const QJsonObject dump = pythonDump(DumpXlsxScript, path);
        QCOMPARE(dump.value(QStringLiteral("sheets")).toArray(),
            (QJsonArray { QStringLiteral("Notes"), QStringLiteral("Other"), Baseline,
                QStringLiteral("Extra") }));
        const auto cells = dumpCells(dump, Baseline);
        QCOMPARE(cells.value(QStringLiteral("0,1")).at(3).toString(),
            QStringLiteral("round %1").arg(round));
        const QStringList problems = packageProblems(path);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }
}

void TestXlsxWorkbook::existingWorkbookKeepsItsType_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("macroEnabled");
    QTest::newRow("macro-enabled book") << QStringLiteral("book.xlsm") << true;
    QTest::newRow("plain book named .xlsm") << QStringLiteral("book.xlsm") << false;
    QTest::newRow("plain book") << QStringLiteral("book.xlsx") << false;
}

void TestXlsxWorkbook::existingWorkbookKeepsItsType()
{
    QFETCH(QString, fileName);
    QFETCH(bool, macroEnabled);
    QTemporaryDir dir;
    const QString made = makeOpenpyxlBook(dir.path());
    QVERIFY(!made.isEmpty());
    const QString path = dir.filePath(fileName);
    bool ok = false;
    QString errors;
    // Set the workbook's content type as the case wants it.
    runPython(QStringLiteral(R"PY(
import sys, zipfile
src = zipfile.ZipFile(sys.argv[1])
with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as dst:
    for info in src.infolist():
        data = src.read(info.filename)
        if info.filename == "[Content_Types].xml" and sys.argv[3] == "macro":
            data = data.replace(b"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
                                b"application/vnd.ms-excel.sheet.macroEnabled.main+xml")
        dst.writestr(info, data)
)PY"),
        { made, path, macroEnabled ? QStringLiteral("macro") : QStringLiteral("plain") }, &ok,
        &errors);
    QVERIFY2(ok, qPrintable(errors));
    auto mainType = [&]() {
        const QByteArray out = runPython(QStringLiteral(R"PY(
import sys, zipfile, xml.etree.ElementTree as ET
types = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read("[Content_Types].xml"))
print([o.get("ContentType") for o in types if o.get("PartName") == "/xl/workbook.xml"][0])
)PY"),
            { path }, &ok, &errors);
        return ok ? QString::fromUtf8(out).trimmed() : errors;
    };
    const QString before = mainType();
    QCOMPARE(before.contains(QLatin1String("macroEnabled")), macroEnabled);
    LibXlConnect book;
    QVERIFY(book.open(path).isOk());
    const auto dates = months(2000, 2000);
    const auto values = trickyValues(12, 3);
    QVERIFY(book.writeColumn(
                    QStringLiteral("New"), QStringLiteral("h"), 12, dates.data(), values.data())
                .isOk());
    const TARN::okstat saved = book.save();
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));
    QCOMPARE(mainType(), before);
    const QStringList problems = packageProblems(path);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
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

void TestXlsxWorkbook::sizeBoundCoversStream_data()
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

void TestXlsxWorkbook::sizeBoundCoversStream()
{
    QFETCH(int, rows);
    QFETCH(int, columns);
    QFETCH(QString, header);
    TARN::SheetData sheet(QStringLiteral("s"));
    std::vector<QDate> dates;
    for (int r = 0; r < rows; ++r)
        dates.push_back(QDate(1900, 1, 1).addMonths(r));
    sheet.setDates(dates.data(), rows);
    // The longest numbers there are, so that the bound is tested where it is tight.
    const std::vector<double> values(static_cast<size_t>(rows), -2.2250738585072014e-308);
    for (int c = 0; c < columns; ++c)
        sheet.addColumn(header, values.data(), rows);
    TARN::XlsxCellStyles styles { 123456, 123457, 123458, 123458 };
    TARN::XlsxSheetStream stream(sheet, styles, true, nullptr);
    const std::string xml = stream.toString();
    QVERIFY(xml.size() <= stream.sizeBound());
    QVERIFY(stream.sizeBound() < 4 * xml.size() + 4096);
    QVERIFY(xml.find("</worksheet>") != std::string::npos);
    QCOMPARE(stream.toString(), xml); // can be read again from the start
}

void TestXlsxWorkbook::scannerReadsWhatWritersWrite_data()
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
    QTest::newRow("cut inside a cell")
        << QByteArray("<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><v>7</v></c><c r=\"B1\"><v>8")
        << QStringList { QStringLiteral("0,0,N,7") } << false;
}

// The comparison reads sheets through a streaming scanner of its own: it must see the cells
// the way the writers of workbooks put them, however the stream is cut into pieces.
void TestXlsxWorkbook::scannerReadsWhatWritersWrite()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, cells);
    QFETCH(bool, readable);
    const QStringList shared { QStringLiteral("zero"), QStringLiteral("one") };
    const TARN::XlsxSheetScanner scanner(shared);
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
            [&](int row, int column, TARN::ReadCell::Type type, double number,
                const QString& text) {
                const char* kinds = "-NTBEF";
                seen << QStringLiteral("%1,%2,%3,%4")
                            .arg(row)
                            .arg(column)
                            .arg(QLatin1Char(kinds[type]))
                            .arg(type == TARN::ReadCell::Number || type == TARN::ReadCell::Boolean
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
    const TARN::XlsxSheetScanner lazy([&]() -> const QStringList& {
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
        [](int, int, TARN::ReadCell::Type, double, const QString&) { return true; }, &error);
    QCOMPARE(asked, xml.contains("t=\"s\"") ? 1 : 0);
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
            TARN::SheetData data(names.at(s));
            data.setDates(dates.data(), rows);
            for (const Column& column : sheets[size_t(s)])
                data.addColumn(column.header, column.values.data(), rows);
            // A new book has the general format already; the header and date formats are added.
            TARN::XlsxSheetStream stream(data, { 1, 2, 0, 0 }, s == 0, nullptr);
            const std::string xml = stream.toString();
            QCOMPARE(
                hashes.value(QStringLiteral("xl/worksheets/sheet%1.xml").arg(s + 1)).toString(),
                QString::fromLatin1(QCryptographicHash::hash(
                    QByteArray(xml.data(), int(xml.size())), QCryptographicHash::Sha256)
                                        .toHex()));
        }
    }
}

// A book of the planner's: a chartsheet, the app properties (company, hyperlink base, the sheet
// lists of worksheets and of charts), a custom property of their own whose name begins with
// "Tarnhelm", and on the sheet being replaced a print area, a filter and a name of their own;
// a formula elsewhere refers to it. Replacing the sheet drops what belonged to the old sheet
// alone, and nothing else.
void TestXlsxWorkbook::replacingKeepsWhatIsTheUsers()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("users.xlsx"));
    bool ok = false;
    QString errors;
    runPython(QStringLiteral(R"PY(
import sys, zipfile, shutil, openpyxl
from openpyxl.chart import BarChart, Reference
from openpyxl.workbook.defined_name import DefinedName
wb = openpyxl.Workbook()
notes = wb.active
notes.title = "Notes"
notes["A1"] = "='Baseline Monthly Data'!B2"
old = wb.create_sheet("Baseline Monthly Data")
old["A1"] = "x"
old["B2"] = 3
old.print_area = "A1:B2"
old.auto_filter.ref = "A1:B2"
chart = BarChart()
chart.add_data(Reference(old, min_col=2, min_row=1, max_row=2))
wb.create_chartsheet("Chart").add_chart(chart)
wb.defined_names.append(DefinedName("Mine", localSheetId=1, attr_text="'Baseline Monthly Data'!$A$1"))
wb.save(sys.argv[1])
app = ('<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties" '
       'xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">'
       '<Application>Microsoft Excel</Application><HeadingPairs><vt:vector size="4" baseType="variant">'
       '<vt:variant><vt:lpstr>Worksheets</vt:lpstr></vt:variant><vt:variant><vt:i4>2</vt:i4></vt:variant>'
       '<vt:variant><vt:lpstr>Charts</vt:lpstr></vt:variant><vt:variant><vt:i4>1</vt:i4></vt:variant>'
       '</vt:vector></HeadingPairs><TitlesOfParts><vt:vector size="3" baseType="lpstr">'
       '<vt:lpstr>Notes</vt:lpstr><vt:lpstr>Baseline Monthly Data</vt:lpstr><vt:lpstr>Chart</vt:lpstr>'
       '</vt:vector></TitlesOfParts><Company>Basin Office</Company>'
       '<HyperlinkBase>https://basin.example/</HyperlinkBase></Properties>')
custom = ('<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/custom-properties" '
          'xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">'
          '<property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid="2" '
          'name="Tarnhelm notes: Baseline Monthly Data"><vt:lpwstr>checked by Pat</vt:lpwstr>'
          '</property></Properties>')
src = zipfile.ZipFile(sys.argv[1])
with zipfile.ZipFile(sys.argv[1] + ".tmp", "w", zipfile.ZIP_DEFLATED) as dst:
    for info in src.infolist():
        data = src.read(info.filename)
        if info.filename == "docProps/app.xml":
            data = app.encode()
        elif info.filename == "_rels/.rels":
            data = data.replace(b"</Relationships>", b'<Relationship Id="rIdCustom" '
                b'Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties" '
                b'Target="docProps/custom.xml"/></Relationships>')
        elif info.filename == "[Content_Types].xml":
            data = data.replace(b"</Types>", b'<Override PartName="/docProps/custom.xml" '
                b'ContentType="application/vnd.openxmlformats-officedocument.custom-properties+xml"/></Types>')
        dst.writestr(info, data)
    dst.writestr("docProps/custom.xml", custom)
src.close()
shutil.move(sys.argv[1] + ".tmp", sys.argv[1])
)PY"),
        { path }, &ok, &errors);
    QVERIFY2(ok, qPrintable(errors));

    LibXlConnect book;
    TARN::okstat status = book.open(path);
    QVERIFY2(status.isOk(), qPrintable(status.text()));
    const auto dates = months(2000, 2000);
    QVERIFY(writeSheet(book, Baseline, { { QStringLiteral("S.Slot"), trickyValues(12, 1) } }, dates)
                .isOk());
    TARN::SheetFingerprint fingerprint;
    fingerprint.sheet = Baseline;
    book.setFingerprint(fingerprint);
    status = book.save();
    QVERIFY2(status.isOk(), qPrintable(status.text()));

    const QStringList problems = packageProblems(path);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    const QByteArray parts = runPython(QStringLiteral(R"PY(
import sys, zipfile, json
z = zipfile.ZipFile(sys.argv[1])
print(json.dumps({n: z.read(n).decode() for n in ("docProps/app.xml", "docProps/custom.xml", "xl/workbook.xml")}))
)PY"),
        { path }, &ok, &errors);
    QVERIFY2(ok, qPrintable(errors));
    const QJsonObject part = QJsonDocument::fromJson(parts).object();
    const QString app = part.value(QStringLiteral("docProps/app.xml")).toString();
    QVERIFY2(app.contains(QLatin1String("<Company>Basin Office</Company>"))
            && app.contains(QLatin1String("<HyperlinkBase>https://basin.example/</HyperlinkBase>")),
        qPrintable(app));
    // Worksheets: Notes, then the replacement at the end; the chart's run as it was.
    QVERIFY2(app.contains(QLatin1String("<vt:lpstr>Notes</vt:lpstr><vt:lpstr>Baseline Monthly "
                                        "Data</vt:lpstr><vt:lpstr>Chart</vt:lpstr>")),
        qPrintable(app));
    const QString custom = part.value(QStringLiteral("docProps/custom.xml")).toString();
    QVERIFY2(custom.contains(QLatin1String("name=\"Tarnhelm notes: Baseline Monthly Data\">"
                                           "<vt:lpwstr>checked by Pat</vt:lpwstr>")),
        qPrintable(custom));
    QVERIFY(custom.contains(QLatin1String("Tarnhelm Sheet Hash: Baseline Monthly Data")));
    const QString workbook = part.value(QStringLiteral("xl/workbook.xml")).toString();
    QVERIFY2(!workbook.contains(QLatin1String("_xlnm.")), qPrintable(workbook));
    QVERIFY2(workbook.contains(QLatin1String("fullCalcOnLoad=\"1\"")), qPrintable(workbook));
    // The name of the planner's own follows the sheet to its new place, the last.
    const QJsonObject dump = pythonDump(DumpXlsxScript, path);
    QCOMPARE(dump.value(QStringLiteral("sheets")).toArray(),
        (QJsonArray { QStringLiteral("Notes"), QStringLiteral("Chart"), Baseline }));
    QCOMPARE(dump.value(QStringLiteral("names")).toArray(),
        (QJsonArray { QJsonArray {
            QStringLiteral("Mine"), 2, QStringLiteral("'Baseline Monthly Data'!$A$1") } }));
}

void TestXlsxWorkbook::linkedBookIsWrittenThrough_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("xlsx") << QStringLiteral(".xlsx");
    QTest::newRow("xls") << QStringLiteral(".xls");
}

// An export into a symbolic link writes the file it points at and leaves the link.
void TestXlsxWorkbook::linkedBookIsWrittenThrough()
{
    QFETCH(QString, suffix);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("books")));
    const QString target = dir.filePath(QStringLiteral("books/real") + suffix);
    const QString link = dir.filePath(QStringLiteral("link") + suffix);
    const auto dates = months(2000, 2000);
    const std::vector<Column> columns { { QStringLiteral("S.Slot"), trickyValues(12, 2) } };
    {
        LibXlConnect book;
        QVERIFY(book.open(target).isOk());
        QVERIFY(writeSheet(book, QStringLiteral("First"), columns, dates).isOk());
        QVERIFY(book.save().isOk());
    }
    QVERIFY(QFile::link(QStringLiteral("books/real") + suffix, link));
    LibXlConnect book;
    QVERIFY(book.open(link).isOk());
    QVERIFY(writeSheet(book, QStringLiteral("Second"), columns, dates).isOk());
    const TARN::okstat saved = book.save();
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), QFileInfo(target).absoluteFilePath());
    const QJsonObject dump
        = pythonDump(suffix == QLatin1String(".xls") ? DumpXlsScript : DumpXlsxScript, target);
    QCOMPARE(dump.value(QStringLiteral("sheets")).toArray(),
        (QJsonArray { QStringLiteral("First"), QStringLiteral("Second") }));
    // Nothing was left beside the link or the target.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System),
        QStringList { QStringLiteral("link") + suffix });
    QCOMPARE(QDir(dir.filePath(QStringLiteral("books"))).entryList(QDir::Files),
        QStringList { QStringLiteral("real") + suffix });
}

void TestXlsxWorkbook::bookWithoutWorkbookTypeIsRefused_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("reason");
    const QByteArray override = "<Override PartName=\"/xl/workbook.xml\" "
                                "ContentType=\"application/vnd.openxmlformats-officedocument."
                                "spreadsheetml.sheet.main+xml\"/>";
    QTest::newRow("missing") << override << QByteArray()
                             << QStringLiteral("the workbook part xl/workbook.xml has the content "
                                               "type application/xml, which is not that of a "
                                               "workbook");
    QTest::newRow("wrong")
        << override
        << QByteArray("<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                      "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>")
        << QStringLiteral("the workbook part xl/workbook.xml has the content type "
                          "application/vnd.openxmlformats-officedocument.wordprocessingml."
                          "document.main+xml, which is not that of a workbook");
}

// A package whose workbook part is not declared a workbook is one no spreadsheet program opens:
// refused with the reason, the file left as it was.
void TestXlsxWorkbook::bookWithoutWorkbookTypeIsRefused()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.xlsx"));
    QVERIFY(editedBook(path, QStringLiteral("[Content_Types].xml"),
        QStringLiteral("data.replace(args[0].encode(), args[1].encode()) if args[0].encode() in "
                       "data else None"),
        { QString::fromUtf8(from), QString::fromUtf8(to) }));
    const QByteArray before = fileBytes(path);
    LibXlConnect book;
    const TARN::okstat opened = book.open(path);
    QVERIFY(opened.failed());
    QVERIFY2(opened.text().contains(reason), qPrintable(opened.text()));
    QCOMPARE(fileBytes(path), before);
}

// A small book whose styles part inflates to hundreds of megabytes is refused with the reason
// before it is read, instead of taking the memory it claims.
void TestXlsxWorkbook::hostileStylesFailCleanly()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hostile.xlsx"));
    QVERIFY(editedBook(path, QStringLiteral("xl/styles.xml"),
        QStringLiteral("data[:data.index(b'<fonts')] + b' ' * (300 << 20) + "
                       "data[data.index(b'<fonts'):]")));
    QVERIFY(QFileInfo(path).size() < (2 << 20));
    const QByteArray before = fileBytes(path);
    LibXlConnect book;
    TARN::okstat status = book.open(path);
    if (status.isOk()) {
        status = writeSheet(book, QStringLiteral("Second"),
            { { QStringLiteral("S.Slot"), trickyValues(12, 5) } }, months(2000, 2000));
        if (status.isOk())
            status = book.save();
    }
    QVERIFY(status.failed());
    QVERIFY2(status.text().contains(QLatin1String("the part xl/styles.xml is too large")),
        qPrintable(status.text()));
    QCOMPARE(fileBytes(path), before);
}

QTEST_GUILESS_MAIN(TestXlsxWorkbook)
#include "tst_xlsxworkbook.moc"
