#include "support/WorkbookTestTools.h"

#include "workbook/OpcPackage.h"

#include <QTemporaryDir>
#include <QtTest>

#include <zlib.h>

#include <atomic>

using namespace WorkbookTestTools;
using Workbook::OpcPackage;

namespace {

// The parts of a small package, one of them named with capitals, as some writers do.
QMap<QString, QByteArray> sampleParts()
{
    return { { QStringLiteral("[Content_Types].xml"), QByteArray("<Types/>") },
        { QStringLiteral("Xl/Workbook.XML"), QByteArray("<workbook/>") },
        { QStringLiteral("xl/_rels/workbook.xml.rels"),
            QByteArray("<Relationships><Relationship Id=\"rId1\" Type=\"t/worksheet\" "
                       "Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
                       "Type=\"t/hyperlink\" Target=\"http://example.org/a\" "
                       "TargetMode=\"External\"/><Relationship Id=\"rId3\" Type=\"t/custom\" "
                       "Target=\"../docProps/custom.xml\"/></Relationships>") } };
}

bool makePackage(const QString& path, const QMap<QString, QByteArray>& parts)
{
    OpcPackage package;
    package.create(path, parts);
    QString error;
    const bool committed = package.commit({}, &error);
    if (!committed)
        qWarning().noquote() << error;
    return committed;
}

QString describe(const std::vector<OpcPackage::Relationship>& rels)
{
    QStringList out;
    for (const auto& rel : rels)
        out << QStringLiteral("%1 %2 %3%4")
                   .arg(rel.id, rel.type, rel.target,
                       rel.external ? QStringLiteral(" external") : QString());
    return out.join(QLatin1Char('|'));
}

} // namespace

// The ZIP package that the .xlsx writer and reader share.
class TestOpcPackage : public QObject {
    Q_OBJECT

private slots:
    void partNames_data();
    void partNames();
    void partsFoundWithoutRegardToCase();
    void relationshipsResolved();
    void damagedRelationshipsKeepWhatWasRead();
    void smallPartsInflateWithinLimits();
    void commitReplacesAndKeeps();
    void cancelledCommitLeavesTheFile();
};

void TestOpcPackage::partNames_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("result");
    QTest::newRow("rels of a part")
        << QStringLiteral("relsPartOf") << QString() << QStringLiteral("xl/workbook.xml")
        << QStringLiteral("xl/_rels/workbook.xml.rels");
    QTest::newRow("rels of the package")
        << QStringLiteral("relsPartOf") << QString() << QString() << QStringLiteral("_rels/.rels");
    QTest::newRow("relative target")
        << QStringLiteral("resolve") << QStringLiteral("xl/workbook.xml")
        << QStringLiteral("worksheets/sheet1.xml") << QStringLiteral("xl/worksheets/sheet1.xml");
    QTest::newRow("target above") << QStringLiteral("resolve") << QStringLiteral("xl/workbook.xml")
                                  << QStringLiteral("../docProps/./app.xml")
                                  << QStringLiteral("docProps/app.xml");
    QTest::newRow("absolute target")
        << QStringLiteral("resolve") << QStringLiteral("xl/worksheets/sheet1.xml")
        << QStringLiteral("/xl/styles.xml") << QStringLiteral("xl/styles.xml");
    QTest::newRow("target from the package")
        << QStringLiteral("resolve") << QString() << QStringLiteral("xl/workbook.xml")
        << QStringLiteral("xl/workbook.xml");
    QTest::newRow("target of a part in the same folder")
        << QStringLiteral("relativeTarget") << QStringLiteral("xl/workbook.xml")
        << QStringLiteral("xl/worksheets/sheet2.xml") << QStringLiteral("worksheets/sheet2.xml");
    QTest::newRow("target of a part elsewhere")
        << QStringLiteral("relativeTarget") << QStringLiteral("xl/workbook.xml")
        << QStringLiteral("docProps/custom.xml") << QStringLiteral("/docProps/custom.xml");
}

void TestOpcPackage::partNames()
{
    QFETCH(QString, function);
    QFETCH(QString, source);
    QFETCH(QString, argument);
    QFETCH(QString, result);
    if (function == QLatin1String("relsPartOf"))
        QCOMPARE(OpcPackage::relsPartOf(argument), result);
    else if (function == QLatin1String("resolve"))
        QCOMPARE(OpcPackage::resolve(source, argument), result);
    else
        QCOMPARE(OpcPackage::relativeTarget(source, argument), result);
}

void TestOpcPackage::partsFoundWithoutRegardToCase()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.xlsx"));
    QVERIFY(makePackage(path, sampleParts()));
    OpcPackage package;
    QString error;
    QVERIFY2(package.open(path, OpcPackage::ReadOnly, &error), qPrintable(error));
    QCOMPARE(package.partNames().size(), 3);
    QVERIFY(package.hasPart(QStringLiteral("xl/workbook.xml")));
    QCOMPARE(
        package.actualName(QStringLiteral("XL/WORKBOOK.xml")), QStringLiteral("Xl/Workbook.XML"));
    QVERIFY(package.actualName(QStringLiteral("xl/styles.xml")).isEmpty());
    QByteArray data;
    QVERIFY2(
        package.readPart(QStringLiteral("xl/workbook.xml"), OpcPackage::SmallPart, &data, &error),
        qPrintable(error));
    QCOMPARE(data, QByteArray("<workbook/>"));
    QVERIFY(
        !package.readPart(QStringLiteral("xl/styles.xml"), OpcPackage::SmallPart, &data, &error));
    QCOMPARE(error, QStringLiteral("the part xl/styles.xml is missing"));

    // The signature is what the archive records for the bytes; the stream gives them again.
    uint32_t crc = 0;
    uint64_t size = 0;
    QVERIFY(package.partSignature(QStringLiteral("XL/workbook.xml"), &crc, &size));
    QCOMPARE(size, uint64_t(11));
    QCOMPARE(crc, uint32_t(crc32(0, reinterpret_cast<const Bytef*>("<workbook/>"), 11)));
    QVERIFY(!package.partSignature(QStringLiteral("none.xml"), &crc, &size));
    const auto stream = package.openPart(QStringLiteral("xl/WORKBOOK.xml"));
    QVERIFY(stream);
    char buffer[4];
    QByteArray streamed;
    for (qint64 n; (n = stream->read(buffer, sizeof buffer)) > 0;)
        streamed.append(buffer, static_cast<int>(n));
    QCOMPARE(streamed, data);
    QVERIFY(!package.openPart(QStringLiteral("none.xml")));
}

void TestOpcPackage::relationshipsResolved()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.xlsx"));
    QVERIFY(makePackage(path, sampleParts()));
    OpcPackage package;
    QString error;
    QVERIFY2(package.open(path, OpcPackage::ReadOnly, &error), qPrintable(error));
    std::vector<OpcPackage::Relationship> rels;
    QVERIFY2(package.readRelationships(QStringLiteral("xl/_rels/workbook.xml.rels"),
                 QStringLiteral("xl/workbook.xml"), &rels, &error),
        qPrintable(error));
    QCOMPARE(describe(rels),
        QStringLiteral("rId1 t/worksheet xl/worksheets/sheet1.xml|rId2 t/hyperlink "
                       "http://example.org/a external|rId3 t/custom docProps/custom.xml"));
    // A part without relationships has none.
    QVERIFY(package.readRelationships(QStringLiteral("_rels/.rels"), QString(), &rels, &error));
    QVERIFY(rels.empty());
}

void TestOpcPackage::damagedRelationshipsKeepWhatWasRead()
{
    std::vector<OpcPackage::Relationship> rels;
    QString error;
    QVERIFY(!OpcPackage::parseRelationships("<Relationships><Relationship Id=\"a\" Type=\"t/x\" "
                                            "Target=\"x.xml\"/><Relationship Id=\"b\" Targ",
        QStringLiteral("xl/workbook.xml"), &rels, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(describe(rels), QStringLiteral("a t/x xl/x.xml"));
}

// Relationships, styles and properties are read whole into memory: a part that claims to
// inflate far beyond its compressed size is refused before it is, unless it may grow that way.
void TestOpcPackage::smallPartsInflateWithinLimits()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.xlsx"));
    QVERIFY(makePackage(path, { { QStringLiteral("xl/styles.xml"), QByteArray(8 << 20, ' ') } }));
    OpcPackage package;
    QString error;
    QVERIFY2(package.open(path, OpcPackage::ReadOnly, &error), qPrintable(error));
    QByteArray data;
    QVERIFY(
        !package.readPart(QStringLiteral("xl/styles.xml"), OpcPackage::SmallPart, &data, &error));
    QCOMPARE(error, QStringLiteral("the part xl/styles.xml is too large (it inflates to 8 MB)"));
    QVERIFY2(
        package.readPart(QStringLiteral("xl/styles.xml"), OpcPackage::LargePart, &data, &error),
        qPrintable(error));
    QCOMPARE(data.size(), 8 << 20);
}

void TestOpcPackage::commitReplacesAndKeeps()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.xlsx"));
    QVERIFY(makePackage(path, sampleParts()));
    OpcPackage package;
    QString error;
    QVERIFY2(package.open(path, OpcPackage::ReadWrite, &error), qPrintable(error));
    OpcPackage::Changes changes;
    changes.removed << QStringLiteral("[Content_Types].xml");
    changes.parts.insert(QStringLiteral("xl/workbook.xml"), QByteArray("<workbook>2</workbook>"));
    changes.parts.insert(QStringLiteral("xl/new.xml"), QByteArray("<new/>"));
    changes.streamed.emplace_back(QStringLiteral("xl/streamed.xml"), [](zip_t* archive) {
        static const char text[] = "<streamed/>";
        return zip_source_buffer(archive, text, sizeof text - 1, 0);
    });
    double progressed = 0;
    changes.progress = [&](double fraction) { progressed = fraction; };
    QVERIFY2(package.commit(changes, &error), qPrintable(error));
    QCOMPARE(progressed, 1.0);

    QVERIFY2(package.open(path, OpcPackage::ReadOnly, &error), qPrintable(error));
    // A replaced part keeps the name the package spelt it with.
    QCOMPARE(package.partNames(),
        (QStringList { QStringLiteral("Xl/Workbook.XML"),
            QStringLiteral("xl/_rels/workbook.xml.rels"), QStringLiteral("xl/new.xml"),
            QStringLiteral("xl/streamed.xml") }));
    for (const auto& [part, content] :
        { std::pair<QString, QByteArray>(
              QStringLiteral("xl/workbook.xml"), "<workbook>2</workbook>"),
            { QStringLiteral("xl/_rels/workbook.xml.rels"),
                sampleParts().value(QStringLiteral("xl/_rels/workbook.xml.rels")) },
            { QStringLiteral("xl/new.xml"), "<new/>" },
            { QStringLiteral("xl/streamed.xml"), "<streamed/>" } }) {
        QByteArray data;
        QVERIFY2(package.readPart(part, OpcPackage::SmallPart, &data, &error), qPrintable(error));
        QCOMPARE(data, content);
    }
}

void TestOpcPackage::cancelledCommitLeavesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.xlsx"));
    QVERIFY(makePackage(path, sampleParts()));
    const QByteArray before = fileBytes(path);
    OpcPackage package;
    QString error;
    QVERIFY2(package.open(path, OpcPackage::ReadWrite, &error), qPrintable(error));
    OpcPackage::Changes changes;
    changes.parts.insert(QStringLiteral("xl/new.xml"), QByteArray(1 << 20, 'x'));
    const std::atomic_bool cancel { true };
    changes.cancel = &cancel;
    QVERIFY(!package.commit(changes, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("p.xlsx") });
}

QTEST_GUILESS_MAIN(TestOpcPackage)
#include "tst_opcpackage.moc"
