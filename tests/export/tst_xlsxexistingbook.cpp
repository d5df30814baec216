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

// Exports into books that exist: the parts, names, properties and type that are the planner's
// stay; a book that is not a workbook, or one built to exhaust memory, is refused untouched.
class TestXlsxExistingBook : public QObject {
    Q_OBJECT

private slots:
    void existingWorkbookKeepsOtherParts_data();
    void existingWorkbookKeepsOtherParts();
    void repeatedExportReusesFormats();
    void existingWorkbookKeepsItsType_data();
    void existingWorkbookKeepsItsType();
    void replacingKeepsWhatIsTheUsers();
    void linkedBookIsWrittenThrough_data();
    void linkedBookIsWrittenThrough();
    void bookWithoutWorkbookTypeIsRefused_data();
    void bookWithoutWorkbookTypeIsRefused();
    void hostileStylesFailCleanly();
};

void TestXlsxExistingBook::existingWorkbookKeepsOtherParts_data()
{
    QTest::addColumn<bool>("excelParts");
    QTest::newRow("as openpyxl writes it") << false;
    QTest::newRow("with sheet titles and a calculation chain") << true;
}

void TestXlsxExistingBook::existingWorkbookKeepsOtherParts()
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

void TestXlsxExistingBook::repeatedExportReusesFormats()
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

void TestXlsxExistingBook::existingWorkbookKeepsItsType_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("macroEnabled");
    QTest::newRow("macro-enabled book") << QStringLiteral("book.xlsm") << true;
    QTest::newRow("plain book named .xlsm") << QStringLiteral("book.xlsm") << false;
    QTest::newRow("plain book") << QStringLiteral("book.xlsx") << false;
}

void TestXlsxExistingBook::existingWorkbookKeepsItsType()
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

// A book of the planner's: a chartsheet, the app properties (company, hyperlink base, the sheet
// lists of worksheets and of charts), a custom property of their own whose name begins with
// "Tarnhelm", and on the sheet being replaced a print area, a filter and a name of their own;
// a formula elsewhere refers to it. Replacing the sheet drops what belonged to the old sheet
// alone, and nothing else.
void TestXlsxExistingBook::replacingKeepsWhatIsTheUsers()
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
    Workbook::SheetFingerprint fingerprint;
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

void TestXlsxExistingBook::linkedBookIsWrittenThrough_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("xlsx") << QStringLiteral(".xlsx");
    QTest::newRow("xls") << QStringLiteral(".xls");
}

// An export into a symbolic link writes the file it points at and leaves the link.
void TestXlsxExistingBook::linkedBookIsWrittenThrough()
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

void TestXlsxExistingBook::bookWithoutWorkbookTypeIsRefused_data()
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
void TestXlsxExistingBook::bookWithoutWorkbookTypeIsRefused()
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
void TestXlsxExistingBook::hostileStylesFailCleanly()
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

QTEST_GUILESS_MAIN(TestXlsxExistingBook)
#include "tst_xlsxexistingbook.moc"
