#include "inputs/InputsDump.h"
#include "support/CalcTestSupport.h"
#include "support/CliRun.h"
#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "calc/BaselineChangeLog.h"
#include "db/TarnDbMgr.h"
#include "db/WaterUserDAO.h"
#include "inputs/InputsImport.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/common/ImportPreviewDlg.h"

#include <QFile>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

// An import from the baseline dialog writes inside the dialog's transaction: the dialog shows
// it, and the dialog's Cancel undoes it with the rest of its edits.
class TestInputsImportDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<TARN::okstat>();
    }
    void cleanup() { resetDbManager(); }
    void importThenCancel_data();
    void importThenCancel();
    void importThenOkLeavesTheResultsOfAFullRecalculation();
};

namespace {

// Replaces one line of a .csv file of the book.
bool editCsv(const QString& file, const QString& from, const QString& to)
{
    QFile csv(file);
    if (!csv.open(QIODevice::ReadOnly))
        return false;
    QString text = QString::fromUtf8(csv.readAll());
    csv.close();
    if (!text.contains(from))
        return false;
    text.replace(from, to);
    return csv.open(QIODevice::WriteOnly | QIODevice::Truncate) && csv.write(text.toUtf8()) > 0;
}

double depletion(int waterUserId, int year)
{
    WaterUserDataList rows;
    TarnDbMgr::instance()->waterUserDAO()->getWaterUserData(rows, waterUserId, false);
    for (const WaterUserData& row : rows)
        if (row.Year == year)
            return row.DepletionReq;
    return -1;
}

} // namespace

void TestInputsImportDlg::importThenCancel_data()
{
    QTest::addColumn<bool>("applyPreview");
    QTest::newRow("Apply in the preview, then Cancel the dialog") << true;
    QTest::newRow("Cancel in the preview") << false;
}

void TestInputsImportDlg::importThenCancel()
{
    QFETCH(bool, applyPreview);
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(demo).isOk());
    QVERIFY(TarnDbMgr::instance()->openDatabase(demo).isOk());
    const QString book = dir.filePath(QStringLiteral("book"));
    QVERIFY(Inputs::exportInputs(book).isOk());
    // One changed value, one new site with a water user.
    QVERIFY(editCsv(book + QStringLiteral("/Yearly Data.csv"),
        QStringLiteral("HighlineDitchCompany,1991,52.27,20.80346,"),
        QStringLiteral("HighlineDitchCompany,1991,52.27,21.5,")));
    QFile sites(book + QStringLiteral("/Sites.csv"));
    QVERIFY(sites.open(QIODevice::Append));
    sites.write("NewMesaAggDiv,New Mesa,,,9\r\n");
    sites.close();
    QFile users(book + QStringLiteral("/Water Users.csv"));
    QVERIFY(users.open(QIODevice::Append));
    users.write("NewMesaAggDiv,MesaFarms,Mesa Farms,,1,0,0,0,10,20,20,20,20,10,0,0,0\r\n");
    users.close();
    const QStringList before = dumpInputs(demo);
    QSqlQuery query(TarnDbMgr::instance()->database());
    QVERIFY(query.exec(QStringLiteral(
        "SELECT WaterUserID FROM WaterUser WHERE RiffleName = 'HighlineDitchCompany'")));
    QVERIFY(query.next());
    const int highline = query.value(0).toInt();
    query.finish();
    const double stored = depletion(highline, 1991);

    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    BaselineDlg dialog;
    auto* siteView = child<QTableView>(&dialog, "_aggDivTableView");
    const int siteRows = siteView->model()->rowCount();
    ModalDriver driver;
    int changeRows = 0;
    driver.expect<ImportPreviewDlg>([&](ImportPreviewDlg* preview) {
        changeRows = child<QTableWidget>(preview, "_changesTable")->rowCount();
        child<QPushButton>(preview, applyPreview ? "_applyButton" : "_cancelButton")->click();
    });
    dialog.importInputsFrom(book);
    QTRY_VERIFY(driver.done());
    QVERIFY(driver.unexpected.isEmpty());
    QCOMPARE(changeRows, 3); // the value, the site and the water user

    if (applyPreview) {
        // Written into the dialog's transaction, shown and recorded for its save.
        QCOMPARE(depletion(highline, 1991), 21.5);
        QCOMPARE(siteView->model()->rowCount(), siteRows + 1);
        QVERIFY(dialog.changeLog().hasChanges());
    } else {
        QCOMPARE(depletion(highline, 1991), stored);
        QCOMPARE(siteView->model()->rowCount(), siteRows);
        QVERIFY(!dialog.changeLog().hasChanges());
    }
    driver.answer(QMessageBox::Yes); // "Are you sure you want to cancel?"
    dialog.reject();
    QTRY_VERIFY(driver.done());
    QVERIFY(!TarnDbMgr::instance()->inTransaction());
    QCOMPARE(depletion(highline, 1991), stored);
    QCOMPARE(dumpInputs(demo), before);
}

// The dialog's OK computes what the import recorded, from the imported values.
void TestInputsImportDlg::importThenOkLeavesTheResultsOfAFullRecalculation()
{
    QTemporaryDir dir;
    const QString demo = dir.filePath(QStringLiteral("demo.db"));
    QVERIFY(makeDemoProject(demo).isOk());
    QCOMPARE(runCli({ QStringLiteral("recalc"), demo }).exitCode, 0);
    QVERIFY(TarnDbMgr::instance()->openDatabase(demo).isOk());
    const QString book = dir.filePath(QStringLiteral("book"));
    QVERIFY(Inputs::exportInputs(book).isOk());
    QVERIFY(editCsv(book + QStringLiteral("/Yearly Data.csv"),
        QStringLiteral("HighlineDitchCompany,1991,52.27,20.80346,"),
        QStringLiteral("HighlineDitchCompany,1991,52.27,33.3,")));

    QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    BaselineDlg dialog;
    dialog.show();
    ModalDriver driver;
    driver.expect<ImportPreviewDlg>(
        [&](ImportPreviewDlg* preview) { child<QPushButton>(preview, "_applyButton")->click(); });
    dialog.importInputsFrom(book);
    QTRY_VERIFY(driver.done());
    child<QPushButton>(&dialog, "_okButton")->click();
    QTRY_VERIFY(!dialog.isVisible());
    QVERIFY(driver.unexpected.isEmpty());
    QVERIFY(!TarnDbMgr::instance()->inTransaction());
    const QStringList differences = differencesFromFullRecalculation(demo);
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestInputsImportDlg)
#include "tst_inputsimportdlg.moc"
