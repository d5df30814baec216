#include "support/DiskFaults.h"
#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "db/TarnDbMgr.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/plot/CurveDlg.h"
#include "ui/plot/PlotDlg.h"
#include "ui/scenario/ChangeSpecDlg.h"
#include "ui/scenario/ScenarioDlg.h"

#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

const char* const Project = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 3, 'North Canal', 'NC', 0), (2, 1, 'South Ditch', 'SD', 1);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES (11, 1, 'Unassigned');
INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (1, 1, 11), (1, 2, 11);
INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES (1, 'Dry', 'D');
INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, 'Upper Ditch', 'UD', 0), (2, 1, 'Lower Ditch', 'LD', 1), (3, 2, 'Farm', 'FA', 0);
INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec)
    SELECT WaterUserID, 10, 10, 10, 10, 10, 10, 10, 10, 5, 5, 5, 5 FROM WaterUser;
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio)
    VALUES (1, 2000, 100, 40, 0.4), (2, 2000, 50, 25, 0.5), (3, 2000, 80, 20, 0.25);
INSERT INTO Plot (PlotID, Name, Description) VALUES (1, 'Site one', 'first');
)";

enum Fault { DiskFull, IoError };
enum Then { PressOkAgain, Cancel };

// The disk as the save meets it: no room for another page of the project, or every write that
// would make a file longer refused by the system.
class DiskFault {
public:
    DiskFault(Fault fault, const QString& path)
    {
        if (fault == DiskFull)
            _full = std::make_unique<DatabaseFull>(TarnDbMgr::instance()->database());
        else
            _limit = std::make_unique<FileSizeLimit>(QFileInfo(path).size());
    }
    bool isSet() const { return _full ? _full->isSet() : _limit->isSet(); }

private:
    std::unique_ptr<DatabaseFull> _full;
    std::unique_ptr<FileSizeLimit> _limit;
};

// More than the free room of the file's pages: saving it needs new ones.
QString longText()
{
    QStringList lines;
    for (int line = 0; line < 2000; ++line)
        lines << QStringLiteral("Line %1 of a long description.").arg(line);
    return lines.join(QLatin1Char('\n'));
}

void click(QWidget* dialog, const char* button)
{
    child<QPushButton>(dialog, button)->click();
}

void addFaultRows()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("then");
    QTest::newRow("disk full, OK again") << int(DiskFull) << int(PressOkAgain);
    QTest::newRow("disk full, Cancel") << int(DiskFull) << int(Cancel);
    QTest::newRow("I/O error, OK again") << int(IoError) << int(PressOkAgain);
    QTest::newRow("I/O error, Cancel") << int(IoError) << int(Cancel);
}

QString expectedCause(int fault)
{
    return fault == DiskFull ? QStringLiteral("The disk is full")
                             : QStringLiteral("The disk could not be written");
}

} // namespace

// A save that fails on the disk ends the transaction in SQLite: the editors must then neither
// write a part of what they hold on its own nor leave it to a commit that has nothing to commit.
// Whatever the planner does next, the file holds the whole editing session or none of it.
class TestFailedSaves : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Q_INIT_RESOURCE(tarnhelm); }
    void init()
    {
        _project = std::make_unique<TestProject>();
        QVERIFY(_project->exec(QString::fromLatin1(Project)).isOk());
        QVERIFY(_project->openInManager().isOk());
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    }
    void cleanup()
    {
        TarnDbMgr::instance()->rollback();
        _project.reset();
        resetDbManager();
    }

    void baselineSave_data() { addFaultRows(); }
    void baselineSave();
    void scenarioSave_data() { addFaultRows(); }
    void scenarioSave();
    void plotSave_data() { addFaultRows(); }
    void plotSave();

private:
    std::unique_ptr<TestProject> _project;
};

void TestFailedSaves::baselineSave()
{
    QFETCH(int, fault);
    QFETCH(int, then);
    BaselineDlg dialog;
    dialog.show();
    ModalDriver driver;
    driver.expect<QInputDialog>([](QInputDialog* input) {
        input->setTextValue(QStringLiteral("Lower"));
        input->accept();
    });
    dialog.addAttrValClicked();
    driver.expect<QDialog>([](QDialog* range) {
        child<QSpinBox>(range, "_endYearSpinBox")->setValue(2100);
        click(range, "_okButton");
    });
    dialog.editTimeRangeClicked();
    child<QTextEdit>(&dialog, "_baselineDescription")->setPlainText(longText());
    QVERIFY(driver.done());

    {
        DiskFault disk(Fault(fault), _project->path());
        QVERIFY(disk.isSet());
        driver.answer(QMessageBox::Ok);
        dialog.okClicked();
        QVERIFY(driver.done());
    }
    QCOMPARE(driver.texts.size(), 1);
    const QString failure = driver.texts.first();
    QVERIFY2(failure.startsWith(expectedCause(fault)), qPrintable(failure));
    QVERIFY(dialog.result() != QDialog::Accepted);
    // The editor goes on in a transaction, so that nothing it writes is committed on its own.
    QVERIFY(TarnDbMgr::instance()->inTransaction());
    const bool lost = failure.contains(QLatin1String("lost"));
    if (lost) {
        // What it shows is what the file holds.
        QCOMPARE(child<QLineEdit>(&dialog, "_endYearLineEdit")->text(), QStringLiteral("2010"));
        QCOMPARE(child<QTableView>(&dialog, "_attrValTableView")->model()->rowCount(), 1);
    }

    if (then == PressOkAgain) {
        dialog.okClicked();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    } else {
        driver.answer(QMessageBox::Yes);
        dialog.reject();
        QVERIFY(driver.done());
    }
    QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
    QVERIFY(!TarnDbMgr::instance()->inTransaction());

    const int endYear = _project->scalar(QStringLiteral("SELECT EndYear FROM Baseline")).toInt();
    const int lower
        = _project
              ->scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal = 'Lower'"))
              .toInt();
    const int lastYear
        = _project->scalar(QStringLiteral("SELECT MAX(Year) FROM WaterUserData")).toInt();
    if (then == PressOkAgain && !lost) {
        QCOMPARE(endYear, 2100);
        QCOMPARE(lower, 1);
        QCOMPARE(lastYear, 2100);
    } else {
        QCOMPARE(endYear, 2010);
        QCOMPARE(lower, 0);
        QCOMPARE(lastYear, 2000);
    }
}

void TestFailedSaves::scenarioSave()
{
    QFETCH(int, fault);
    QFETCH(int, then);
    ScenarioDlg dialog;
    QVERIFY(dialog.load(1).isOk());
    dialog.show();
    ModalDriver driver;
    driver.expect<ChangeSpecDlg>([](ChangeSpecDlg* change) {
        child<QLineEdit>(change, "_nameLineEdit")->setText(QStringLiteral("Added"));
        click(change, "_okButton");
    });
    dialog.addDemandChgClicked();
    QVERIFY(driver.done());
    child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Renamed"));
    child<QTextEdit>(&dialog, "_descrTextEdit")->setPlainText(longText());

    {
        DiskFault disk(Fault(fault), _project->path());
        QVERIFY(disk.isSet());
        driver.answer(QMessageBox::Ok);
        dialog.okClicked();
        QVERIFY(driver.done());
    }
    const QString failure = driver.texts.value(0);
    QVERIFY2(failure.startsWith(expectedCause(fault)), qPrintable(failure));
    QVERIFY(TarnDbMgr::instance()->inTransaction());
    const bool lost = failure.contains(QLatin1String("lost"));
    if (lost) {
        QCOMPARE(child<QLineEdit>(&dialog, "_nameLineEdit")->text(), QStringLiteral("Dry"));
        QCOMPARE(dialog.demandChgProxy()->rowCount(), 0);
    }

    if (then == PressOkAgain) {
        dialog.okClicked();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    } else {
        driver.answer(QMessageBox::Yes);
        dialog.reject();
        QVERIFY(driver.done());
    }
    QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
    QVERIFY(!TarnDbMgr::instance()->inTransaction());

    const QString name
        = _project->scalar(QStringLiteral("SELECT ScenarioName FROM Scenario WHERE ScenarioID = 1"))
              .toString();
    const int added
        = _project
              ->scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChg WHERE %1 = 'Added'")
                           .arg(testColumn(QStringLiteral("DemandChg"), 2)))
              .toInt();
    if (then == PressOkAgain && !lost) {
        QCOMPARE(name, QStringLiteral("Renamed"));
        QCOMPARE(added, 1);
    } else {
        QCOMPARE(name, QStringLiteral("Dry"));
        QCOMPARE(added, 0);
    }
}

void TestFailedSaves::plotSave()
{
    QFETCH(int, fault);
    QFETCH(int, then);
    auto dialog = std::make_unique<PlotDlg>(1);
    dialog->show();
    ModalDriver driver;
    driver.expect<CurveDlg>([](CurveDlg* curve) {
        child<QLineEdit>(curve, "_nameLineEdit")->setText(QStringLiteral("Added"));
        click(curve, "_okButton");
    });
    dialog->addCurveClicked();
    QVERIFY(driver.done());
    QCOMPARE(dialog->curveTableModel()->rowCount(), 1);
    child<QLineEdit>(dialog.get(), "_nameLineEdit")->setText(QStringLiteral("Renamed"));
    child<QPlainTextEdit>(dialog.get(), "_descriptionTextEdit")->setPlainText(longText());

    {
        DiskFault disk(Fault(fault), _project->path());
        QVERIFY(disk.isSet());
        driver.answer(QMessageBox::Ok);
        dialog->okClicked();
        QVERIFY(driver.done());
    }
    const QString failure = driver.texts.value(0);
    QVERIFY2(failure.startsWith(expectedCause(fault)), qPrintable(failure));
    QVERIFY(TarnDbMgr::instance()->inTransaction());
    const bool lost = failure.contains(QLatin1String("lost"));
    if (lost) {
        QCOMPARE(
            child<QLineEdit>(dialog.get(), "_nameLineEdit")->text(), QStringLiteral("Site one"));
        QCOMPARE(dialog->curveTableModel()->rowCount(), 0);
    }

    // The plotting tab rolls back what a dialog that was not accepted leaves open.
    if (then == PressOkAgain) {
        dialog->okClicked();
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
    } else {
        driver.answer(QMessageBox::Yes);
        dialog->reject();
        QVERIFY(driver.done());
        QVERIFY(TarnDbMgr::instance()->rollback().isOk());
    }
    QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
    QVERIFY(!TarnDbMgr::instance()->inTransaction());

    const QString name
        = _project->scalar(QStringLiteral("SELECT Name FROM Plot WHERE PlotID = 1")).toString();
    const int curves = _project->scalar(QStringLiteral("SELECT COUNT(*) FROM PlotCurve")).toInt();
    if (then == PressOkAgain && !lost) {
        QCOMPARE(name, QStringLiteral("Renamed"));
        QCOMPARE(curves, 1);
    } else {
        QCOMPARE(name, QStringLiteral("Site one"));
        QCOMPARE(curves, 0);
    }
}

QTEST_MAIN(TestFailedSaves)
#include "tst_failedsaves.moc"
