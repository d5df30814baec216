#include "CliFixture.h"

// Python scripts, defined below the test class.
extern const char* const DumpValuesScript;
extern const char* const ForeignBooksScript;
extern const char* const GnumericScript;

class TestCliBooks : public CliFixture {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(!qgetenv("TARNHELM_CLI").isEmpty()); }
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

    void gnumericReadsEveryCell_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("xlsx") << QStringLiteral(".xlsx");
        QTest::newRow("xlsm") << QStringLiteral(".xlsm");
        QTest::newRow("xls") << QStringLiteral(".xls");
    }
    // Gnumeric's ssconvert, one more reader the books are read with: it must find every cell of
    // the demo's books, with the value the program's own reader finds, bit for bit.
    void gnumericReadsEveryCell()
    {
        QFETCH(QString, suffix);
        QTemporaryDir dir;
        const QString demo = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(makeDemoProject(demo).isOk());
        QCOMPARE(run({ QStringLiteral("recalc"), demo }).exitCode, 0);
        const QString book = dir.filePath(QStringLiteral("demo") + suffix);
        const Result exported = run({ QStringLiteral("export-xlsx"), demo, book });
        QVERIFY2(exported.exitCode == 0, qPrintable(exported.err));

        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral("-c"), QString::fromUtf8(GnumericScript), book,
                dir.filePath(QStringLiteral("gnumeric.xml")) });
        QVERIFY(python.waitForFinished(120000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        const QJsonObject read = QJsonDocument::fromJson(python.readAllStandardOutput()).object();

        QStringList names;
        QList<Workbook::SheetCells> sheets;
        QString error;
        QVERIFY2(readBook(book, names, sheets, &error), qPrintable(error));
        QCOMPARE(read.keys().size(), names.size());
        for (int s = 0; s < names.size(); ++s) {
            const QJsonObject cells = read.value(names.at(s)).toObject();
            const Workbook::SheetCells& ours = sheets.at(s);
            QVERIFY(ours.cellCount() > 1000);
            QCOMPARE(cells.size(), ours.cellCount());
            for (int row = 0; row < ours.rowCount(); ++row) {
                for (int column = 0; column < ours.columnCount(); ++column) {
                    const Workbook::ReadCell cell = ours.at(row, column);
                    if (cell.type == Workbook::ReadCell::Empty)
                        continue;
                    const QJsonArray theirs
                        = cells.value(QStringLiteral("%1,%2").arg(row).arg(column)).toArray();
                    const QString where = QStringLiteral("%1 %2,%3: %4")
                                              .arg(names.at(s))
                                              .arg(row)
                                              .arg(column)
                                              .arg(QString::fromUtf8(QJsonDocument(theirs).toJson(
                                                  QJsonDocument::Compact)));
                    if (cell.type == Workbook::ReadCell::Number) {
                        QVERIFY2(theirs.at(0).toString() == QLatin1String("number")
                                && theirs.at(1).toString() == QString::number(cell.number, 'g', 17),
                            qPrintable(where));
                    } else {
                        QVERIFY2(theirs.at(0).toString() == QLatin1String("text")
                                && theirs.at(1).toString() == cell.text,
                            qPrintable(where));
                    }
                }
            }
        }
    }

    void diffFindsTheEditedColumns_data()
    {
        QTest::addColumn<QString>("oldBook");
        QTest::addColumn<QString>("newBook");
        QTest::newRow("xlsx against xlsx")
            << QStringLiteral("before.xlsx") << QStringLiteral("after.xlsx");
        QTest::newRow("xlsx against xls")
            << QStringLiteral("before.xlsx") << QStringLiteral("after.xls");
    }
    // One water user's depletion of one year changes on the demo basin: the comparison of the
    // exports before and after reports exactly the columns whose values differ (as an
    // independent reader sees them), with their number of months, and nothing else.
    void diffFindsTheEditedColumns()
    {
        QFETCH(QString, oldBook);
        QFETCH(QString, newBook);
        QTemporaryDir dir;
        const QString demo = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(makeDemoProject(demo).isOk());
        QCOMPARE(run({ QStringLiteral("recalc"), demo, QStringLiteral("--full") }).exitCode, 0);
        const QStringList years { QStringLiteral("--start"), QStringLiteral("1995"),
            QStringLiteral("--end"), QStringLiteral("2000") };
        auto exportTo = [&](const QString& book) {
            const Result exported
                = run(QStringList { QStringLiteral("export-xlsx"), demo, book } + years);
            return exported.exitCode == 0;
        };
        const QString before = dir.filePath(oldBook);
        const QString again = dir.filePath(QStringLiteral("again.") + QFileInfo(newBook).suffix());
        QVERIFY(exportTo(before));
        QVERIFY(exportTo(again));

        // Equal exports: equal, sheet for sheet, from their fingerprints.
        Result diff
            = run({ QStringLiteral("diff-workbook"), before, again, QStringLiteral("--json") });
        QCOMPARE(diff.exitCode, 0);
        QJsonObject json = QJsonDocument::fromJson(diff.out.toUtf8()).object();
        QCOMPARE(json.value(QStringLiteral("equal")).toBool(), true);
        QCOMPARE(json.value(QStringLiteral("sheets")).toArray().size(), 4);
        // And value by value, across the formats' readers.
        diff = run({ QStringLiteral("diff-workbook"), before, again,
            QStringLiteral("--no-fingerprints") });
        QVERIFY2(diff.exitCode == 0, qPrintable(diff.out + diff.err));
        QVERIFY2(!diff.out.contains(QStringLiteral("fingerprint")), qPrintable(diff.out));

        {
            TARN::okstat status;
            QSqlDatabase db = ProjectFile::openConnection(demo, &status);
            QSqlQuery edit(db);
            QVERIFY(edit.exec(QStringLiteral(
                "UPDATE WaterUserData SET DepletionReq = DepletionReq * 1.5 + 1 WHERE Year = 1997 "
                "AND WaterUserID = (SELECT MIN(WaterUserID) FROM DemandChgWaterUser)")));
            QCOMPARE(edit.numRowsAffected(), 1);
            ProjectFile::closeConnection(db);
        }
        QCOMPARE(run({ QStringLiteral("recalc"), demo, QStringLiteral("--full") }).exitCode, 0);
        const QString after = dir.filePath(newBook);
        QVERIFY(exportTo(after));

        // What differs, by an independent reader: sheet -> column -> months.
        const QJsonObject oldValues = pythonJson(DumpValuesScript, before);
        const QJsonObject newValues = pythonJson(DumpValuesScript, after);
        QMap<QString, int> expected;
        for (auto sheet = newValues.begin(); sheet != newValues.end(); ++sheet) {
            const QJsonObject oldColumns = oldValues.value(sheet.key()).toObject();
            const QJsonObject newColumns = sheet.value().toObject();
            QCOMPARE(QStringList(newColumns.keys()), QStringList(oldColumns.keys()));
            for (auto column = newColumns.begin(); column != newColumns.end(); ++column) {
                const QJsonObject a = oldColumns.value(column.key()).toObject();
                const QJsonObject b = column.value().toObject();
                int months = 0;
                for (auto month = b.begin(); month != b.end(); ++month)
                    months += a.value(month.key()) != month.value();
                if (months > 0)
                    expected.insert(sheet.key() + QLatin1Char('\t') + column.key(), months);
            }
        }
        QVERIFY(expected.size() >= 3); // the water user's depletion and its site, at least

        diff = run({ QStringLiteral("diff-workbook"), before, after, QStringLiteral("--json") });
        QCOMPARE(diff.exitCode, 1);
        json = QJsonDocument::fromJson(diff.out.toUtf8()).object();
        QCOMPARE(json.value(QStringLiteral("equal")).toBool(), false);
        QMap<QString, int> found;
        for (const QJsonValue& sheet : json.value(QStringLiteral("sheets")).toArray()) {
            const QJsonObject s = sheet.toObject();
            const QJsonArray columns = s.value(QStringLiteral("columns")).toArray();
            QCOMPARE(s.value(QStringLiteral("status")).toString(),
                columns.isEmpty() ? QStringLiteral("equal") : QStringLiteral("changed"));
            for (const QJsonValue& column : columns) {
                const QJsonObject c = column.toObject();
                QCOMPARE(c.value(QStringLiteral("status")).toString(), QStringLiteral("changed"));
                found.insert(s.value(QStringLiteral("name")).toString() + QLatin1Char('\t')
                        + c.value(QStringLiteral("name")).toString(),
                    c.value(QStringLiteral("changedMonths")).toInt());
            }
        }
        QCOMPARE(found, expected);

        // Differences below the tolerance don't count.
        diff = run({ QStringLiteral("diff-workbook"), before, after, QStringLiteral("--tolerance"),
            QStringLiteral("1e12") });
        QCOMPARE(diff.exitCode, 0);
    }

    void foreignBooksCompare_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<QString>("extension");
        QTest::newRow("openpyxl") << QStringLiteral("openpyxl") << QStringLiteral(".xlsx");
        QTest::newRow("xlwt") << QStringLiteral("xlwt") << QStringLiteral(".xls");
    }
    // Books another program wrote, without fingerprints: columns in another order, one column
    // only in each, a changed month, a value gone missing, "NaN" against an empty cell (both
    // missing: equal), a sheet only in the new book. The JSON is exactly what was found.
    void foreignBooksCompare()
    {
        QFETCH(QString, writer);
        QFETCH(QString, extension);
        QTemporaryDir dir;
        const QString oldBook = dir.filePath(QStringLiteral("old") + extension);
        const QString newBook = dir.filePath(QStringLiteral("new") + extension);
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral("-c"), QString::fromUtf8(ForeignBooksScript), writer, oldBook,
                newBook });
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());

        const Result diff
            = run({ QStringLiteral("diff-workbook"), oldBook, newBook, QStringLiteral("--json") });
        QCOMPARE(diff.exitCode, 1);
        const QByteArray expected
            = R"({"equal": false, "sheets": [{"name": "Data", "status": "changed", "byFingerprint": false, "columns": [{"name": "X.Flow", "status": "changed", "changedMonths": 1, "firstMonth": "2001-03", "lastMonth": "2001-03", "maxAbs": 2.5, "maxRel": 0.8333333333333334, "oldTotal": 10, "newTotal": 12.5}, {"name": "Y.Flow", "status": "changed", "changedMonths": 1, "firstMonth": "2001-02", "lastMonth": "2001-02", "maxAbs": null, "maxRel": null, "oldTotal": 80, "newTotal": 60}, {"name": "Z.Flow", "status": "removed", "changedMonths": 4, "firstMonth": "2001-01", "lastMonth": "2001-04", "maxAbs": 5, "maxRel": null, "oldTotal": 20, "newTotal": null}, {"name": "W.Flow", "status": "added", "changedMonths": 3, "firstMonth": "2001-01", "lastMonth": "2001-04", "maxAbs": 7, "maxRel": null, "oldTotal": null, "newTotal": 21}]}, {"name": "Notes", "status": "equal", "byFingerprint": false, "columns": []}, {"name": "Extra", "status": "added", "byFingerprint": false, "columns": []}]})";
        QCOMPARE(diff.out.trimmed(), QString::fromUtf8(expected));

        // A file that isn't a workbook, or isn't there: trouble, with the reason.
        QFile text(dir.filePath(QStringLiteral("notes.xlsx")));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a workbook");
        text.close();
        for (const QString& bad :
            { text.fileName(), dir.filePath(QStringLiteral("missing.xls")) }) {
            const Result trouble = run({ QStringLiteral("diff-workbook"), oldBook, bad });
            QCOMPARE(trouble.exitCode, 2);
            QVERIFY2(
                trouble.err.contains(QStringLiteral("Unable to read the workbook \"%1\"").arg(bad)),
                qPrintable(trouble.err));
        }
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
        // Their fingerprints agree too: the books compare equal without a cell being read.
        const Result same = run({ QStringLiteral("diff-workbook"), books.at(0), books.at(2) });
        QVERIFY2(same.exitCode == 0, qPrintable(same.out + same.err));
        QVERIFY2(!same.out.contains(QStringLiteral("': equal\n")), qPrintable(same.out));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(bookText(books.at(i + 2)), bookText(books.at(i)));
        QCOMPARE(attributeText(attributeFiles.at(1)), attributeText(attributeFiles.at(0)));
    }
};

// {sheet: {column: {"YYYY-MM": value}}} of a book, through openpyxl or xlrd.
const char* const DumpValuesScript = R"PY(
import sys, json, datetime
path = sys.argv[1]
out = {}
def month(v):
    return v.strftime("%Y-%m")
if path.endswith(".xls"):
    import xlrd
    book = xlrd.open_workbook(path)
    for sh in book.sheets():
        cols = {}
        for c in range(1, sh.ncols):
            values = {}
            for r in range(1, sh.nrows):
                values[month(xlrd.xldate_as_datetime(sh.cell_value(r, 0), book.datemode))] = repr(sh.cell_value(r, c))
            cols[str(sh.cell_value(0, c))] = values
        out[sh.name] = cols
else:
    import openpyxl
    wb = openpyxl.load_workbook(path)
    for ws in wb.worksheets:
        cols = {}
        for c in range(2, ws.max_column + 1):
            values = {}
            for r in range(2, ws.max_row + 1):
                v = ws.cell(r, c).value
                values[month(ws.cell(r, 1).value)] = repr(float(v) if not isinstance(v, str) else v)
            cols[ws.cell(1, c).value] = values
        out[ws.title] = cols
print(json.dumps(out))
)PY";

// Writes the old and the new book of foreignBooksCompare with openpyxl or xlwt.
const char* const ForeignBooksScript = R"PY(
import sys, datetime
writer, old_path, new_path = sys.argv[1:4]
months = [datetime.datetime(2001, m, 1) for m in range(1, 5)]
old = {"Data": (["X.Flow", "Y.Flow", "Z.Flow", "V.Flow"],
                [[1, 2, 3, 4], [10, 20, 30, 20], [5, 5, 5, 5], [1, "NaN", 1, 1]]),
       "Notes": None}
new = {"Data": (["Y.Flow", "X.Flow", "W.Flow", "V.Flow"],
                [[10, "NaN", 30, 20], [1, 2, 5.5, 4], [7, None, 7, 7], [1, None, 1, 1]]),
       "Notes": None, "Extra": (["A.B"], [[1, 1, 1, 1]])}
def save(book, path):
    if writer == "openpyxl":
        import openpyxl
        wb = openpyxl.Workbook()
        wb.remove(wb.active)
        for name, content in book.items():
            ws = wb.create_sheet(name)
            if content is None:
                ws["A1"] = "remark"
                continue
            headers, columns = content
            for c, h in enumerate(headers):
                ws.cell(1, c + 2, h)
            for r, m in enumerate(months):
                ws.cell(r + 2, 1, m).number_format = "mmm yyyy"
                for c, values in enumerate(columns):
                    if values[r] is not None:
                        ws.cell(r + 2, c + 2, values[r])
        wb.save(path)
    else:
        import xlwt
        wb = xlwt.Workbook()
        date = xlwt.easyxf(num_format_str="MMM YYYY")
        for name, content in book.items():
            ws = wb.add_sheet(name)
            if content is None:
                ws.write(0, 0, "remark")
                continue
            headers, columns = content
            for c, h in enumerate(headers):
                ws.write(0, c + 1, h)
            for r, m in enumerate(months):
                ws.write(r + 1, 0, m, date)
                for c, values in enumerate(columns):
                    if values[r] is not None:
                        ws.write(r + 1, c + 1, values[r])
        wb.save(path)
save(old, old_path)
save(new, new_path)
)PY";

// {sheet: {"row,column": ["number" or "text", value]}} of a book as Gnumeric's ssconvert reads
// it (saved in Gnumeric's own file format); numbers with 17 significant digits (%.17g), as the
// test writes its own reader's.
const char* const GnumericScript = R"PY(
import sys, json, subprocess
import xml.etree.ElementTree as ET
book, out = sys.argv[1], sys.argv[2]
subprocess.run(["ssconvert", "--export-type=Gnumeric_XmlIO:sax:0", book, out], check=True,
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
G = "{http://www.gnumeric.org/v10.dtd}"
root = ET.parse(out).getroot()
result = {}
for sheet in root.iter(G + "Sheet"):
    name = sheet.find(G + "Name").text
    cells = {}
    for cell in sheet.iter(G + "Cell"):
        key = "%s,%s" % (cell.get("Row"), cell.get("Col"))
        if cell.get("ValueType") == "40":
            cells[key] = ["number", "%.17g" % float(cell.text)]
        elif cell.get("ValueType") == "60":
            cells[key] = ["text", cell.text or ""]
        else:
            cells[key] = ["other", cell.get("ValueType")]
    result[name] = cells
print(json.dumps(result))
)PY";

QTEST_GUILESS_MAIN(TestCliBooks)
#include "tst_cli_books.moc"
