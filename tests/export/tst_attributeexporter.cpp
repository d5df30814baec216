#include "support/DiskFaults.h"
#include "support/TestProject.h"
#include "support/XmlCheck.h"

#include "db/TarnDbMgr.h"
#include "export/AttributeExporter.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <cerrno>
#include <cstring>

namespace {

const char* const Fixture
    = "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName) VALUES "
      "  (1, 1, 'Site one', 'S1'), (2, 2, 'Site two', 'S2 & <Co> \"Ltd\"');"
      "INSERT INTO Scenario (ScenarioID, ScenarioName) VALUES (1, 'Wet'), (2, 'Dry');"
      "INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, "
      "RiffleName) VALUES "
      "  (1, 1, NULL, 'w1', 'W1'), (2, 2, NULL, 'w2', 'Müller''s' || char(9) || "
      "'farm'),"
      "  (3, 1, 1, 'new', 'WetOnly'), (4, 1, 2, 'dry', 'DryOnly');"
      "INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1), "
      "(2, 'Use & <kind>', 2);"
      "INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES "
      "  (1, 1, 'Unassigned'), (2, 1, 'Upper'), (3, 2, 'Unassigned'), (4, 2, 'Äcker "
      "\"A\"');"
      "INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (1, 1, 2), "
      "(1, 2, 1);"
      "INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES (2, 2, "
      "4), (2, 3, 3)";

} // namespace

// The attribute file as the river model reads it: one SimObjAttributes element per site and per
// water user, with name/value pairs.
class TestAttributeExporter : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestProject> _project;

    static QList<QPair<QString, QStringList>> readBack(const QString& path)
    {
        QFile file(path);
        QList<QPair<QString, QStringList>> owners;
        if (!file.open(QIODevice::ReadOnly))
            return owners;
        QDomDocument doc;
        if (!doc.setContent(&file))
            return owners;
        const QDomElement root = doc.documentElement();
        if (root.tagName() != QLatin1String("SimObjsAttributes"))
            return owners;
        for (QDomElement owner = root.firstChildElement(); !owner.isNull();
             owner = owner.nextSiblingElement()) {
            QStringList pairs;
            for (QDomElement a = owner.firstChildElement(QStringLiteral("SimObjAttribute"));
                 !a.isNull(); a = a.nextSiblingElement(QStringLiteral("SimObjAttribute")))
                pairs << a.attribute(QStringLiteral("name")) + QLatin1Char('=')
                        + a.attribute(QStringLiteral("value"));
            owners.append({ owner.attribute(QStringLiteral("simObjName")), pairs });
        }
        return owners;
    }

private slots:
    void init()
    {
        _project = std::make_unique<TestProject>();
        QVERIFY(_project->exec(QString::fromUtf8(Fixture)).isOk());
        QVERIFY(_project->openInManager().isOk());
    }
    void cleanup()
    {
        resetDbManager();
        _project.reset();
    }

    void baselineAndScenarios_data()
    {
        QTest::addColumn<int>("scenarioId");
        QTest::addColumn<QStringList>("owners");
        QTest::newRow("baseline") << -1
                                  << QStringList { QStringLiteral("S1"), QStringLiteral("S1:W1"),
                                         QStringLiteral("S2 & <Co> \"Ltd\""),
                                         QStringLiteral("S2 & <Co> \"Ltd\":Müller's\tfarm") };
        QTest::newRow("scenario adds its own")
            << 1
            << QStringList { QStringLiteral("S1"), QStringLiteral("S1:W1"),
                   QStringLiteral("S1:WetOnly"), QStringLiteral("S2 & <Co> \"Ltd\""),
                   QStringLiteral("S2 & <Co> \"Ltd\":Müller's\tfarm") };
    }
    void baselineAndScenarios()
    {
        QFETCH(int, scenarioId);
        QFETCH(QStringList, owners);
        const QString path = _project->dirPath() + QStringLiteral("/attributes.xml");
        AttributeExporter exporter(nullptr, TarnDbMgr::instance()->database(), _project->path());
        QSignalSpy finished(&exporter, &AttributeExporter::exportFinished);
        const TARN::okstat status = exporter.exportAttributes(path, scenarioId);
        QVERIFY2(status.isOk(), qPrintable(status.text()));
        QCOMPARE(finished.count(), 1);

        QCOMPARE(xmlWellFormedProblem(path), QString());
        const auto read = readBack(path);
        QStringList names;
        for (const auto& owner : read)
            names << owner.first;
        QCOMPARE(names, owners);
        QCOMPARE(read.at(0).second, QStringList { QStringLiteral("Basin=Upper") });
        QCOMPARE(
            read.at(1).second, QStringList {}); // a water user without attributes is still listed
        QCOMPARE(read.last().second, QStringList { QStringLiteral("Use & <kind>=Äcker \"A\"") });

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QVERIFY(text.contains("Tarnhelm 3.4"));
        QVERIFY(text.contains("This document created "));
    }

    void unwritablePathLeavesNoFile()
    {
        const QString path = _project->dirPath() + QStringLiteral("/missing-folder/attributes.xml");
        AttributeExporter exporter(nullptr, TarnDbMgr::instance()->database(), _project->path());
        const TARN::okstat status = exporter.exportAttributes(path, -1);
        QVERIFY(status.failed());
        QVERIFY2(
            status.text().startsWith(
                QStringLiteral("Cannot open the attributes file \"%1\" for writing: ").arg(path)),
            qPrintable(status.text()));
        QVERIFY(!QFile::exists(path));
    }

    void failureKeepsPreviousFile()
    {
        const QString path = _project->dirPath() + QStringLiteral("/attributes.xml");
        AttributeExporter exporter(nullptr, TarnDbMgr::instance()->database(), _project->path());
        QVERIFY(exporter.exportAttributes(path, -1).isOk());
        QCOMPARE(xmlWellFormedProblem(path), QString());
        QFile before(path);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray old = before.readAll();
        before.close();
        QVERIFY(
            _project->exec(QStringLiteral("PRAGMA foreign_keys = OFF; DROP TABLE WaterUserAttr"))
                .isOk());
        QVERIFY(exporter.exportAttributes(path, -1).failed());
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), old);
    }

    // Nothing a project's file name or its names hold may make the file unreadable: what XML
    // cannot hold is replaced.
    void oddTextsKeepTheFileWellFormed_data()
    {
        QTest::addColumn<QString>("projectName");
        QTest::addColumn<QString>("riffleSql"); // site 1's RiffleName as an SQL expression
        QTest::addColumn<QString>("shown");
        QTest::newRow("double hyphen in the file name")
            << QStringLiteral("my--demo") << QStringLiteral("'S1'") << QStringLiteral("S1");
        QTest::newRow("hyphens only")
            << QStringLiteral("---") << QStringLiteral("'S1'") << QStringLiteral("S1");
        QTest::newRow("control characters")
            << QStringLiteral("project") << QStringLiteral("'S' || char(1) || '1' || char(11)")
            << QStringLiteral("S\uFFFD1\uFFFD");
        QTest::newRow("noncharacters")
            << QStringLiteral("project") << QStringLiteral("char(65534) || 'x' || char(65535)")
            << QStringLiteral("\uFFFDx\uFFFD");
        QTest::newRow("beyond the basic plane")
            << QStringLiteral("project") << QStringLiteral("'a' || char(127754)")
            << QStringLiteral("a") + QString::fromUcs4(U"\U0001F30A", 1);
    }
    void oddTextsKeepTheFileWellFormed()
    {
        QFETCH(QString, projectName);
        QFETCH(QString, riffleSql);
        QFETCH(QString, shown);
        cleanup();
        TestProject project(2000, 2010, projectName);
        QVERIFY(project.exec(QString::fromUtf8(Fixture)).isOk());
        QVERIFY(project
                    .exec(QStringLiteral("UPDATE AggDiv SET RiffleName = %1 WHERE AggDivID = 1; "
                                         "UPDATE AttrValidVal SET AttrVal = %1 WHERE "
                                         "AttrValidValID = 2")
                              .arg(riffleSql))
                    .isOk());
        QVERIFY(project.openInManager().isOk());
        const QString path = project.dirPath() + QStringLiteral("/attributes.xml");
        AttributeExporter exporter(nullptr, TarnDbMgr::instance()->database(), project.path());
        const TARN::okstat status = exporter.exportAttributes(path, -1);
        QVERIFY2(status.isOk(), qPrintable(status.text()));
        QCOMPARE(xmlWellFormedProblem(path), QString());
        const auto read = readBack(path);
        QCOMPARE(read.size(), 4);
        QCOMPARE(read.at(0).first, shown);
        QCOMPARE(read.at(1).first, shown + QStringLiteral(":W1"));
        QCOMPARE(read.at(0).second, QStringList { QStringLiteral("Basin=") + shown });
        resetDbManager();
    }

    void fullDiskIsReported()
    {
        const QString path = _project->dirPath() + QStringLiteral("/attributes.xml");
        AttributeExporter exporter(nullptr, TarnDbMgr::instance()->database(), _project->path());
        TARN::okstat status;
        {
            FileSizeLimit limit(64);
            QVERIFY(limit.isSet());
            status = exporter.exportAttributes(path, -1);
        }
        QVERIFY(status.failed());
        QVERIFY2(status.text().startsWith(
                     QStringLiteral("Unable to write the attributes file \"%1\": ").arg(path)),
            qPrintable(status.text()));
        QVERIFY2(status.text().endsWith(QString::fromLocal8Bit(std::strerror(EFBIG))),
            qPrintable(status.text()));
        // Neither the file nor its temporary sibling is left behind.
        QCOMPARE(
            QDir(_project->dirPath()).entryList({ QStringLiteral("attributes*") }), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestAttributeExporter)
#include "tst_attributeexporter.moc"
