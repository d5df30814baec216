#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "export/DataExporter.h"
#include "support/TestProject.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/common/CalcStatusJob.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestCalcStatusDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void initialState();
    void statusRecordFillsWidgets();
    void zeroCountIsBusyMode();
    void endOfRun_data();
    void endOfRun();
    void escapeIgnoredWhileRunning();
    void calculatorRunClosesDialog();
    void exportCanBeCancelled();
};

void TestCalcStatusDlg::initTestCase()
{
    qRegisterMetaType<TARN::okstat>("okstat");
    qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
}

void TestCalcStatusDlg::initialState()
{
    CalcStatusDlg dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("CalcStatusDlgWidgets"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Calculation Status"));
    QCOMPARE(dlg.windowModality(), Qt::ApplicationModal);
    QCOMPARE(
        dlg.findChild<QLabel*>(QStringLiteral("_calcLbl"))->text(), QStringLiteral("Calculating:"));
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("_aggDivLbl"))->text(),
        QStringLiteral("Agg Diversion:"));
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("_watUsrLbl"))->text(),
        QStringLiteral("Water User:   "));
    auto* bar = dlg.findChild<QProgressBar*>(QStringLiteral("_aggDivProgBar"));
    QCOMPARE(bar->minimum(), 1);
    QCOMPARE(bar->value(), 1);
    dlg.show();
    QVERIFY(!dlg.findChild<QPushButton*>(QStringLiteral("_cancelBtn"))->isVisible());
    QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(dlg.windowFlags() & Qt::WindowContextHelpButtonHint));
}

void TestCalcStatusDlg::statusRecordFillsWidgets()
{
    CalcStatusDlg dlg;
    CalcStatusInfo info;
    info.target = QStringLiteral("Scenario Dry");
    info.aggDivCount = 5;
    info.aggDivDone = 2;
    info.aggDivName = QStringLiteral("North Canal");
    info.waterUserCount = 4;
    info.waterUserDone = 3;
    info.waterUserName = QStringLiteral("Upper Ditch");
    info.status = QStringLiteral("Calculating water user data");
    dlg.calcStatusHandler(info);
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("_calcLabel"))->text(), info.target);
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("_aggDivLabel"))->text(), info.aggDivName);
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("_watUsrLabel"))->text(), info.waterUserName);
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("_statusLabel"))->text(), info.status);
    auto* sites = dlg.findChild<QProgressBar*>(QStringLiteral("_aggDivProgBar"));
    QCOMPARE(sites->maximum(), 5);
    QCOMPARE(sites->value(), 2);
    auto* users = dlg.findChild<QProgressBar*>(QStringLiteral("_watUsrProgBar"));
    QCOMPARE(users->maximum(), 4);
    QCOMPARE(users->value(), 3);

    dlg.calcStatusHandler(CalcStatusInfo());
    QVERIFY(dlg.findChild<QLabel*>(QStringLiteral("_calcLabel"))->text().isEmpty());
    QCOMPARE(sites->maximum(), 100);
    QCOMPARE(sites->value(), 0);
}

void TestCalcStatusDlg::zeroCountIsBusyMode()
{
    CalcStatusDlg dlg;
    CalcStatusInfo info;
    info.aggDivCount = 0;
    dlg.calcStatusHandler(info);
    auto* bar = dlg.findChild<QProgressBar*>(QStringLiteral("_aggDivProgBar"));
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 0);
}

void TestCalcStatusDlg::endOfRun_data()
{
    QTest::addColumn<bool>("success");
    QTest::newRow("success") << true;
    QTest::newRow("failure") << false;
}

void TestCalcStatusDlg::endOfRun()
{
    QFETCH(bool, success);
    CalcStatusDlg dlg;
    const TARN::okstat result
        = success ? TARN::okstat() : TARN::okstat(QStringLiteral("Unable to compute: x"));
    QTimer::singleShot(0, &dlg, [&dlg, &result]() { dlg.calcFinishedHandler(result); });
    const int code = dlg.exec();
    QCOMPARE(code, success ? 1 : 0);
    QCOMPARE(dlg.hasResultText(), !success);
    QCOMPARE(dlg.resultText(), success ? QString() : QStringLiteral("Unable to compute: x"));
}

void TestCalcStatusDlg::escapeIgnoredWhileRunning()
{
    resetDbManager();
    TestProject project;
    QVERIFY(project.openInManager().isOk());
    {
        BaselineDemandCalculator calculator;
        CalcStatusDlg dlg;
        dlg.attach(CalcStatusJob::calculation(&calculator));
        QVERIFY(dlg.isRunning());
        dlg.show();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.close());
        QVERIFY(dlg.isVisible());
        dlg.calcFinishedHandler(TARN::okstat());
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), 1);
    }
    resetDbManager();
}

void TestCalcStatusDlg::calculatorRunClosesDialog()
{
    resetDbManager();
    TestProject project;
    QVERIFY(project
                .exec(QStringLiteral("INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, "
                                     "RiffleName) VALUES (1, 1, 'S', 'Site')"))
                .isOk());
    QVERIFY(project.openInManager().isOk());
    BaselineChangeLog log;
    log.setFullRecalculation();
    auto* calculator = new BaselineDemandCalculator();
    calculator->initialize(&log, true);
    auto* dlg = new CalcStatusDlg();
    dlg->attach(CalcStatusJob::calculation(calculator));
    calculator->start();
    QCOMPARE(dlg->exec(), 1);
    QVERIFY(!dlg->hasResultText());
    // The owner deletes both right away; the calculator waits for its thread.
    delete dlg;
    delete calculator;
    QCOMPARE(project.scalar(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")).toInt(), 11);
    resetDbManager();
}

// An export may be stopped from its status dialog; a calculation may not (initialState).
void TestCalcStatusDlg::exportCanBeCancelled()
{
    DataExporter exporter(nullptr, QSqlDatabase());
    CalcStatusDlg dlg;
    dlg.attach(CalcStatusJob::dataExport(&exporter));
    dlg.show();
    auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("_cancelBtn"));
    QVERIFY(cancel->isVisible() && cancel->isEnabled());
    QVERIFY(!exporter.isCancelled());
    cancel->click();
    QVERIFY(exporter.isCancelled());
    QVERIFY(!cancel->isEnabled());
    // The dialog closes when the export reports its end, not before.
    QVERIFY(dlg.isVisible());
    dlg.calcFinishedHandler(DataExporter::cancelledText());
    QVERIFY(!dlg.isVisible());
}

QTEST_MAIN(TestCalcStatusDlg)
#include "tst_calcstatusdlg.moc"
