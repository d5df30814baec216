#include "ScenarioModalDriver.h"
#include "support/TestProject.h"

#include "app/TARNMainWindow.h"
#include "ui/baseline/BaselineDlg.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

// A project the planner may read but not write: the window opens it, and a save in the
// baseline dialog reports SQLite's refusal in the dialog's warning box and changes nothing.
class TestReadOnlyProject : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void cleanup() { resetDbManager(); }

    void baselineSaveIsRefused_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("file") << false;
        QTest::newRow("folder") << true;
    }
    void baselineSaveIsRefused()
    {
        QFETCH(bool, folder);
        if (runningAsRoot()) {
            const UnprivilegedRun run = rerunAsNobody();
            if (!run.ran)
                QSKIP("running as root and setpriv is missing");
            QVERIFY2(run.passed, run.output.constData());
            return;
        }
        TestProject project(2000, 2003);
        QVERIFY(project
                    .exec(QStringLiteral("INSERT INTO AggDiv (AggDivID, SalinityMethodID, "
                                         "SiteName, RiffleName) VALUES (1, 1, 'Upper', 'S1')"))
                    .isOk());
        QFile file(project.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        const QString target = folder ? project.dirPath() : project.path();
        const QFile::Permissions writable = QFile::permissions(target);
        QVERIFY(QFile::setPermissions(target,
            writable
                & ~(QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther)));

        {
            TARNMainWindow window;
            window.show();
            QVERIFY(window.connectToDatabase(project.path()));
            QCOMPARE(
                childOf<QLabel>(&window, "_dbStatusLabel")->text(), QStringLiteral("Connected"));

            ScenarioModalDriver driver;
            bool stayedOpen = false;
            driver.expect<BaselineDlg>([&stayedOpen](BaselineDlg* dialog) {
                childOf<QTextEdit>(dialog, "_baselineDescription")
                    ->setPlainText(QStringLiteral("changed"));
                childOf<QPushButton>(dialog, "_okButton")->click();
                stayedOpen = dialog->isVisible();
                childOf<QPushButton>(dialog, "_cancelButton")->click();
            });
            driver.answer(QMessageBox::Ok);
            driver.answer(QMessageBox::Yes);
            childOf<QPushButton>(&window, "_editBaselineButton")->click();
            QVERIFY(driver.done());
            QVERIFY(stayedOpen);
            QCOMPARE(driver.texts.size(), 2);
            QCOMPARE(driver.texts.at(1),
                QStringLiteral("Are you sure you want to cancel? Any changes made will be lost."));
            QVERIFY2(driver.texts.first().startsWith(QLatin1String("Unable to save baseline: "))
                    && (driver.texts.first().contains(QLatin1String("readonly"))
                        || driver.texts.first().contains(QLatin1String("unable to open"))),
                qPrintable(driver.texts.first()));
            QVERIFY2(
                driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        }
        resetDbManager();
        QVERIFY(QFile::setPermissions(target, writable));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }
};

QTEST_MAIN(TestReadOnlyProject)
#include "tst_readonlyproject.moc"
