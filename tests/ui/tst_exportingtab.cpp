#include "support/CalcTestSupport.h"
#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "app/TARNMainWindow.h"
#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "db/TarnDbMgr.h"
#include "export/LibXlConnect.h"
#include "ui/export/WorkbookCompareRunner.h"
#include "ui/export/WorkbookDiffDlg.h"
#include "workbook/SheetCells.h"
#include "workbook/XlsxReader.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

class TestExportingTab : public QObject {
    Q_OBJECT

private:
    template<typename T>
    static T* child(QWidget& window, const char* name)
    {
        T* widget = window.findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("missing widget %s", name);
        return widget;
    }

    static QStringList items(QWidget& window)
    {
        QStringList list;
        auto* widget = child<QListWidget>(window, "_expScenListWidget");
        for (int i = 0; i < widget->count(); ++i)
            list << widget->item(i)->text()
                    + (widget->item(i)->checkState() == Qt::Checked ? QStringLiteral("*")
                                                                    : QString());
        return list;
    }

    static void showExportingTab(QWidget& window)
    {
        auto* tabs = child<QTabWidget>(window, "_mainTabWidget");
        tabs->setCurrentIndex(0);
        tabs->setCurrentIndex(4);
    }

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void cleanup() { resetDbManager(); }

    void onlyBaselineWithoutScenarios()
    {
        TestProject project(1995, 2005);
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        showExportingTab(window);
        QCOMPARE(items(window), QStringList { QStringLiteral("Baseline Monthly Data") });
        QCOMPARE(child<QSpinBox>(window, "_expStartSpinBox")->value(), 1995);
        QCOMPARE(child<QSpinBox>(window, "_expEndSpinBox")->value(), 2005);
        QCOMPARE(child<QSpinBox>(window, "_expStartSpinBox")->minimum(), 1995);
        QCOMPARE(child<QSpinBox>(window, "_expEndSpinBox")->maximum(), 2005);
    }

    void selectionKeptForSameProjectOnly()
    {
        TestProject first(2000, 2010, QStringLiteral("first"));
        TestProject second(1980, 1990, QStringLiteral("second"));
        QVERIFY(first
                    .exec(QStringLiteral(
                        "INSERT INTO Scenario (ScenarioName, ScenarioShortName) VALUES "
                        "('Zeta', 'Z'), ('Alpha', 'A')"))
                    .isOk());
        QVERIFY(second
                    .exec(QStringLiteral(
                        "INSERT INTO Scenario (ScenarioName, ScenarioShortName) VALUES "
                        "('Alpha', 'A')"))
                    .isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(first.path()));
        showExportingTab(window);
        QCOMPARE(items(window),
            (QStringList { QStringLiteral("Baseline Monthly Data"), QStringLiteral("A"),
                QStringLiteral("Z") }));
        auto* list = child<QListWidget>(window, "_expScenListWidget");
        list->item(2)->setCheckState(Qt::Checked);
        child<QSpinBox>(window, "_expStartSpinBox")->setValue(2003);
        child<QSpinBox>(window, "_expEndSpinBox")->setValue(2007);

        showExportingTab(window);
        QCOMPARE(items(window),
            (QStringList { QStringLiteral("Baseline Monthly Data"), QStringLiteral("A"),
                QStringLiteral("Z*") }));
        QCOMPARE(child<QSpinBox>(window, "_expStartSpinBox")->value(), 2003);
        QCOMPARE(child<QSpinBox>(window, "_expEndSpinBox")->value(), 2007);

        QVERIFY(window.connectToDatabase(second.path()));
        showExportingTab(window);
        QCOMPARE(items(window),
            (QStringList { QStringLiteral("Baseline Monthly Data"), QStringLiteral("A") }));
        QCOMPARE(child<QSpinBox>(window, "_expStartSpinBox")->value(), 1980);
        QCOMPARE(child<QSpinBox>(window, "_expEndSpinBox")->value(), 1990);
    }

    void exportButtonNeedsCheckAndPath_data()
    {
        QTest::addColumn<bool>("checked");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("nothing") << false << QString() << false;
        QTest::newRow("checked, no path") << true << QString() << false;
        QTest::newRow("checked, blank path") << true << QStringLiteral("   ") << false;
        QTest::newRow("path, nothing checked") << false << QStringLiteral("out.xlsx") << false;
        QTest::newRow("checked and path") << true << QStringLiteral("out.xlsx") << true;
    }
    void exportButtonNeedsCheckAndPath()
    {
        QFETCH(bool, checked);
        QFETCH(QString, path);
        QFETCH(bool, enabled);
        TestProject project;
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        showExportingTab(window);
        auto* edit = child<QLineEdit>(window, "_expFileLineEdit");
        edit->setText(path);
        emit edit->editingFinished();
        child<QListWidget>(window, "_expScenListWidget")
            ->item(0)
            ->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        QCOMPARE(child<QPushButton>(window, "_expButton")->isEnabled(), enabled);
    }

    void reversedYearsStartNothing()
    {
        TestProject project(2000, 2015);
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        showExportingTab(window);
        const QString book = project.dirPath() + QStringLiteral("/out.xlsx");
        child<QLineEdit>(window, "_expFileLineEdit")->setText(book);
        child<QListWidget>(window, "_expScenListWidget")->item(0)->setCheckState(Qt::Checked);
        child<QSpinBox>(window, "_expStartSpinBox")->setValue(2010);
        child<QSpinBox>(window, "_expEndSpinBox")->setValue(2005);
        window.expButtonClicked();
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(window.findChildren<QDialog*>().isEmpty());
        QVERIFY(!QFile::exists(book));
    }

    void exportRunsInBackground()
    {
        TestProject project(2000, 2001);
        QVERIFY(project
                    .exec(QStringLiteral("INSERT INTO AggDiv (AggDivID, SalinityMethodID, "
                                         "SiteName, RiffleName) VALUES (1, 4, 'Upper', 'S1');"
                                         "INSERT INTO BaseMonthlyAggDiv (BaselineID, AggDivID, "
                                         "Month, AggDivSalinityValue) VALUES "
                                         "(1, 1, '2000-01-01', 3.25), (1, 1, '2000-02-01', 4.5)"))
                    .isOk());
        TARNMainWindow window;
        window.show();
        QVERIFY(window.connectToDatabase(project.path()));
        showExportingTab(window);
        const QString book = project.dirPath() + QStringLiteral("/out.xlsx");
        child<QLineEdit>(window, "_expFileLineEdit")->setText(book);
        child<QListWidget>(window, "_expScenListWidget")->item(0)->setCheckState(Qt::Checked);
        // The site's results are not those of its inputs: exported as they are.
        ModalDriver driver;
        driver.answer(QMessageBox::No);
        window.expButtonClicked();
        QVERIFY(driver.done());
        QThreadPool::globalInstance()->waitForDone();
        QTRY_VERIFY(QFile::exists(book));
        // The status dialog closes itself when the export reports its end.
        QTRY_VERIFY(!QApplication::activeModalWidget());
        Workbook::XlsxReader reader;
        QString error;
        QVERIFY2(reader.open(book, &error), qPrintable(error));
        QCOMPARE(reader.sheetNames(), QStringList { QStringLiteral("Baseline Monthly Data") });
    }

    // Before it writes, the export checks that the chosen runs' results follow the inputs and
    // asks when they do not.
    void exportAsksAboutOutOfDateResults_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question"); // how the question begins
        QTest::addColumn<QString>("exported"); // Lower Ditch's diversion of January 2001
        const QString edited = QStringLiteral(
            "UPDATE WaterUserData SET DiversionReq = 200 WHERE WaterUserID = 2 AND Year = 2001");
        const QString outOfDate = QStringLiteral(
            "Results of 1 water users are out of date. Recalculate before exporting?");
        QTest::newRow("up to date: no question")
            << QString() << 0 << QString() << QStringLiteral("10");
        QTest::newRow("Yes recalculates first")
            << edited << int(QMessageBox::Yes) << outOfDate << QStringLiteral("20");
        QTest::newRow("No exports as it is")
            << edited << int(QMessageBox::No) << outOfDate << QStringLiteral("10");
        QTest::newRow("Cancel writes nothing")
            << edited << int(QMessageBox::Cancel) << outOfDate << QString();
        // A site the check cannot recalculate: recalculating first would fail the same way.
        const QString broken = QStringLiteral("PRAGMA foreign_keys = OFF; UPDATE AggDiv SET "
                                              "SalinityMethodID = 99 WHERE AggDivID = 2");
        const QString unchecked = QStringLiteral(
            "The baseline could not be recalculated, so its stored results cannot be checked: ");
        QTest::newRow("unchecked run, No writes nothing")
            << broken << int(QMessageBox::No) << unchecked << QString();
        QTest::newRow("unchecked run, Yes exports as it is")
            << broken << int(QMessageBox::Yes) << unchecked << QStringLiteral("10");
    }
    void exportAsksAboutOutOfDateResults()
    {
        QFETCH(QString, edit);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, exported);
        TestProject project(2000, 2003);
        QVERIFY(project.exec(smallBasinSql()).isOk());
        QVERIFY(project.openInManager().isOk());
        {
            BaselineChangeLog everything;
            everything.setFullRecalculation();
            BaselineDemandCalculator calculator;
            QVERIFY(runCalculator(calculator, everything).result.isOk());
        }
        if (!edit.isEmpty())
            QVERIFY(project.exec(edit).isOk());
        TARNMainWindow window;
        window.show();
        QVERIFY(window.connectToDatabase(project.path()));
        showExportingTab(window);
        const QString book = project.dirPath() + QStringLiteral("/out.xlsx");
        child<QLineEdit>(window, "_expFileLineEdit")->setText(book);
        child<QListWidget>(window, "_expScenListWidget")->item(0)->setCheckState(Qt::Checked);
        ModalDriver driver;
        if (answer)
            driver.answer(QMessageBox::StandardButton(answer));
        window.expButtonClicked();
        QVERIFY(driver.done());
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        if (answer) {
            QCOMPARE(driver.texts.size(), 1);
            QVERIFY2(driver.texts.first().startsWith(question), qPrintable(driver.texts.first()));
        }
        QThreadPool::globalInstance()->waitForDone();
        QTRY_VERIFY(!QApplication::activeModalWidget());
        if (exported.isEmpty()) {
            QVERIFY(!QFile::exists(book));
            return;
        }
        QTRY_VERIFY(QFile::exists(book));
        Workbook::XlsxReader reader;
        QString error;
        QVERIFY2(reader.open(book, &error), qPrintable(error));
        Workbook::SheetCells cells;
        QVERIFY2(reader.readSheet(0, &cells, &error), qPrintable(error));
        int column = -1;
        for (int c = 1; c < cells.columnCount(); ++c) {
            if (cells.at(0, c).text == QLatin1String("North Canal:Lower Ditch.Diversion Requested"))
                column = c;
        }
        QVERIFY(column > 0);
        QCOMPARE(QString::number(cells.at(13, column).number), exported); // row 13: January 2001
    }

    // An export into a book that exists says what changed against it in the diagnostic area.
    void exportIntoExistingBookSaysWhatChanged()
    {
        TestProject project(2000, 2001);
        QVERIFY(project
                    .exec(QStringLiteral("INSERT INTO AggDiv (AggDivID, SalinityMethodID, "
                                         "SiteName, RiffleName) VALUES (1, 4, 'Upper', 'S1');"
                                         "INSERT INTO BaseMonthlyAggDiv (BaselineID, AggDivID, "
                                         "Month, AggDivSalinityValue) VALUES "
                                         "(1, 1, '2000-01-01', 3.25), (1, 1, '2000-02-01', 4.5)"))
                    .isOk());
        TARNMainWindow window;
        window.show();
        QVERIFY(window.connectToDatabase(project.path()));
        showExportingTab(window);
        // The text as read, without its Alt key's marker.
        QCOMPARE(child<QPushButton>(window, "_compareButton")->text().remove(QLatin1Char('&')),
            QStringLiteral("Compare Workbooks..."));
        const QString book = project.dirPath() + QStringLiteral("/out.xlsx");
        child<QLineEdit>(window, "_expFileLineEdit")->setText(book);
        child<QListWidget>(window, "_expScenListWidget")->item(0)->setCheckState(Qt::Checked);
        auto* diag = child<QTextEdit>(window, "_diagTextEdit");
        // The site's stored salinity is not what its inputs give: exported as it is each time.
        auto exportOnce = [&]() {
            ModalDriver driver;
            driver.answer(QMessageBox::No);
            window.expButtonClicked();
            QVERIFY(driver.done());
            QThreadPool::globalInstance()->waitForDone();
            QTRY_VERIFY(!QApplication::activeModalWidget());
        };
        exportOnce();
        QVERIFY(QFile::exists(book));
        QVERIFY(!diag->toPlainText().contains(QStringLiteral("Compared with")));

        QVERIFY(project
                    .exec(QStringLiteral("UPDATE BaseMonthlyAggDiv SET AggDivSalinityValue = 17 "
                                         "WHERE Month = '2000-02-01'"))
                    .isOk());
        exportOnce();
        QTRY_VERIFY2(diag->toPlainText().contains(
                         QStringLiteral("Compared with the previous workbook: 'Baseline Monthly "
                                        "Data': 1 of 1 columns changed, largest change 12.5 in "
                                        "S1.Salt Mass Removal")),
            qPrintable(diag->toPlainText()));
        diag->clear();
        exportOnce();
        QTRY_COMPARE(diag->toPlainText(),
            QStringLiteral("Compared with the previous workbook: No value changed"));
    }

    // Compare Workbooks: the comparison in a window of its own, sortable, copied as text; a
    // book that can't be read is reported.
    void compareWorkbooksShowsWindow()
    {
        QTemporaryDir dir;
        const auto months = [] {
            std::vector<QDate> dates;
            for (int m = 1; m <= 12; ++m)
                dates.emplace_back(2000, m, 1);
            return dates;
        }();
        auto write = [&](const QString& path, double shift) {
            LibXlConnect book;
            if (book.open(path).failed())
                return false;
            std::vector<double> values(12, 1.0);
            for (const char* sheet : { "One change", "Two changes" })
                for (int c = 0; c < 3; ++c) {
                    std::vector<double> column = values;
                    if (c < (sheet[0] == 'O' ? 1 : 2))
                        column[5] += shift;
                    if (book.writeColumn(QString::fromLatin1(sheet),
                                QStringLiteral("S:U%1.Slot").arg(c), 12, months.data(),
                                column.data())
                            .failed())
                        return false;
                }
            return book.save().isOk();
        };
        const QString oldBook = dir.filePath(QStringLiteral("old.xlsx"));
        const QString newBook = dir.filePath(QStringLiteral("new.xls"));
        QVERIFY(write(oldBook, 0));
        QVERIFY(write(newBook, 2.5));

        QWidget owner;
        owner.show();
        WorkbookCompareRunner::compare(&owner, oldBook, newBook);
        WorkbookDiffDlg* shown = nullptr;
        QTRY_VERIFY((shown = owner.findChild<WorkbookDiffDlg*>()) != nullptr);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        auto* sheets = shown->findChild<QTableView*>(QStringLiteral("_sheetsView"));
        auto* columns = shown->findChild<QTableView*>(QStringLiteral("_columnsView"));
        QCOMPARE(sheets->model()->rowCount(), 2);
        // By the number of changed columns, most first.
        sheets->sortByColumn(2, Qt::DescendingOrder);
        QCOMPARE(sheets->model()->index(0, 0).data().toString(), QStringLiteral("Two changes"));
        QCOMPARE(sheets->model()->index(0, 2).data().toString(), QStringLiteral("2"));
        sheets->selectRow(0);
        QCOMPARE(columns->model()->rowCount(), 2);
        QCOMPARE(columns->model()->index(0, 5).data().toString(), QStringLiteral("2.5"));
        shown->copyClicked();
        QCOMPARE(QApplication::clipboard()->text(), shown->comparison().toText());
        QVERIFY(QApplication::clipboard()->text().contains(
            QStringLiteral("\tS:U1.Slot\tchanged\t1\t2000-06\t2000-06\t2.5")));
        shown->close();

        QString warned;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&warned] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->windowTitle() == QLatin1String("Compare Workbooks")) {
                warned = box->text();
                box->accept();
            }
        });
        poll.start(20);
        const QString missing = dir.filePath(QStringLiteral("missing.xlsx"));
        WorkbookCompareRunner::compare(&owner, oldBook, missing);
        QTRY_VERIFY(
            warned.startsWith(QStringLiteral("Unable to read the workbook \"%1\"").arg(missing)));
    }

    // The workbook path belongs to its project: opening another one clears it, and an export
    // into a workbook whose sheets another project wrote asks first. The tab says how each
    // export ended.
    void workbookBelongsToItsProject()
    {
        const QString results = QStringLiteral(
            "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName) VALUES (1, 4, "
            "'Upper', 'S1'); INSERT INTO BaseMonthlyAggDiv (BaselineID, AggDivID, Month, "
            "AggDivSalinityValue) VALUES (1, 1, '2000-01-01', 3.25), (1, 1, '2000-02-01', 4.5)");
        TestProject first(2000, 2001, QStringLiteral("first"));
        TestProject second(2000, 2001, QStringLiteral("second"));
        QVERIFY(first.exec(results).isOk());
        QVERIFY(second.exec(results).isOk());
        TARNMainWindow window;
        window.show();
        QVERIFY(window.connectToDatabase(first.path()));
        showExportingTab(window);
        auto* file = child<QLineEdit>(window, "_expFileLineEdit");
        auto* list = child<QListWidget>(window, "_expScenListWidget");
        auto* result = child<QLabel>(window, "_expResultLabel");
        const QString book = first.dirPath() + QStringLiteral("/basin.xlsx");
        file->setText(book);
        list->item(0)->setCheckState(Qt::Checked);
        QStringList problems;
        const auto exportNow = [&](const QList<QMessageBox::StandardButton>& answers) {
            ModalDriver driver;
            for (QMessageBox::StandardButton answer : answers)
                driver.answer(answer);
            window.expButtonClicked();
            QThreadPool::globalInstance()->waitForDone();
            QElapsedTimer waited;
            waited.start();
            while (QApplication::activeModalWidget() && waited.elapsed() < 10000)
                QTest::qWait(20);
            if (!driver.done())
                problems << QStringLiteral("not every expected question came");
            problems << driver.unexpected;
            return driver.texts;
        };
        // The stored salinity is not what the inputs give: "No" exports it as it is.
        exportNow({ QMessageBox::No });
        QTRY_VERIFY2(result->text().startsWith(QStringLiteral(
                         "Exported Baseline Monthly Data (2000 to 2001) to basin.xlsx at ")),
            qPrintable(result->text()));
        QFile written(book);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray before = written.readAll();
        written.close();

        QVERIFY(window.connectToDatabase(second.path()));
        showExportingTab(window);
        QCOMPARE(file->text(), QString());
        QCOMPARE(result->text(), QString());
        file->setText(book);
        list->item(0)->setCheckState(Qt::Checked);
        const QString question = QStringLiteral(
            "The workbook \"basin.xlsx\" holds sheets exported from another project "
            "(\"first.db\"). Export \"second.db\" into it anyway? Its sheets of the same names "
            "are replaced; the other sheets stay.");
        QCOMPARE(exportNow({ QMessageBox::No }), QStringList { question });
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), before);
        written.close();
        const QStringList asked = exportNow({ QMessageBox::Yes, QMessageBox::No });
        QCOMPARE(asked.value(0), question);
        QTRY_VERIFY(result->text().startsWith(QStringLiteral("Exported ")));
        // Now its sheets are the second project's: no more question.
        exportNow({ QMessageBox::No });
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('|'))));
    }

    void exportFailureIsShown()
    {
        TestProject project(2000, 2001);
        TARNMainWindow window;
        window.show();
        QVERIFY(window.connectToDatabase(project.path()));
        showExportingTab(window);
        child<QLineEdit>(window, "_expFileLineEdit")
            ->setText(project.dirPath() + QStringLiteral("/out.csv"));
        child<QListWidget>(window, "_expScenListWidget")->item(0)->setCheckState(Qt::Checked);
        QString shown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->windowTitle() == QLatin1String("Data Export")) {
                shown = box->text();
                box->accept();
            }
        });
        poll.start(20);
        window.expButtonClicked();
        QTRY_COMPARE(shown, QStringLiteral("Unsupported workbook type"));
    }
};

QTEST_MAIN(TestExportingTab)
#include "tst_exportingtab.moc"
