#include "support/WorkbookTestTools.h"

#include "workbook/CustomXml.h"
#include "workbook/DocProperties.h"
#include "workbook/SummaryInformation.h"

#include <QDateTime>
#include <QtTest>

namespace {

using Workbook::DocProperty;

// "name=kind:value" a property, in order.
QStringList describe(const Workbook::DocProperties& properties)
{
    static const char* const kinds[] = { "text", "integer", "time", "other" };
    QStringList out;
    for (const auto& p : properties)
        out << QStringLiteral("%1=%2:%3").arg(p.name, QLatin1String(kinds[p.kind]), p.valueText());
    return out;
}

// A part as another program writes it: its own prefixes, a property of a kind the export never
// writes, and one an earlier export wrote.
const QByteArray ForeignPart
    = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<op:Properties xmlns:op=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "custom-properties\" xmlns:t=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "docPropsVTypes\">\r\n"
      "  <op:property fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"2\" "
      "name=\"Reviewer\"><t:lpwstr>Pat &amp; Lee</t:lpwstr></op:property>\r\n"
      "  <op:property fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"7\" "
      "name=\"Checked\"><t:bool>true</t:bool></op:property>\r\n"
      "  <op:property fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"3\" "
      "name=\"Tarnhelm Sheet Hash: Old\"><t:lpwstr>abc</t:lpwstr></op:property>\r\n"
      "</op:Properties>";

Workbook::PropertyChanges sampleChanges()
{
    Workbook::PropertyChanges changes;
    changes.drops = [](const QString& name) { return name.startsWith(QLatin1String("Tarnhelm")); };
    changes.added = { DocProperty::textProperty(QStringLiteral("reviewer"), QStringLiteral("Sam")),
        DocProperty::integerProperty(QStringLiteral("Big"), Q_INT64_C(5000000000)),
        DocProperty::timeProperty(
            QStringLiteral("When"), QDateTime(QDate(2024, 3, 7), QTime(12, 30, 5), Qt::UTC)) };
    return changes;
}

} // namespace

// The custom document properties on their own: the part of a package and the stream of an .xls
// file, each edited without touching what the changes leave alone.
class TestDocProperties : public QObject {
    Q_OBJECT

private slots:
    void customXmlKeepsWhatItDoesNotChange();
    void customXmlRoundTrip_data();
    void customXmlRoundTrip();
    void customXmlDamageReported();
    void summaryStreamRoundTrip();
    void summaryStreamMovesToUnicode();
    void summaryStreamDamageReported();
};

void TestDocProperties::customXmlKeepsWhatItDoesNotChange()
{
    QByteArray result;
    bool changed = true;
    QString error;
    QVERIFY2(Workbook::CustomXml::update(
                 ForeignPart, Workbook::PropertyChanges(), &result, &changed, &error),
        qPrintable(error));
    QVERIFY(!changed);
    QCOMPARE(result, ForeignPart);

    // Same-named properties (without regard to case) and the dropped ones go; the others stay
    // byte for byte; the new ones follow with the part's own prefixes and the next pids.
    QVERIFY2(Workbook::CustomXml::update(ForeignPart, sampleChanges(), &result, &changed, &error),
        qPrintable(error));
    QVERIFY(changed);
    QVERIFY(result.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<op:Properties "));
    QVERIFY(result.contains("name=\"Checked\"><t:bool>true</t:bool></op:property>\r\n"));
    QVERIFY(!result.contains("Reviewer"));
    QVERIFY(!result.contains("Tarnhelm"));
    QVERIFY(result.contains("pid=\"8\" name=\"reviewer\"><t:lpwstr>Sam</t:lpwstr></op:property>"));
    QVERIFY(result.contains("pid=\"9\" name=\"Big\"><t:i8>5000000000</t:i8></op:property>"));
    QVERIFY(result.contains(
        "pid=\"10\" name=\"When\"><t:filetime>2024-03-07T12:30:05Z</t:filetime></op:property>"));
    Workbook::DocProperties properties;
    QVERIFY2(Workbook::CustomXml::read(result, &properties, &error), qPrintable(error));
    QCOMPARE(describe(properties),
        (QStringList { QStringLiteral("Checked=other:true"), QStringLiteral("reviewer=text:Sam"),
            QStringLiteral("Big=integer:5000000000"),
            QStringLiteral("When=time:2024-03-07T12:30:05Z") }));
}

void TestDocProperties::customXmlRoundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("read");
    QTest::newRow("text with markup")
        << int(DocProperty::Text) << QStringLiteral("<a & \"b\">") << QStringLiteral("<a & \"b\">");
    // XML can't hold most control characters, not even as references.
    QTest::newRow("text with a control character")
        << int(DocProperty::Text) << QStringLiteral("a\x01z") << QStringLiteral("a\xFFFDz");
    QTest::newRow("32-bit integer") << int(DocProperty::Integer) << QStringLiteral("-2147483648")
                                    << QStringLiteral("-2147483648");
    QTest::newRow("64-bit integer") << int(DocProperty::Integer) << QStringLiteral("2147483648")
                                    << QStringLiteral("2147483648");
    QTest::newRow("time") << int(DocProperty::Time) << QStringLiteral("1999-12-31T23:59:59Z")
                          << QStringLiteral("1999-12-31T23:59:59Z");
}

void TestDocProperties::customXmlRoundTrip()
{
    QFETCH(int, kind);
    QFETCH(QString, written);
    QFETCH(QString, read);
    Workbook::PropertyChanges changes;
    switch (kind) {
    case DocProperty::Integer:
        changes.added = { DocProperty::integerProperty(QStringLiteral("P"), written.toLongLong()) };
        break;
    case DocProperty::Time:
        changes.added = { DocProperty::timeProperty(
            QStringLiteral("P"), QDateTime::fromString(written, Qt::ISODate)) };
        break;
    default:
        changes.added = { DocProperty::textProperty(QStringLiteral("P"), written) };
    }
    QByteArray part;
    bool changed = false;
    QString error;
    QVERIFY2(Workbook::CustomXml::update(QByteArray(), changes, &part, &changed, &error),
        qPrintable(error));
    QVERIFY(changed);
    Workbook::DocProperties properties;
    QVERIFY2(Workbook::CustomXml::read(part, &properties, &error), qPrintable(error));
    QCOMPARE(properties.size(), size_t(1));
    QCOMPARE(int(properties.front().kind), kind);
    QCOMPARE(properties.front().valueText(), read);
}

void TestDocProperties::customXmlDamageReported()
{
    Workbook::DocProperties properties;
    QString error;
    QVERIFY(!Workbook::CustomXml::read(ForeignPart.left(300), &properties, &error));
    QVERIFY2(
        error.startsWith(QLatin1String("the custom properties are malformed")), qPrintable(error));
    QByteArray result;
    bool changed = false;
    QVERIFY(!Workbook::CustomXml::update(
        ForeignPart.left(300), sampleChanges(), &result, &changed, &error));
}

void TestDocProperties::summaryStreamRoundTrip()
{
    QByteArray stream;
    bool changed = false;
    QString error;
    QVERIFY2(Workbook::SummaryInformation::update(
                 QByteArray(), sampleChanges(), &stream, &changed, &error),
        qPrintable(error));
    QVERIFY(changed);
    Workbook::DocProperties properties;
    QVERIFY2(Workbook::SummaryInformation::readUserDefined(stream, &properties, &error),
        qPrintable(error));
    const QStringList written { QStringLiteral("reviewer=text:Sam"),
        QStringLiteral("Big=integer:5000000000"),
        QStringLiteral("When=time:2024-03-07T12:30:05Z") };
    QCOMPARE(describe(properties), written);

    // Nothing to drop and nothing to add leaves the stream as it is.
    QByteArray same;
    Workbook::PropertyChanges none;
    none.drops = [](const QString& name) { return name == QLatin1String("Absent"); };
    QVERIFY2(Workbook::SummaryInformation::update(stream, none, &same, &changed, &error),
        qPrintable(error));
    QVERIFY(!changed);
    QCOMPARE(same, stream);

    // A drop takes exactly what it names.
    Workbook::PropertyChanges drop;
    drop.drops = [](const QString& name) { return name == QLatin1String("Big"); };
    QByteArray dropped;
    QVERIFY2(Workbook::SummaryInformation::update(stream, drop, &dropped, &changed, &error),
        qPrintable(error));
    QVERIFY(changed);
    QVERIFY2(Workbook::SummaryInformation::readUserDefined(dropped, &properties, &error),
        qPrintable(error));
    QCOMPARE(describe(properties), (QStringList { written.at(0), written.at(2) }));
}

// Excel keeps the user-defined properties in the code page of the machine; a name that code
// page can't spell moves the set to UTF-16, the properties already there with it.
void TestDocProperties::summaryStreamMovesToUnicode()
{
    const QByteArray excel = WorkbookTestTools::excelSummaryStream();
    Workbook::DocProperties properties;
    QString error;
    QVERIFY2(Workbook::SummaryInformation::readUserDefined(excel, &properties, &error),
        qPrintable(error));
    QCOMPARE(describe(properties), QStringList { QStringLiteral("Reviewer=text:Pat") });

    Workbook::PropertyChanges changes;
    changes.added = { DocProperty::textProperty(QStringLiteral("Ω Sheet"), QStringLiteral("ω")) };
    QByteArray updated;
    bool changed = false;
    QVERIFY2(Workbook::SummaryInformation::update(excel, changes, &updated, &changed, &error),
        qPrintable(error));
    QVERIFY(changed);
    // The first property set stays as Excel wrote it.
    QCOMPARE(updated.mid(68, 24), excel.mid(68, 24));
    QVERIFY2(Workbook::SummaryInformation::readUserDefined(updated, &properties, &error),
        qPrintable(error));
    QCOMPARE(describe(properties),
        (QStringList { QStringLiteral("Reviewer=text:Pat"), QStringLiteral("Ω Sheet=text:ω") }));
}

void TestDocProperties::summaryStreamDamageReported()
{
    QByteArray damaged = WorkbookTestTools::excelSummaryStream();
    damaged.truncate(damaged.size() - 20);
    Workbook::DocProperties properties;
    QString error;
    QVERIFY(!Workbook::SummaryInformation::readUserDefined(damaged, &properties, &error));
    QCOMPARE(error, QStringLiteral("the document summary information is damaged"));
    QByteArray result;
    bool changed = false;
    QVERIFY(
        !Workbook::SummaryInformation::update(damaged, sampleChanges(), &result, &changed, &error));
}

QTEST_GUILESS_MAIN(TestDocProperties)
#include "tst_docproperties.moc"
