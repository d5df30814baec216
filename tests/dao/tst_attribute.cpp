#include "DaoFixture.h"

#include "db/AttributeDAO.h"
#include "db/TarnDbMgr.h"

#include <QtTest>

// Attributes, their valid values and the owners' assignments when values come and go.
class TestAttribute : public QObject {
    Q_OBJECT

private:
    AttributeDAO* attributes() const { return TarnDbMgr::instance()->attributeDAO(); }

    std::unique_ptr<TestProject> _project;

    int rows(const QString& sql) const { return count(*_project, sql); }

    // Attribute types 10 and 11 exist only to show that type 1 does not match them.
    static QString moreTypesSql()
    {
        return QStringLiteral(
            "INSERT INTO AttrType VALUES (10, 'ten'), (11, 'eleven');"
            "INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (10, 'Ten', 10),"
            " (11, 'Eleven', 11), (21, 'Region', 1);"
            "INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES"
            " (30, 10, 'x'), (31, 21, 'y'), (32, 11, 'z')");
    }

private slots:
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void getAttributesByType_data()
    {
        QTest::addColumn<int>("typeId");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("all") << 0
                             << QStringList { QStringLiteral("Basin"), QStringLiteral("Use"),
                                    QStringLiteral("Ten"), QStringLiteral("Eleven"),
                                    QStringLiteral("Region") };
        QTest::newRow("sites, not 10 or 11")
            << 1 << QStringList { QStringLiteral("Basin"), QStringLiteral("Region") };
        QTest::newRow("water users") << 2 << QStringList { QStringLiteral("Use") };
        QTest::newRow("none") << 3 << QStringList {};
    }

    void getAttributesByType()
    {
        QFETCH(int, typeId);
        QFETCH(QStringList, names);
        QVERIFY_OK(openBasin(_project, moreTypesSql()));
        AttributeList list { Attribute() };
        QVERIFY_OK(attributes()->getAttributes(list, typeId));
        QStringList found;
        for (const Attribute& attribute : qAsConst(list))
            found.append(attribute.AttrName);
        QCOMPARE(found, names);
    }

    void getAttributesReadsTheRecord()
    {
        QVERIFY_OK(openBasin(_project, moreTypesSql()));
        AttributeList list;
        QVERIFY_OK(attributes()->getAttributes(list, 2));
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first().AttrID, 2);
        QCOMPARE(list.first().BaselineID, 1);
        QCOMPARE(list.first().typeId, 2);
        QCOMPARE(list.first().typeName, QStringLiteral("WaterUser"));
        // A type outside the fixed map reads as 0 with no name.
        QVERIFY_OK(attributes()->getAttributes(list, 10));
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first().typeId, 0);
        QVERIFY(list.first().typeName.isEmpty());
    }

    void getValidValuesMatchesTheWholeId()
    {
        QVERIFY_OK(openBasin(_project, moreTypesSql()));
        AttrValidValList values { AttrValidVal() };
        QVERIFY_OK(attributes()->getValidValues(1, values));
        QCOMPARE(values.size(), 3);
        QCOMPARE(values.at(0).AttrValidValID, 1);
        QCOMPARE(values.at(0).AttrID, 1);
        QCOMPARE(values.at(0).AttrVal, QStringLiteral("Unassigned"));
        QCOMPARE(values.at(2).AttrVal, QStringLiteral("Lower"));

        QVERIFY_OK(attributes()->getValidValues(21, values));
        QCOMPARE(values.size(), 1);
        QCOMPARE(values.first().AttrVal, QStringLiteral("y"));

        QVERIFY_OK(attributes()->getValidValues(11, values));
        QCOMPARE(values.size(), 1);
        QCOMPARE(values.first().AttrVal, QStringLiteral("z"));
    }

    void getValidValuesOfAnAttributeWithoutValues()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO Attribute (AttrID, AttrName,"
                           " AttrTypeID) VALUES (3, 'Empty', 2)")));
        AttrValidValList values { AttrValidVal() };
        QVERIFY_OK(attributes()->getValidValues(3, values));
        QVERIFY(values.isEmpty());
    }

    void addAttributeAndValueWriteTheNewKeys()
    {
        QVERIFY_OK(openBasin(_project));
        Attribute attribute;
        attribute.AttrName = QStringLiteral("Canal");
        attribute.setType(TARN::AttrTypeAggDiv);
        QVERIFY_OK(attributes()->addAttribute(attribute));
        QCOMPARE(attribute.AttrID, 3);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM Attribute WHERE AttrID = 3 AND"
                                     " AttrName = 'Canal' AND AttrTypeID = 1 AND BaselineID = 1")),
            1);

        AttrValidVal value;
        value.AttrID = attribute.AttrID;
        value.AttrVal = QStringLiteral("Unassigned");
        QVERIFY_OK(attributes()->addValidValue(value));
        QCOMPARE(value.AttrValidValID, 7);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrValidValID = 7"
                                     " AND AttrID = 3 AND AttrVal = 'Unassigned'")),
            1);

        // A given key is kept.
        Attribute keyed;
        keyed.AttrID = 40;
        keyed.AttrName = QStringLiteral("Keyed");
        keyed.setType(TARN::AttrTypeWaterUser);
        QVERIFY_OK(attributes()->addAttribute(keyed));
        QCOMPARE(keyed.AttrID, 40);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM Attribute WHERE AttrID = 40")), 1);
    }

    void addAttributeFailureReturnsTheModelError()
    {
        QVERIFY_OK(openBasin(_project));
        Attribute attribute;
        attribute.AttrName = QStringLiteral("Bad type");
        attribute.typeId = 9; // not in AttrType
        const TARN::okstat status = attributes()->addAttribute(attribute);
        QVERIFY(status.failed());
        QVERIFY2(status.text().contains(QStringLiteral("FOREIGN KEY")), qPrintable(status.text()));
        QCOMPARE(attribute.AttrID, 0);
    }

    void creatingAnAttributeAssignsItsDefault_data()
    {
        QTest::addColumn<int>("typeId");
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("owners");
        // Three sites; five water users, two of them scenario-only.
        QTest::newRow("site attribute") << 1 << QStringLiteral("AggDivAttr") << 3;
        QTest::newRow("water user attribute") << 2 << QStringLiteral("WaterUserAttr") << 5;
        QTest::newRow("another type") << 10 << QStringLiteral("AggDivAttr") << 0;
    }

    void creatingAnAttributeAssignsItsDefault()
    {
        QFETCH(int, typeId);
        QFETCH(QString, table);
        QFETCH(int, owners);
        QVERIFY_OK(openBasin(_project, moreTypesSql()));
        Attribute attribute;
        attribute.AttrName = QStringLiteral("New");
        attribute.setType(typeId);
        attribute.typeId = typeId;
        QVERIFY_OK(attributes()->addAttribute(attribute));
        AttrValidVal unassigned;
        unassigned.AttrID = attribute.AttrID;
        unassigned.AttrVal = QStringLiteral("Unassigned");
        QVERIFY_OK(attributes()->addValidValue(unassigned));
        QVERIFY_OK(attributes()->assignDefaultValue(attribute, unassigned.AttrValidValID));
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE AttrID = %2 AND"
                                     " AttrValidValID = %3")
                          .arg(table)
                          .arg(attribute.AttrID)
                          .arg(unassigned.AttrValidValID)),
            owners);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM AggDivAttr"))
                + rows(QStringLiteral("SELECT COUNT(*) FROM WaterUserAttr")),
            owners);
    }

    void deletingAValueMovesItsOwnersToTheDefault_data()
    {
        QTest::addColumn<QString>("assignments");
        QTest::addColumn<int>("attrId");
        QTest::addColumn<int>("valueId");
        QTest::addColumn<int>("defaultId");
        QTest::addColumn<QString>("table");
        QTest::newRow("held by two sites")
            << QStringLiteral("INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES"
                              " (1, 1, 2), (1, 2, 2), (1, 3, 3)")
            << 1 << 2 << 1 << QStringLiteral("AggDivAttr");
        QTest::newRow("held by two water users")
            << QStringLiteral("INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID)"
                              " VALUES (2, 1, 5), (2, 4, 5), (2, 3, 6)")
            << 2 << 5 << 4 << QStringLiteral("WaterUserAttr");
    }

    void deletingAValueMovesItsOwnersToTheDefault()
    {
        QFETCH(QString, assignments);
        QFETCH(int, attrId);
        QFETCH(int, valueId);
        QFETCH(int, defaultId);
        QFETCH(QString, table);
        QVERIFY_OK(openBasin(_project, assignments));
        AttrValidVal value;
        value.AttrValidValID = valueId;
        value.AttrID = attrId;
        QVERIFY_OK(attributes()->deleteValidValue(value));
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE AttrValidValID = %2")
                          .arg(table)
                          .arg(defaultId)),
            2);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)), 3);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrValidValID = %1")
                          .arg(valueId)),
            0);
        // The attribute model is shown whole again.
        QCOMPARE(attributes()->attributeModel()->filter(), QString());
        QCOMPARE(attributes()->attributeModel()->rowCount(), 2);
    }

    void deletingAValueWithoutDefaultDeletesNothing()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO AggDivAttr (AttrID, AggDivID,"
                           " AttrValidValID) VALUES (1, 1, 2);"
                           "DELETE FROM AttrValidVal WHERE"
                           " AttrValidValID = 1")));
        AttrValidVal value;
        value.AttrValidValID = 2;
        value.AttrID = 1;
        QCOMPARE(attributes()->deleteValidValue(value).text(),
            QStringLiteral("Default value \"Unassigned\" not found for attribute \"Basin\""));
        QCOMPARE(
            rows(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrValidValID = 2")), 1);
        QCOMPARE(rows(QStringLiteral("SELECT AttrValidValID FROM AggDivAttr")), 2);
    }

    void reassigningAValueOfAnUnknownAttributeFails()
    {
        QVERIFY_OK(openBasin(_project));
        AttrValidVal value;
        value.AttrValidValID = 2;
        value.AttrID = 77;
        QCOMPARE(attributes()->reassignToDefault(value).text(),
            QStringLiteral("Unable to load an attribute with ID 77"));
        QCOMPARE(attributes()->attributeModel()->rowCount(), 2);
    }

    void deleteAttributeTakesItsValuesAndAssignments()
    {
        QVERIFY_OK(openBasin(_project,
            QStringLiteral("INSERT INTO AggDivAttr (AttrID, AggDivID,"
                           " AttrValidValID) VALUES (1, 1, 2)")));
        Attribute basin;
        basin.AttrID = 1;
        QVERIFY_OK(attributes()->deleteAttribute(basin));
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM Attribute")), 1);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal")), 3);
        QCOMPARE(rows(QStringLiteral("SELECT COUNT(*) FROM AggDivAttr")), 0);
    }
};

QTEST_GUILESS_MAIN(TestAttribute)
#include "tst_attribute.moc"
