#include "support/TestProject.h"
#include "support/XmlCheck.h"

#include "db/TarnDbMgr.h"
#include "ui/common/AttributeExportRunner.h"

#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QtTest>

// The attribute export as the Scenarios tab and the baseline dialog start it once a file name is
// chosen: a background run under the status dialog, and a warning when the file cannot be written.
class TestAttributeExportRunner : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { resetDbManager(); }

    void writesFileOrWarns_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::addColumn<bool>("written");
        QTest::newRow("writable") << QStringLiteral("attributes.xml") << true;
        QTest::newRow("missing folder") << QStringLiteral("no-such-folder/attributes.xml") << false;
    }
    void writesFileOrWarns()
    {
        QFETCH(QString, relativePath);
        QFETCH(bool, written);
        TestProject project;
        QVERIFY(project
                    .exec(QStringLiteral("INSERT INTO AggDiv (AggDivID, SalinityMethodID, "
                                         "SiteName, RiffleName) VALUES (1, 1, 'Upper', 'S1')"))
                    .isOk());
        QVERIFY(project.openInManager().isOk());
        const QString path = project.dirPath() + QLatin1Char('/') + relativePath;

        QWidget window;
        window.show();
        QString warning;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal);
                box && box->windowTitle() == QLatin1String("Attributes File")) {
                warning = box->text();
                box->accept();
            }
        });
        poll.start(20);
        AttributeExportRunner::exportTo(&window, -1, path);
        if (written) {
            QTRY_VERIFY(QFile::exists(path));
            QTRY_VERIFY(!QApplication::activeModalWidget());
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray text = file.readAll();
            QVERIFY2(text.contains("simObjName=\"S1\""), text.constData());
            QCOMPARE(xmlWellFormedProblem(path), QString());
            QVERIFY(warning.isEmpty());
        } else {
            QTRY_VERIFY(!warning.isEmpty());
            QVERIFY2(warning.startsWith(
                         QStringLiteral("Cannot open the attributes file \"%1\" for writing: ")
                             .arg(path)),
                qPrintable(warning));
            QVERIFY(!QFile::exists(path));
        }
    }
};

QTEST_MAIN(TestAttributeExportRunner)
#include "tst_attributeexportrunner.moc"
