#include "ExportChecks.h"

#include "workbook/CellFormat.h"
#include "workbook/SheetCells.h"
#include "workbook/XlsxReader.h"

#include <QJsonDocument>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <random>

using namespace WorkbookTestTools;

namespace ExportChecks {

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

bool editedBook(
    const QString& path, const QString& part, const QString& expression, const QStringList& args)
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

QString makeOpenpyxlBook(const QString& dir, bool excelParts)
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

void checkExport(const QString& path, const QStringList& sheetNames,
    const std::vector<std::vector<Column>>& sheets, const std::vector<QDate>& dates,
    bool withOpenpyxl)
{
    // Our own reader.
    Workbook::XlsxReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QCOMPARE(reader.sheetNames().mid(reader.sheetNames().size() - sheetNames.size()), sheetNames);
    const int offset = reader.sheetNames().size() - sheetNames.size();
    for (int s = 0; s < sheetNames.size(); ++s) {
        Workbook::SheetCells cells;
        QVERIFY2(reader.readSheet(offset + s, &cells, &error), qPrintable(error));
        QCOMPARE(cells.at(0, 0).type, Workbook::ReadCell::Empty);
        QCOMPARE(cells.rowCount(), static_cast<int>(dates.size()) + 1);
        QCOMPARE(cells.columnCount(), static_cast<int>(sheets[s].size()) + 1);
        for (size_t r = 0; r < dates.size(); ++r) {
            const auto date = cells.at(static_cast<int>(r) + 1, 0);
            QCOMPARE(date.type, Workbook::ReadCell::Number);
            QCOMPARE(date.number, double(Workbook::XlCell::serialOf(dates[r])));
            QCOMPARE(date.numberFormat, QStringLiteral("m/yyyy"));
        }
        for (size_t c = 0; c < sheets[s].size(); ++c) {
            const auto header = cells.at(0, static_cast<int>(c) + 1);
            QCOMPARE(header.type, Workbook::ReadCell::Text);
            QCOMPARE(header.text, sheets[s][c].header);
            QCOMPARE(header.numberFormat, QStringLiteral("@"));
            QCOMPARE(header.alignment, QStringLiteral("center"));
            for (size_t r = 0; r < dates.size(); ++r) {
                const auto cell = cells.at(static_cast<int>(r) + 1, static_cast<int>(c) + 1);
                const double expected = sheets[s][c].values[r];
                if (std::isnan(expected)) {
                    QCOMPARE(cell.type, Workbook::ReadCell::Text);
                    QCOMPARE(cell.text, QStringLiteral("NaN"));
                } else {
                    QCOMPARE(cell.type, Workbook::ReadCell::Number);
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
            QCOMPARE(
                hexToDouble(date.at(3).toString()), double(Workbook::XlCell::serialOf(dates[r])));
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

} // namespace ExportChecks
