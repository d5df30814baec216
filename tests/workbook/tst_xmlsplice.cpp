#include "workbook/XmlSplice.h"

#include <QtTest>

class TestXmlSplice : public QObject {
    Q_OBJECT

private slots:
    void elementsLocated_data();
    void elementsLocated();
    void edits_data();
    void edits();
};

void TestXmlSplice::elementsLocated_data()
{
    QTest::addColumn<QString>("xml");
    QTest::newRow("no declaration") << QStringLiteral("<a><b x=\"1\"/><c>text</c></a>");
    QTest::newRow("declaration and newline") << QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\n  <b/>\n  <c>t</c>\n</a>");
    QTest::newRow("prefixes") << QStringLiteral(
        "<x:a xmlns:x=\"urn:x\"><x:b x:k='v'/><x:c>1</x:c></x:a>");
    QTest::newRow("text with > and entities")
        << QStringLiteral("<a><b>1 &gt; 0 &amp; &lt;ok&gt;</b><c>a>b</c></a>");
    QTest::newRow("comments and CDATA")
        << QStringLiteral("<a><!-- <b/> --><b><![CDATA[<not/>]]></b><c/><!--x--></a>");
    QTest::newRow("attribute with >") << QStringLiteral("<a><b k=\"x>y\"/><c k='>'>z</c></a>");
    QTest::newRow("non-ASCII") << QStringLiteral("<a><b>Zürich €</b><c n=\"ü\"/></a>");
}

void TestXmlSplice::elementsLocated()
{
    QFETCH(QString, xml);
    Workbook::XmlPart part;
    QString error;
    QVERIFY2(part.parse(xml.toUtf8(), &error), qPrintable(error));
    QVERIFY(part.elements().size() >= 3);
    for (const auto& e : part.elements()) {
        const QString whole = part.text().mid(e.start, e.end - e.start);
        QVERIFY2(whole.startsWith(QLatin1Char('<') + e.qualifiedName), qPrintable(whole));
        QVERIFY2(whole.endsWith(QLatin1Char('>')), qPrintable(whole));
        if (e.empty) {
            QVERIFY(whole.endsWith(QLatin1String("/>")));
            QCOMPARE(e.endTagStart, e.end);
        } else {
            QCOMPARE(part.text().mid(e.endTagStart, e.end - e.endTagStart),
                QStringLiteral("</") + e.qualifiedName + QLatin1Char('>'));
        }
    }
    QCOMPARE(part.result(), xml.toUtf8()); // no edits, no change
}

void TestXmlSplice::edits_data()
{
    QTest::addColumn<QString>("xml");
    QTest::addColumn<QString>("expected");
    QTest::newRow("set existing attribute") << QStringLiteral(
        "<a><b count=\"1\" k='2'/></a>") << QStringLiteral("<a><b count=\"7\" k='2'><n/></b></a>");
    QTest::newRow("add attribute, open empty element")
        << QStringLiteral("<a><b /></a>") << QStringLiteral("<a><b count=\"7\" ><n/></b></a>");
    QTest::newRow("append to element with children")
        << QStringLiteral("<a><b k=\"x\"><m/></b></a>")
        << QStringLiteral("<a><b k=\"x\" count=\"7\"><m/><n/></b></a>");
    QTest::newRow("prefixed empty element")
        << QStringLiteral("<p:a xmlns:p=\"u\"><p:b/></p:a>")
        << QStringLiteral("<p:a xmlns:p=\"u\"><p:b count=\"7\"><n/></p:b></p:a>");
    QTest::newRow("similar attribute name untouched")
        << QStringLiteral("<a><b xcount=\"1\"/></a>")
        << QStringLiteral("<a><b xcount=\"1\" count=\"7\"><n/></b></a>");
}

void TestXmlSplice::edits()
{
    QFETCH(QString, xml);
    QFETCH(QString, expected);
    Workbook::XmlPart part;
    QString error;
    QVERIFY(part.parse(xml.toUtf8(), &error));
    const Workbook::XmlElement* b = part.first(QStringLiteral("b"));
    QVERIFY(b);
    part.setAttribute(*b, QStringLiteral("count"), QStringLiteral("7"));
    part.appendChild(*b, QStringLiteral("<n/>"));
    QCOMPARE(QString::fromUtf8(part.result()), expected);
}

QTEST_GUILESS_MAIN(TestXmlSplice)
#include "tst_xmlsplice.moc"
