#include "support/WorkbookTestTools.h"

#include "export/LibXlConnect.h"
#include "workbook/BiffRecords.h"
#include "workbook/CellFormat.h"
#include "workbook/CompoundFile.h"
#include "workbook/XlsReader.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

using namespace WorkbookTestTools;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const QString Baseline = QStringLiteral("Baseline Monthly Data");

std::vector<double> trickyValues(int count, int seed)
{
    const double fixed[] = { 0.1, 1.0 / 3.0, -2.5e17, 123456789.12345679, 5e-324, DBL_MAX, -DBL_MIN,
        1e21, NaN, 0.30000000000000004, 42.0, -7.0 };
    std::vector<double> values;
    std::mt19937_64 rng(static_cast<unsigned long long>(seed));
    std::uniform_real_distribution<double> dist(-1e6, 1e6);
    for (int i = 0; i < count; ++i) {
        const size_t k = static_cast<size_t>(i + seed) % (sizeof fixed / sizeof fixed[0]);
        values.push_back(i % 2 == 0 ? fixed[k] : dist(rng));
    }
    return values;
}

struct Column {
    QString header;
    std::vector<double> values;
};

QJsonObject xlrdDump(const QString& path)
{
    bool ok = false;
    QString errors;
    const QByteArray out = runPython(QString::fromUtf8(DumpXlsScript), { path }, &ok, &errors);
    if (!ok)
        qWarning().noquote() << errors;
    return ok ? QJsonDocument::fromJson(out).object() : QJsonObject();
}

// The bytes of each sheet's substream, by sheet name.
QHash<QString, QByteArray> sheetSubstreams(const QString& path)
{
    QHash<QString, QByteArray> result;
    Workbook::CompoundFile file;
    QString error;
    if (!file.read(fileBytes(path), &error) || !file.stream(QStringLiteral("Workbook")))
        return result;
    const QByteArray stream = file.stream(QStringLiteral("Workbook"))->data;
    std::vector<Workbook::Biff::Record> globals;
    Workbook::Biff::readSubstream(stream, 0, &globals);
    for (const auto& r : globals) {
        if (r.type != Workbook::Biff::BoundSheet)
            continue;
        const QByteArray d = stream.mid(r.dataOffset(), r.length);
        const int start = static_cast<int>(Workbook::get32(d, 0));
        std::vector<Workbook::Biff::Record> records;
        Workbook::Biff::readSubstream(stream, start, &records);
        result.insert(Workbook::Biff::readUnicodeString(d, 6, true),
            stream.mid(start, records.back().end() - start));
    }
    return result;
}

} // namespace

class TestXlsWorkbook : public QObject {
    Q_OBJECT

private slots:
    void newWorkbookReadsBack_data();
    void newWorkbookReadsBack();
    void existingWorkbookKeepsOtherSheets();
    void refusedWorkbooks_data();
    void refusedWorkbooks();
    void formatLimitsRefused_data();
    void formatLimitsRefused();
    void failedSaveLeavesFileUntouched();
    void movedSheetKeepsItsIndex();

private:
    QString makeXlwtBook(const QString& dir);
};

void TestXlsWorkbook::newWorkbookReadsBack_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("xls") << QStringLiteral("out.xls");
    QTest::newRow("upper case XLS") << QStringLiteral("OUT.XLS");
}

void TestXlsWorkbook::newWorkbookReadsBack()
{
    QFETCH(QString, fileName);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    const auto dates = months(2000, 2001);
    const std::vector<std::vector<Column>> sheets = {
        { { QStringLiteral("Upper.Return Flow Salinity Pickup Conc"), trickyValues(24, 1) },
            { QStringLiteral("Upper:Farm Ü.Diversion Requested"), trickyValues(24, 2) },
            { QStringLiteral("Upper:Farm Ü.Depletion Requested"), trickyValues(24, 3) } },
        { { QStringLiteral("Lower.Salt Mass Removal"), std::vector<double>(24, NaN) } },
        { { QStringLiteral("Lower:Town € works.Diversion Schedule"), trickyValues(24, 5) } },
    };
    const QStringList names
        = { Baseline, QStringLiteral("Wet years"), QStringLiteral("Trockenjahre ü") };
    LibXlConnect book;
    QVERIFY(book.open(path).isOk());
    for (size_t s = 0; s < sheets.size(); ++s)
        for (const auto& column : sheets[s])
            QVERIFY(book.writeColumn(names.at(static_cast<int>(s)), column.header, 24, dates.data(),
                            column.values.data())
                        .isOk());
    const TARN::okstat saved = book.save();
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { fileName });

    Workbook::XlsReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QCOMPARE(reader.sheetNames(), names);
    const QJsonObject dump = xlrdDump(path);
    QVERIFY(!dump.isEmpty());
    QCOMPARE(
        dump.value(QStringLiteral("sheets")).toArray().toVariantList(), QVariant(names).toList());
    for (int s = 0; s < names.size(); ++s) {
        Workbook::SheetCells cells;
        QVERIFY(reader.readSheet(s, &cells, &error));
        QHash<QString, QJsonArray> py;
        for (const auto& c :
            dump.value(QStringLiteral("cells")).toObject().value(names.at(s)).toArray())
            py.insert(QStringLiteral("%1,%2")
                          .arg(c.toArray().at(0).toInt())
                          .arg(c.toArray().at(1).toInt()),
                c.toArray());
        QCOMPARE(py.size(), static_cast<int>((sheets[s].size() + 1) * 25 - 1));
        QCOMPARE(cells.cellCount(), py.size());
        for (int r = 1; r <= 24; ++r) {
            const QJsonArray date = py.value(QStringLiteral("%1,0").arg(r));
            QCOMPARE(date.at(2).toString(), QStringLiteral("date"));
            QCOMPARE(hexToDouble(date.at(3).toString()),
                double(Workbook::XlCell::serialOf(dates[static_cast<size_t>(r - 1)])));
            QCOMPARE(date.at(4).toString(), QStringLiteral("m/yyyy"));
            QCOMPARE(cells.at(r, 0).numberFormat, QStringLiteral("m/yyyy"));
        }
        QCOMPARE(hexToDouble(py.value(QStringLiteral("1,0")).at(3).toString()), 36526.0);
        QCOMPARE(hexToDouble(py.value(QStringLiteral("24,0")).at(3).toString()), 37226.0);
        for (size_t c = 0; c < sheets[s].size(); ++c) {
            const QJsonArray header = py.value(QStringLiteral("0,%1").arg(c + 1));
            QCOMPARE(header.at(3).toString(), sheets[s][c].header);
            QCOMPARE(header.at(4).toString(), QStringLiteral("@"));
            QCOMPARE(header.at(5).toString(), QStringLiteral("center"));
            QCOMPARE(cells.at(0, static_cast<int>(c) + 1).text, sheets[s][c].header);
            QCOMPARE(cells.at(0, static_cast<int>(c) + 1).alignment, QStringLiteral("center"));
            for (int r = 1; r <= 24; ++r) {
                const double expected = sheets[s][c].values[static_cast<size_t>(r - 1)];
                const QJsonArray cell = py.value(QStringLiteral("%1,%2").arg(r).arg(c + 1));
                const Workbook::ReadCell own = cells.at(r, static_cast<int>(c) + 1);
                if (std::isnan(expected)) {
                    QCOMPARE(cell.at(2).toString(), QStringLiteral("text"));
                    QCOMPARE(cell.at(3).toString(), QStringLiteral("NaN"));
                    QCOMPARE(own.text, QStringLiteral("NaN"));
                } else {
                    QCOMPARE(cell.at(2).toString(), QStringLiteral("number"));
                    QVERIFY2(hexToDouble(cell.at(3).toString()) == expected,
                        qPrintable(cell.at(3).toString()));
                    QVERIFY(own.number == expected);
                }
                QCOMPARE(cell.at(4).toString(), QStringLiteral("General"));
            }
        }
    }
}

QString TestXlsWorkbook::makeXlwtBook(const QString& dir)
{
    const QString path = dir + QStringLiteral("/existing.xls");
    bool ok = false;
    QString errors;
    runPython(QStringLiteral(R"PY(
import sys, xlwt
wb = xlwt.Workbook()
notes = wb.add_sheet("Notes")
notes.write(0, 0, 1.5, xlwt.easyxf("font: bold on", num_format_str="0.000"))
notes.write(1, 0, "remark")
notes.write(2, 0, "Baseline Monthly Data")
old = wb.add_sheet("Baseline Monthly Data")
old.write(0, 0, "stale")
old.write(1, 1, 99)
other = wb.add_sheet("Other")
other.write(0, 0, 5)
other.write(1, 0, xlwt.Formula("Notes!A1+1"))
notes.write(0, 1, xlwt.Formula("Other!A1*2"))
wb.active_sheet = 1
wb.save(sys.argv[1])
)PY"),
        { path }, &ok, &errors);
    if (!ok)
        qWarning().noquote() << errors;
    return ok ? path : QString();
}

void TestXlsWorkbook::existingWorkbookKeepsOtherSheets()
{
    QTemporaryDir dir;
    const QString path = makeXlwtBook(dir.path());
    QVERIFY(!path.isEmpty());
    const QJsonObject before = xlrdDump(path);
    const auto substreamsBefore = sheetSubstreams(path);
    QCOMPARE(substreamsBefore.size(), 3);
    auto sheetLinks = [](const QString& file) {
        bool ok = false;
        QString errors;
        const QByteArray out = runPython(QStringLiteral(R"PY(
import sys, xlrd
b = xlrd.open_workbook(sys.argv[1], formatting_info=True)
print([(first, last) for _, first, last in b._externsheet_info], [s.sheet_selected for s in b.sheets()])
)PY"),
            { file }, &ok, &errors);
        return ok ? QString::fromUtf8(out).trimmed() : errors;
    };
    const QString linksBefore = sheetLinks(path);

    const auto dates = months(2000, 2000);
    const auto values = trickyValues(12, 4);
    LibXlConnect book;
    TARN::okstat status = book.open(path);
    QVERIFY2(status.isOk(), qPrintable(status.text()));
    QVERIFY(book.writeColumn(Baseline, QStringLiteral("remark"), 12, dates.data(), values.data())
                .isOk());
    QVERIFY(book.writeColumn(Baseline, QStringLiteral("Upper.Salt Mass Removal"), 12, dates.data(),
                    values.data())
                .isOk());
    status = book.save();
    QVERIFY2(status.isOk(), qPrintable(status.text()));
    QCOMPARE(
        QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("existing.xls") });

    const QJsonObject after = xlrdDump(path);
    QCOMPARE(after.value(QStringLiteral("sheets")).toArray(),
        (QJsonArray { QStringLiteral("Notes"), QStringLiteral("Other"), Baseline }));
    for (const QString& kept : { QStringLiteral("Notes"), QStringLiteral("Other") }) {
        QCOMPARE(after.value(QStringLiteral("cells")).toObject().value(kept),
            before.value(QStringLiteral("cells")).toObject().value(kept));
        // The kept sheets' records are copied unchanged.
        QCOMPARE(sheetSubstreams(path).value(kept), substreamsBefore.value(kept));
    }
    const auto cells = after.value(QStringLiteral("cells")).toObject().value(Baseline).toArray();
    QCOMPARE(cells.size(), 2 + 12 * 3);

    // The formulas' sheet references follow "Other" from position 2 to 1 (65534 marks the book
    // itself), and the active sheet, which was replaced, is now the new one; xlrd shows both.
    QCOMPARE(linksBefore, QStringLiteral("[(65534, 65534), (0, 0), (2, 2)] [0, 1, 0]"));
    QCOMPARE(sheetLinks(path), QStringLiteral("[(65534, 65534), (0, 0), (1, 1)] [0, 0, 1]"));

    // Our own reader sees the same, and the string it shares with "Notes" is not duplicated.
    Workbook::XlsReader reader;
    QString error;
    QVERIFY(reader.open(path, &error));
    Workbook::SheetCells sheet;
    QVERIFY(reader.readSheet(2, &sheet, &error));
    QCOMPARE(sheet.at(0, 1).text, QStringLiteral("remark"));
    QCOMPARE(sheet.at(12, 0).number, 36861.0);
    Workbook::SheetCells notes;
    QVERIFY(reader.readSheet(0, &notes, &error));
    QCOMPARE(notes.at(1, 0).text, QStringLiteral("remark"));
    QCOMPARE(notes.at(0, 0).numberFormat, QStringLiteral("0.000"));

    // A second export into the same book adds no more formats.
    bool ok = false;
    QString errors;
    const int xfsBefore = QString::fromUtf8(
        runPython(QStringLiteral("import sys, xlrd; print(len(xlrd.open_workbook(sys.argv[1], "
                                 "formatting_info=True).xf_list))"),
            { path }, &ok, &errors))
                              .trimmed()
                              .toInt();
    QVERIFY(book.open(path).isOk());
    QVERIFY(book.writeColumn(Baseline, QStringLiteral("again"), 12, dates.data(), values.data())
                .isOk());
    QVERIFY(book.save().isOk());
    const int xfsAfter = QString::fromUtf8(
        runPython(QStringLiteral("import sys, xlrd; print(len(xlrd.open_workbook(sys.argv[1], "
                                 "formatting_info=True).xf_list))"),
            { path }, &ok, &errors))
                             .trimmed()
                             .toInt();
    QVERIFY(xfsBefore > 0);
    QCOMPARE(xfsAfter, xfsBefore);
    QCOMPARE(
        xlrdDump(path).value(QStringLiteral("cells")).toObject().value(QStringLiteral("Notes")),
        before.value(QStringLiteral("cells")).toObject().value(QStringLiteral("Notes")));
}

void TestXlsWorkbook::refusedWorkbooks_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("encrypted") << QStringLiteral("encrypted") << QStringLiteral("encrypted");
    QTest::newRow("Excel 5.0 stream name")
        << QStringLiteral("book") << QStringLiteral("Excel 5.0/95");
    QTest::newRow("BIFF5 records") << QStringLiteral("biff5") << QStringLiteral("Excel 97-2003");
    QTest::newRow("not a compound file")
        << QStringLiteral("garbage") << QStringLiteral("not a compound file");
}

void TestXlsWorkbook::refusedWorkbooks()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString source = makeXlwtBook(dir.path());
    QVERIFY(!source.isEmpty());
    Workbook::CompoundFile file;
    QString error;
    QVERIFY(file.read(fileBytes(source), &error));
    Workbook::CompoundFile::Entry* workbook = file.stream(QStringLiteral("Workbook"));
    QVERIFY(workbook);
    QByteArray& stream = workbook->data;
    const int bofEnd = 4 + Workbook::get16(stream, 2);
    if (kind == QLatin1String("encrypted")) {
        QByteArray filePass;
        Workbook::Biff::appendRecord(filePass, Workbook::Biff::FilePass, QByteArray(54, '\x01'));
        stream.insert(bofEnd, filePass);
    } else if (kind == QLatin1String("book")) {
        workbook->name = QStringLiteral("Book");
    } else if (kind == QLatin1String("biff5")) {
        Workbook::put16(stream, 4, 0x0500);
    }
    const QString path = dir.filePath(QStringLiteral("refused.xls"));
    QVERIFY(
        writeFile(path, kind == QLatin1String("garbage") ? QByteArray(2048, 'g') : file.write()));
    const QByteArray before = fileBytes(path);

    LibXlConnect book;
    const TARN::okstat status = book.open(path);
    QVERIFY(status.failed());
    QVERIFY2(
        status.text().startsWith(QStringLiteral("Error loading the workbook \"%1\": ").arg(path)),
        qPrintable(status.text()));
    QVERIFY2(status.text().contains(reason), qPrintable(status.text()));
    QVERIFY(!book.isOpen());
    QCOMPARE(fileBytes(path), before);
}

void TestXlsWorkbook::formatLimitsRefused_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("limit");
    QTest::newRow("255 data columns fit") << 255 << 12 << true << QString();
    QTest::newRow("256 data columns don't") << 256 << 12 << false << QStringLiteral("256 columns");
    QTest::newRow("65535 months fit") << 1 << 65535 << true << QString();
    QTest::newRow("65536 months don't") << 1 << 65536 << false << QStringLiteral("65536 rows");
}

void TestXlsWorkbook::formatLimitsRefused()
{
    QFETCH(int, columns);
    QFETCH(int, rows);
    QFETCH(bool, accepted);
    QFETCH(QString, limit);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.xls"));
    std::vector<QDate> dates(static_cast<size_t>(rows), QDate(2000, 1, 1));
    const std::vector<double> values(static_cast<size_t>(rows), 2.5);
    LibXlConnect book;
    QVERIFY(book.open(path).isOk());
    // The size can be checked before any data is read...
    const TARN::okstat early = book.checkSize(rows + 1, columns + 1);
    QCOMPARE(early.isOk(), accepted);
    // ...and writing refuses the column that doesn't fit.
    TARN::okstat status;
    for (int c = 0; c < columns && status.isOk(); ++c)
        status = book.writeColumn(
            Baseline, QStringLiteral("c%1").arg(c), rows, dates.data(), values.data());
    QCOMPARE(status.isOk(), accepted);
    if (!accepted) {
        QVERIFY2(status.text().contains(limit) && status.text().contains(QLatin1String(".xlsx")),
            qPrintable(status.text()));
        QVERIFY2(early.text().contains(limit), qPrintable(early.text()));
        QVERIFY(!QFile::exists(path));
        return;
    }
    const TARN::okstat saved = book.save();
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));
    Workbook::XlsReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    Workbook::SheetCells cells;
    QVERIFY(reader.readSheet(0, &cells, &error));
    QCOMPARE(cells.rowCount(), rows + 1);
    QCOMPARE(cells.columnCount(), columns + 1);
    QCOMPARE(cells.at(rows, columns).number, 2.5);
}

void TestXlsWorkbook::failedSaveLeavesFileUntouched()
{
    QTemporaryDir dir;
    const QString path = makeXlwtBook(dir.path());
    QVERIFY(!path.isEmpty());
    const QByteArray before = fileBytes(path);
    std::atomic_bool cancel(true);
    const auto dates = months(2000, 2001);
    const auto values = trickyValues(24, 1);
    LibXlConnect book;
    QVERIFY(book.open(path).isOk());
    book.setCancelFlag(&cancel);
    QVERIFY(
        book.writeColumn(Baseline, QStringLiteral("x"), 24, dates.data(), values.data()).isOk());
    const TARN::okstat status = book.save();
    QVERIFY(status.failed());
    QVERIFY2(
        status.text().startsWith(QStringLiteral("Error saving the workbook \"%1\": ").arg(path)),
        qPrintable(status.text()));
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("existing.xls") });
}

void TestXlsWorkbook::movedSheetKeepsItsIndex()
{
    // Excel writes an INDEX record into each sheet, with absolute stream positions of the
    // sheet's own records. Give "Other" (the last sheet, which moves up when the sheet before
    // it is replaced) one that points at two of its records.
    QTemporaryDir dir;
    const QString source = makeXlwtBook(dir.path());
    QVERIFY(!source.isEmpty());
    Workbook::CompoundFile file;
    QString error;
    QVERIFY(file.read(fileBytes(source), &error));
    QByteArray& stream = file.stream(QStringLiteral("Workbook"))->data;
    std::vector<Workbook::Biff::Record> globals;
    QVERIFY(Workbook::Biff::readSubstream(stream, 0, &globals));
    int otherStart = -1;
    for (const auto& r : globals)
        if (r.type == Workbook::Biff::BoundSheet
            && Workbook::Biff::readUnicodeString(stream.mid(r.dataOffset(), r.length), 6, true)
                == QLatin1String("Other"))
            otherStart = static_cast<int>(Workbook::get32(stream, r.dataOffset()));
    QVERIFY(otherStart > 0);
    std::vector<Workbook::Biff::Record> records;
    QVERIFY(Workbook::Biff::readSubstream(stream, otherStart, &records));
    QVERIFY(records.size() > 4);
    const int bofEnd = records[0].end();
    const int indexSize = 4 + 20;
    // Targets, as positions after the INDEX record is inserted.
    const Workbook::Biff::Record first = records[1];
    const Workbook::Biff::Record last = records[records.size() - 2];
    QByteArray index(20, '\0');
    Workbook::put32(index, 12, static_cast<quint32>(first.offset + indexSize));
    Workbook::put32(index, 16, static_cast<quint32>(last.offset + indexSize));
    QByteArray record;
    Workbook::Biff::appendRecord(record, Workbook::Biff::Index, index);
    stream.insert(bofEnd, record);
    QVERIFY(writeFile(source, file.write()));

    LibXlConnect book;
    QVERIFY(book.open(source).isOk());
    const auto dates = months(2000, 2000);
    const auto values = trickyValues(12, 8);
    QVERIFY(
        book.writeColumn(Baseline, QStringLiteral("h"), 12, dates.data(), values.data()).isOk());
    const TARN::okstat saved = book.save();
    QVERIFY2(saved.isOk(), qPrintable(saved.text()));

    Workbook::CompoundFile after;
    QVERIFY(after.read(fileBytes(source), &error));
    const QByteArray newStream = after.stream(QStringLiteral("Workbook"))->data;
    const QByteArray other = sheetSubstreams(source).value(QStringLiteral("Other"));
    const int newStart = newStream.indexOf(other);
    QVERIFY(newStart > 0);
    QVERIFY(newStart != otherStart);
    const int indexAt = newStart + records[0].end() - otherStart;
    QCOMPARE(Workbook::get16(newStream, indexAt), quint16(Workbook::Biff::Index));
    const int xfAt = static_cast<int>(Workbook::get32(newStream, indexAt + 4 + 12));
    const int rowAt = static_cast<int>(Workbook::get32(newStream, indexAt + 4 + 16));
    QCOMPARE(xfAt, newStart + first.offset + indexSize - otherStart);
    QCOMPARE(rowAt, newStart + last.offset + indexSize - otherStart);
    QCOMPARE(Workbook::get16(newStream, xfAt), first.type);
    QCOMPARE(Workbook::get16(newStream, rowAt), last.type);
    QCOMPARE(xlrdDump(source).value(QStringLiteral("sheets")).toArray().size(), 3);
}

QTEST_GUILESS_MAIN(TestXlsWorkbook)
#include "tst_xlsworkbook.moc"
