#include "support/WorkbookTestTools.h"

#include "workbook/BiffRecords.h"
#include "workbook/CompoundFile.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <random>

using namespace WorkbookTestTools;

// The containers of an .xls workbook: the compound file and the shared string table, written and
// read back by our own code and by olefile.
class TestCompoundFile : public QObject {
    Q_OBJECT

private slots:
    void compoundFileRoundTrip_data();
    void compoundFileRoundTrip();
    void sharedStringsRoundTrip();
};

void TestCompoundFile::compoundFileRoundTrip_data()
{
    QTest::addColumn<QList<int>>("sizes");
    QTest::newRow("one small stream") << QList<int> { 100 };
    QTest::newRow("at the mini stream cutoff") << QList<int> { 4095, 4096, 0, 1 };
    QTest::newRow("many entries") << QList<int> { 10, 20, 30, 40, 50, 60, 70, 80, 90, 5000, 6000,
        7000, 64, 65 };
    QTest::newRow("beyond the header's FAT slots") << QList<int> { 8 * 1024 * 1024, 300 };
}

void TestCompoundFile::compoundFileRoundTrip()
{
    QFETCH(QList<int>, sizes);
    Workbook::CompoundFile file;
    std::mt19937 rng(3);
    for (int i = 0; i < sizes.size(); ++i) {
        Workbook::CompoundFile::Entry e;
        e.name = i % 3 == 0 ? QStringLiteral("Stream %1").arg(i) : QStringLiteral("s%1").arg(i);
        e.data.resize(sizes.at(i));
        for (auto& b : e.data)
            b = static_cast<char>(rng());
        file.root().children.push_back(e);
    }
    Workbook::CompoundFile::Entry storage;
    storage.name = QStringLiteral("_VBA_PROJECT_CUR");
    storage.storage = true;
    Workbook::CompoundFile::Entry inner;
    inner.name = QStringLiteral("dir");
    inner.data = QByteArray(700, 'x');
    storage.children.push_back(inner);
    file.root().children.push_back(storage);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cf.bin"));
    QVERIFY(writeFile(path, file.write()));

    // olefile reads every stream back with its content.
    bool ok = false;
    QString errors;
    const QByteArray out = runPython(QStringLiteral(R"PY(
import sys, json, hashlib, olefile
f = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_INCORRECT)
print(json.dumps({"/".join(p): hashlib.sha256(f.openstream(p).read()).hexdigest() for p in f.listdir()}))
)PY"),
        { path }, &ok, &errors);
    QVERIFY2(ok, qPrintable(errors));
    const QJsonObject hashes = QJsonDocument::fromJson(out).object();
    QCOMPARE(hashes.size(), sizes.size() + 1);
    for (const auto& e : file.root().children) {
        if (e.storage)
            continue;
        const QString expected = QString::fromLatin1(
            QCryptographicHash::hash(e.data, QCryptographicHash::Sha256).toHex());
        QCOMPARE(hashes.value(e.name).toString(), expected);
    }
    QCOMPARE(hashes.value(QStringLiteral("_VBA_PROJECT_CUR/dir")).toString(),
        QString::fromLatin1(
            QCryptographicHash::hash(inner.data, QCryptographicHash::Sha256).toHex()));

    // And so does our own reader.
    Workbook::CompoundFile back;
    QString error;
    QVERIFY2(back.read(fileBytes(path), &error), qPrintable(error));
    QCOMPARE(static_cast<int>(back.root().children.size()), sizes.size() + 1);
    for (const auto& e : file.root().children)
        if (!e.storage) {
            QVERIFY(back.stream(e.name));
            QVERIFY(back.stream(e.name)->data == e.data);
        }
}

void TestCompoundFile::sharedStringsRoundTrip()
{
    // Enough long strings to spill over many CONTINUE records, some of them needing two bytes a
    // character, so that strings are split across records with a change of width.
    std::vector<Workbook::Biff::SstString> strings;
    for (int i = 0; i < 3000; ++i) {
        Workbook::Biff::SstString s;
        s.text = QString(i % 97, QLatin1Char('a' + i % 26))
            + (i % 5 == 0 ? QStringLiteral("€ü") : QStringLiteral("x"));
        strings.push_back(s);
    }
    QByteArray stream;
    Workbook::Biff::writeSst(stream, 5000, strings);
    std::vector<Workbook::Biff::Record> records;
    int at = 0;
    while (at < stream.size()) {
        Workbook::Biff::Record r;
        r.type = Workbook::get16(stream, at);
        r.length = Workbook::get16(stream, at + 2);
        r.offset = at;
        QVERIFY(r.length <= Workbook::Biff::MaxRecordData);
        records.push_back(r);
        at = r.end();
    }
    QCOMPARE(at, stream.size());
    QVERIFY(records.size() > 10);
    QCOMPARE(records.back().type, quint16(Workbook::Biff::ExtSst));
    std::vector<QByteArray> blocks;
    for (size_t i = 0; i + 1 < records.size(); ++i)
        blocks.push_back(stream.mid(records[i].dataOffset(), records[i].length));
    quint32 total = 0;
    std::vector<Workbook::Biff::SstString> back;
    QVERIFY(Workbook::Biff::parseSst(blocks, &total, &back));
    QCOMPARE(total, 5000u);
    QCOMPARE(back.size(), strings.size());
    for (size_t i = 0; i < strings.size(); ++i)
        QCOMPARE(back[i].text, strings[i].text);
    // Every bucket of the index points at the start of its string.
    const QByteArray ext = stream.mid(records.back().dataOffset(), records.back().length);
    const int perBucket = Workbook::get16(ext, 0);
    QCOMPARE(perBucket, 1 + 3000 / 128);
    for (int b = 0; 2 + 8 * b < ext.size(); ++b) {
        const int pos = static_cast<int>(Workbook::get32(ext, 2 + 8 * b));
        const int inRecord = Workbook::get16(ext, 6 + 8 * b);
        const QString& text = strings[static_cast<size_t>(b * perBucket)].text;
        QCOMPARE(static_cast<int>(Workbook::get16(stream, pos)), text.size());
        const auto record = std::find_if(records.begin(), records.end(),
            [&](const Workbook::Biff::Record& r) { return r.offset <= pos && pos < r.end(); });
        QCOMPARE(pos - record->offset, inRecord);
    }
}

QTEST_GUILESS_MAIN(TestCompoundFile)
#include "tst_compoundfile.moc"
