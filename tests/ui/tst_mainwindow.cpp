#include "support/TestProject.h"

#include "app/TARNMainWindow.h"
#include "db/BaselineDAO.h"
#include "db/Password.h"
#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"
#include "ui/common/CheckReportDlg.h"
#include "ui/common/HelpDocument.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

class TestMainWindow : public QObject {
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

    static QList<bool> projectTabsEnabled(QWidget& window)
    {
        auto* tabs = child<QTabWidget>(window, "_mainTabWidget");
        QList<bool> enabled;
        for (int i = 1; i < tabs->count(); ++i)
            enabled.append(tabs->widget(i)->isEnabled());
        return enabled;
    }

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void cleanup() { resetDbManager(); }

    void startState()
    {
        TARNMainWindow window;
        QCOMPARE(window.windowTitle(), QStringLiteral("Tarnhelm 3.4"));
        QCOMPARE(child<QLabel>(window, "_dbStatusLabel")->text(), QStringLiteral("Not connected"));
        QCOMPARE(projectTabsEnabled(window), (QList<bool> { false, false, false, false }));
        auto* tabs = child<QTabWidget>(window, "_mainTabWidget");
        QCOMPARE(tabs->currentIndex(), 0);
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles << tabs->tabText(i);
        QCOMPARE(titles,
            (QStringList { QStringLiteral("Database"), QStringLiteral("Baseline"),
                QStringLiteral("Scenarios"), QStringLiteral("Plotting"),
                QStringLiteral("Exporting") }));
        auto* help = qobject_cast<QToolButton*>(tabs->cornerWidget(Qt::TopRightCorner));
        QVERIFY(help);
        QCOMPARE(help->toolTip(), QStringLiteral("Open help documentation"));
        for (const char* name :
            { "_editScenarioButton", "_deleteScenarioButton", "_exportScenarioButton",
                "_editPlotButton", "_deletePlotButton", "_generatePlotButton" })
            QVERIFY2(!child<QPushButton>(window, name)->isEnabled(), name);
        QVERIFY(!window.windowIcon().isNull());
    }

    void openSuccessThenFailure()
    {
        TestProject project;
        QVERIFY(project
                    .exec(QStringLiteral("INSERT INTO Scenario (ScenarioName, ScenarioShortName) "
                                         "VALUES ('Dry years', 'Dry')"))
                    .isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        auto* status = child<QLabel>(window, "_dbStatusLabel");
        QCOMPARE(status->text(), QStringLiteral("Connected"));
        QVERIFY(status->styleSheet().contains(QStringLiteral("green")));
        QCOMPARE(projectTabsEnabled(window), (QList<bool> { true, true, true, true }));
        auto* scenarios = child<QTableView>(window, "_scenarioTableView");
        QCOMPARE(scenarios->model()->rowCount(), 1);
        QVERIFY(scenarios->isColumnHidden(0) && scenarios->isColumnHidden(1));
        QVERIFY(scenarios->isColumnHidden(3) && scenarios->isColumnHidden(4));
        QVERIFY(!scenarios->isColumnHidden(2));

        QTemporaryDir dir;
        const QString junk = dir.filePath(QStringLiteral("junk.db"));
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a database at all, just text that is long enough to be a header");
        file.close();
        QVERIFY(!window.connectToDatabase(junk));
        QVERIFY(status->text().startsWith(QStringLiteral("Error: ")));
        QVERIFY(status->text().size() > 7);
        QVERIFY(status->styleSheet().contains(QStringLiteral("red")));
        QCOMPARE(projectTabsEnabled(window), (QList<bool> { false, false, false, false }));
    }

    // A row that names a missing row is left out of every list; opening says which it is.
    void brokenReferenceIsReported()
    {
        TestProject project;
        QVERIFY(project
                    .exec(QStringLiteral(
                        "PRAGMA foreign_keys = OFF; INSERT INTO WaterUser (WaterUserID, AggDivID, "
                        "WaterUserName, RiffleName) VALUES (7, 42, 'Lost', 'Lost')"))
                    .isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        QCOMPARE(child<QLabel>(window, "_dbStatusLabel")->text(), QStringLiteral("Connected"));
        const QString shown = child<QTextEdit>(window, "_diagTextEdit")->toPlainText();
        QVERIFY2(shown.contains(QStringLiteral("Broken references in %1:\n    WaterUser row 7 "
                                               "refers to a missing AggDiv row")
                                    .arg(project.path())),
            qPrintable(shown));

        // A sound project adds nothing but the line that says it was opened.
        TestProject sound;
        QVERIFY(window.connectToDatabase(sound.path()));
        const QString after = child<QTextEdit>(window, "_diagTextEdit")->toPlainText();
        QVERIFY(after.startsWith(shown + QLatin1Char('\n')));
        const QString added = after.mid(shown.size() + 1);
        QVERIFY2(added.startsWith(QStringLiteral("---- project.db opened at "))
                && !added.contains(QLatin1Char('\n')),
            qPrintable(added));
    }

    // The check runs on a worker under its status dialog, then lists the findings in a window of
    // their own that filters by severity and copies the whole report.
    // Between the planner's actions the window holds no lock on the file: another program (or
    // a second window) can write to it while a project is merely open.
    void idleWindowLeavesTheFileFree_data()
    {
        QTest::addColumn<int>("tab");
        QTest::newRow("Database") << 0;
        QTest::newRow("Baseline, after the editor was cancelled") << 1;
        QTest::newRow("Scenarios") << 2;
        QTest::newRow("Plotting") << 3;
        QTest::newRow("Exporting") << 4;
    }
    void idleWindowLeavesTheFileFree()
    {
        QFETCH(int, tab);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(makeDemoProject(path).isOk());
        TARNMainWindow window;
        window.show();
        QVERIFY(window.connectToDatabase(path));
        child<QTabWidget>(window, "_mainTabWidget")->setCurrentIndex(tab);
        QApplication::processEvents();
        if (tab == 1) {
            // The editor is cancelled, and the question that follows answered Yes.
            QTimer closer;
            connect(&closer, &QTimer::timeout, [] {
                QWidget* modal = QApplication::activeModalWidget();
                // Later, not here: a question opened from here would hold up this timer.
                QTimer::singleShot(0, modal, [modal] {
                    if (auto* box = qobject_cast<QMessageBox*>(modal))
                        box->button(QMessageBox::Yes)->click();
                    else if (auto* dialog = qobject_cast<QDialog*>(modal))
                        dialog->reject();
                });
            });
            closer.start(20);
            child<QPushButton>(window, "_editBaselineButton")->click();
        }

        TARN::okstat opened;
        QSqlDatabase other = ProjectFile::openConnection(path, &opened);
        QVERIFY2(opened.isOk(), qPrintable(opened.text()));
        {
            QSqlQuery query(other);
            QVERIFY(query.exec(QStringLiteral("PRAGMA busy_timeout = 0")));
            QVERIFY2(query.exec(QStringLiteral("BEGIN IMMEDIATE")),
                qPrintable(query.lastError().text()));
            QVERIFY2(query.exec(QStringLiteral("UPDATE Baseline SET EndYear = EndYear")),
                qPrintable(query.lastError().text()));
            QVERIFY2(query.exec(QStringLiteral("COMMIT")), qPrintable(query.lastError().text()));
        }
        ProjectFile::closeConnection(other);
    }

    void checkProjectShowsTheReport()
    {
        TestProject project(2000, 2001);
        QVERIFY(project
                    .exec(QStringLiteral(
                        "INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName) "
                        "VALUES (1, 1, 'A', 'Same'), (2, 1, 'B', 'Same');"
                        "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) "
                        "VALUES (1, 'Dry', 'D');"
                        "INSERT INTO DemandChg VALUES (1, 1, 'Nobody', NULL, '2024-01-01', 1, 1, "
                        "0)"))
                    .isOk());
        TARNMainWindow window;
        window.show();
        auto* check = child<QPushButton>(window, "_checkProjectButton");
        QVERIFY(!check->isEnabled());
        QVERIFY(window.connectToDatabase(project.path()));
        QVERIFY(check->isEnabled());
        check->click();
        CheckReportDlg* report = nullptr;
        QTRY_VERIFY((report = window.findChild<CheckReportDlg*>()) != nullptr);
        QVERIFY(report->isVisible());
        auto* table = report->findChild<QTableView*>(QStringLiteral("_findingsTableView"));
        QStringList rules;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            rules << table->model()->index(row, CheckReportDlg::RuleColumn).data().toString();
        // Two sites share a Riffle name (fail); no site has results (fail); the change selects
        // nobody (warn).
        QVERIFY2(rules.contains(QStringLiteral("riffle-names")), qPrintable(rules.join(u',')));
        QVERIFY(rules.contains(QStringLiteral("results-current")));
        QVERIFY(rules.contains(QStringLiteral("empty-selection")));
        auto* severity = report->findChild<QComboBox*>(QStringLiteral("_severityComboBox"));
        severity->setCurrentIndex(severity->findData(QStringLiteral("warn")));
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(table->model()->index(0, CheckReportDlg::RuleColumn).data().toString(),
            QStringLiteral("empty-selection"));
        report->findChild<QPushButton*>(QStringLiteral("_copyButton"))->click();
        const QString copied = QApplication::clipboard()->text();
        QVERIFY(copied.contains(QLatin1String("riffle-names (fail, 1)")));
        QVERIFY(copied.contains(QLatin1String("empty-selection (warn, 1)")));

        // Recalculate computes the missing results and checks again.
        QPointer<CheckReportDlg> first(report);
        report->findChild<QPushButton*>(QStringLiteral("_recalculateButton"))->click();
        QTRY_VERIFY(first.isNull());
        QTRY_VERIFY((report = window.findChild<CheckReportDlg*>()) != nullptr);
        table = report->findChild<QTableView*>(QStringLiteral("_findingsTableView"));
        rules.clear();
        for (int row = 0; row < table->model()->rowCount(); ++row)
            rules << table->model()->index(row, CheckReportDlg::RuleColumn).data().toString();
        QVERIFY2(!rules.contains(QStringLiteral("results-current")), qPrintable(rules.join(u',')));
        QVERIFY(rules.contains(QStringLiteral("riffle-names")));
    }

    void diagnosticArea()
    {
        TARNMainWindow window;
        auto* diag = child<QTextEdit>(window, "_diagTextEdit");
        window.diagMsgHandler(QStringLiteral("Computing Agg Diversion Upper"));
        window.diagMsgHandler(QStringLiteral("second line"));
        QVERIFY(diag->toPlainText().contains(
            QStringLiteral("Computing Agg Diversion Upper\nsecond line")));
        window.diagMsgHandler(QStringLiteral("_clear_diagnostic_messages_"));
        QVERIFY(diag->toPlainText().isEmpty());

        // The newest line is in view, also after the planner scrolled up.
        window.resize(800, 600);
        window.show();
        for (int line = 0; line < 300; ++line)
            window.diagMsgHandler(QStringLiteral("line %1").arg(line));
        QScrollBar* bar = diag->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(0);
        window.diagMsgHandler(QStringLiteral("newest"));
        QCOMPARE(bar->value(), bar->maximum());
    }

    void helpLookup()
    {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const bool installedCopy = !HelpDocument::locate().isEmpty();
        QVERIFY(QDir().mkpath(QStringLiteral("Help")));
        QFile pdf(QStringLiteral("Help/TARN_Help.pdf"));
        QVERIFY(pdf.open(QIODevice::WriteOnly));
        pdf.write("%PDF-1.4\n");
        pdf.close();
        QCOMPARE(HelpDocument::locate(), QFileInfo(pdf).absoluteFilePath());
        QVERIFY(QFile::remove(QStringLiteral("Help/TARN_Help.pdf")));
        if (!installedCopy)
            QVERIFY(HelpDocument::locate().isEmpty());
        QDir::setCurrent(previous);
    }

    void missingHelpSaysWhere()
    {
        if (!HelpDocument::locate().isEmpty())
            QSKIP("a help document is installed on this machine");
        TARNMainWindow window;
        QString text;
        QTimer::singleShot(0, [&text] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box) {
                text = box->text();
                box->accept();
            }
        });
        openHelpDocument();
        QCOMPARE(text,
            QStringLiteral("No help documentation was found at %1.")
                .arg(QFileInfo(QStringLiteral("Help/TARN_Help.pdf")).absoluteFilePath()));
    }

    void passwordGatePromptsUntilRightOrCancel_data()
    {
        QTest::addColumn<QStringList>("answers"); // empty string = Cancel
        QTest::addColumn<int>("prompts");
        QTest::newRow("right at once") << QStringList { QStringLiteral("secret") } << 1;
        QTest::newRow("wrong then right")
            << QStringList { QStringLiteral("guess"), QStringLiteral("secret") } << 2;
        QTest::newRow("wrong then cancel")
            << QStringList { QStringLiteral("guess"), QString() } << 2;
    }
    void passwordGatePromptsUntilRightOrCancel()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, prompts);
        TestProject project;
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        auto* model = TarnDbMgr::instance()->baselineDAO()->baselineModel();
        QVERIFY(model->setData(model->index(0, 8), Password::digest(QStringLiteral("secret"))));
        QVERIFY(model->submitAll());

        int seen = 0;
        std::function<void()> answer;
        std::function<void()> closeEditor;
        answer = [&] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                QTimer::singleShot(10, answer);
                return;
            }
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Password"));
            QCOMPARE(dialog->labelText(), QStringLiteral("Password required to edit baseline:"));
            QCOMPARE(dialog->textEchoMode(), QLineEdit::Password);
            const QString reply = answers.value(seen++);
            if (reply.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->setTextValue(reply);
            dialog->accept();
            if (seen < answers.size())
                QTimer::singleShot(10, answer);
            else
                QTimer::singleShot(10, closeEditor);
        };
        // The right password opens the baseline editor; cancel it (and confirm) to return.
        closeEditor = [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                box->button(QMessageBox::Yes)->click();
                return;
            }
            if (modal && modal->inherits("BaselineDlg"))
                QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
            QTimer::singleShot(10, closeEditor);
        };
        QTimer::singleShot(0, answer);
        window.editBaselineClicked();
        QCOMPARE(seen, prompts);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
