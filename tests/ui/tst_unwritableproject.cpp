#include "support/LockHolder.h"
#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "app/TARNMainWindow.h"
#include "db/TarnDbMgr.h"
#include "ui/baseline/BaselineDlg.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextEdit>
#include <QtTest>

#include <memory>

// A project the planner may read but not write, now or for a while: the window opens it, and a
// save in the baseline dialog reports SQLite's refusal in the dialog's warning box, changes
// nothing, and leaves the dialog open to try again.
class TestUnwritableProject : public QObject {
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
        RUN_AS_NOBODY_WHEN_ROOT();
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
            QCOMPARE(child<QLabel>(&window, "_dbStatusLabel")->text(), QStringLiteral("Connected"));

            ModalDriver driver;
            bool stayedOpen = false;
            driver.expect<BaselineDlg>([&stayedOpen](BaselineDlg* dialog) {
                child<QTextEdit>(dialog, "_baselineDescription")
                    ->setPlainText(QStringLiteral("changed"));
                child<QPushButton>(dialog, "_okButton")->click();
                stayedOpen = dialog->isVisible();
                child<QPushButton>(dialog, "_cancelButton")->click();
            });
            driver.answer(QMessageBox::Ok);
            driver.answer(QMessageBox::Yes);
            child<QPushButton>(&window, "_editBaselineButton")->click();
            QVERIFY(driver.done());
            QVERIFY(stayedOpen);
            QCOMPARE(driver.texts.size(), 2);
            QCOMPARE(driver.texts.at(1),
                QStringLiteral("Are you sure you want to cancel? Any changes made will be lost."));
            QVERIFY2(driver.texts.first().startsWith(
                         QLatin1String("The project file or its folder may not be written: the "
                                       "baseline was not saved.")),
                qPrintable(driver.texts.first()));
            QVERIFY2(
                driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        }
        resetDbManager();
        QVERIFY(QFile::setPermissions(target, writable));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    // Another process takes the write lock while the baseline dialog is open: the save says
    // the file is locked, the dialog stays open, and once the other process is done the same
    // dialog saves.
    void lockKeepsTheDialogUsable()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            QSKIP("the sqlite3 shell is not installed");
        TestProject project(2000, 2003);
        TARNMainWindow window;
        window.show();
        QVERIFY(window.connectToDatabase(project.path()));

        ModalDriver driver;
        bool held = false;
        bool stayedOpen = false;
        driver.expect<BaselineDlg>([&](BaselineDlg* dialog) {
            auto lock = std::make_unique<LockHolder>(
                project.path(), TarnDbMgr::BusyTimeoutMs / 1000.0 + 2, LockHolder::Immediate);
            held = lock->started() && lock->waitUntilHeld(project.path());
            child<QTextEdit>(dialog, "_baselineDescription")
                ->setPlainText(QStringLiteral("after the lock"));
            child<QPushButton>(dialog, "_okButton")->click();
            stayedOpen = dialog->isVisible();
            lock.reset(); // waits for the other process to end
            child<QPushButton>(dialog, "_okButton")->click();
        });
        driver.answer(QMessageBox::Ok);
        child<QPushButton>(&window, "_editBaselineButton")->click();
        QVERIFY(driver.done());
        QVERIFY(held);
        QVERIFY(stayedOpen);
        QCOMPARE(driver.texts.size(), 1);
        QVERIFY2(
            driver.texts.first().startsWith(QLatin1String(
                "Another program is writing to the project file: the baseline was not saved.")),
            qPrintable(driver.texts.first()));
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        QVERIFY(project.scalar(QStringLiteral("SELECT Description FROM Baseline"))
                    .toString()
                    .contains(QLatin1String("after the lock")));
    }
};

QTEST_MAIN(TestUnwritableProject)
#include "tst_unwritableproject.moc"
