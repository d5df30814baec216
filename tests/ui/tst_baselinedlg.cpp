#include "support/CalcTestSupport.h"
#include "support/ModalDriver.h"
#include "support/StatementRefusal.h"
#include "support/TestProject.h"
#include "support/XmlCheck.h"

#include "app/TARNMainWindow.h"
#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/BaselineDAO.h"
#include "db/TarnDbMgr.h"
#include "demo/DemoProject.h"
#include "ui/baseline/AggDivDlg.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/baseline/MonthlyCoefficientLineEdit.h"
#include "ui/baseline/WaterUserDataTableView.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/AggDivAttrViewModel.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/common/WaterUserDataViewModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

const char* const Project = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 3, 'North Canal', 'NC', 0), (2, 1, 'South Ditch', 'SD', 1), (3, 4, 'East Pipe', 'EP', 2);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1), (2, 'Use', 2);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES
    (11, 1, 'Unassigned'), (12, 1, 'Upper'), (21, 2, 'Unassigned'), (22, 2, 'Irrigation');
INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (1, 1, 12), (1, 2, 11), (1, 3, 11);
INSERT INTO Scenario (ScenarioID, ScenarioName) VALUES (1, 'Dry'), (2, 'Wet');
INSERT INTO WaterUser (WaterUserID, AggDivID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, 'Upper Ditch', 'UD', 0), (2, 1, 'Lower Ditch', 'LD', 1), (3, 2, 'Farm', 'FA', 0),
    (4, 3, 'Mill', 'MI', 0);
INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES
    (2, 1, 22), (2, 2, 21), (2, 3, 21), (2, 4, 21);
INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec)
    VALUES (1, 10, 10, 10, 10, 10, 10, 10, 10, 5, 5, 5, 5),
           (2, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10, 10, 10),
           (3, 0, 0, 0, 0, 20, 20, 20, 20, 20, 0, 0, 0),
           (4, 10, 10, 10, 10, 10, 10, 10, 10, 5, 5, 5, 5);
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio,
    SalinityPickup) VALUES (1, 2000, 100, 40, 0.4, 1), (1, 2001, 110, 44, 0.4, 2),
    (2, 2000, 50, 25, 0.5, 1), (3, 2000, 80, 20, 0.25, 1), (4, 2000, 60, 30, 0.5, 1);
)";

// Demand changes and plot curves over the basin. Change 1 of "Dry" shares amounts between Upper
// Ditch (site 1) and Farm (site 2); change 3 of "Dry" sets totals for Lower Ditch (site 1) and
// Mill (site 3); both were picked by hand. Change 2 of "Wet" takes in, through its filter, the
// water users of "Upper" sites used for "Irrigation". Curve 1 sums Upper and Lower Ditch's
// depletion, curve 2 their salinity (site 1 measures a concentration); neither has a filter.
const char* const Changes = R"(
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio,
    SalinityPickup) VALUES (1, 2005, 120, 60, 0.5, 3), (2, 2005, 70, 35, 0.5, 2),
    (3, 2001, 90, 30, NULL, 2), (3, 2005, 100, 50, 0.5, 4), (4, 2005, 80, 40, 0.5, 1);
INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName, CreatedDate, UsesFilters) VALUES
    (1, 1, 'Shared cut', '2024-01-01', 0), (2, 2, 'Irrigation', '2024-01-02', 1),
    (3, 1, 'New total', '2024-01-03', 0);
INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES
    (1, 1), (1, 3), (2, 1), (3, 2), (3, 4);
INSERT INTO DemandSelection (DemandChgID, AttrID, AttrValidValID) VALUES (2, 1, 12), (2, 2, 22);
INSERT INTO DepletionChg (DemandChgID, Year, ChangeTypeID, ChangeValue) VALUES
    (1, 2000, 2, 30), (1, 2005, 3, 90), (2, 2000, 1, 10), (3, 2000, 3, 50), (3, 2005, 2, -10);
INSERT INTO Plot (PlotID, Name) VALUES (1, 'Site one');
INSERT INTO PlotCurve (PlotCurveID, PlotID, Name, CurveDataTypeID) VALUES
    (1, 1, 'Depletion', 1), (2, 1, 'Salinity', 3);
INSERT INTO PlotCurveWaterUser (PlotCurveID, WaterUserID) VALUES (1, 1), (1, 2), (2, 1), (2, 2);
)";

QVariant scalar(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    if (!query.exec(testSql(sql)) || !query.next())
        return QVariant();
    return query.value(0);
}

// True when the manager's connection is inside a transaction (which this ends).
bool endOpenTransaction()
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    return query.exec(QStringLiteral("ROLLBACK"));
}

int countStartingWith(const QList<QList<QVariant>>& spy, const QString& prefix)
{
    int count = 0;
    for (const QList<QVariant>& arguments : spy)
        count += arguments.at(0).toString().startsWith(prefix) ? 1 : 0;
    return count;
}

void addAttribute(ModalDriver& driver, const QString& name, bool waterUser)
{
    driver.expect<QDialog>([name, waterUser](QDialog* dialog) {
        child<QLineEdit>(dialog, "_attributeLineEdit")->setText(name);
        if (waterUser)
            child<QRadioButton>(dialog, "_waterUserRadioButton")->setChecked(true);
        child<QPushButton>(dialog, "_okButton")->click();
    });
}

void addValue(ModalDriver& driver, const QString& text)
{
    driver.expect<QInputDialog>([text](QInputDialog* dialog) {
        dialog->setTextValue(text);
        dialog->accept();
    });
}

void click(QWidget* dialog, const char* button)
{
    child<QPushButton>(dialog, button)->click();
}

bool execOnManager(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    return query.exec(testSql(sql));
}

// Edits a water user of the baseline dialog in its water user dialog.
void editWaterUser(BaselineDlg& dialog, ModalDriver& driver, int aggDivID, int waterUserID,
    const std::function<void(WaterUserDlg*)>& action)
{
    dialog.scrollToAggDiv(aggDivID);
    dialog.scrollToWaterUser(waterUserID);
    driver.expect<WaterUserDlg>(action);
    dialog.editWaterUserHandler();
}

void setYearly(WaterUserDlg* dialog, int year, int column, double value)
{
    WaterUserDataViewModel* data = dialog->dataModel();
    for (int row = 0; row < data->rowCount(); ++row) {
        if (data->record(row).Year == year)
            data->setData(data->index(row, column), value);
    }
}

void chooseSite(WaterUserDlg* dialog, const QString& name)
{
    auto* combo = child<QComboBox>(dialog, "_aggDivNameComboBox");
    combo->setCurrentIndex(combo->findText(name));
}

// Every result of the baseline and of both scenarios, as a recalculation of everything stores
// them, so that a save recomputes only what its edits touch.
void computeEverything()
{
    BaselineChangeLog everything;
    everything.setFullRecalculation();
    BaselineDemandCalculator baseline;
    QVERIFY(runCalculator(baseline, everything).result.isOk());
    for (int id : { 1, 2 }) {
        ScenarioDemandCalculator scenario(id, QString::number(id));
        const TARN::okstat result = runCalculator(scenario, everything).result;
        QVERIFY2(result.isOk(), qPrintable(result.text()));
    }
}

// The edit sequences after which the stored results must equal a full recalculation.
enum EditSequence {
    SiteEditedAfterApply,
    NewSiteAppliedThenCancelled,
    FailedCommitThenCancel,
    SiteFilterThenEdit,
    PastedDiversionAndEfficiency,
    CoefficientsTyped,
    WaterUserMovedAndEdited,
    FailedCalculationThenApply,
    FailedCalculationThenCancel,
    CopyThenCancel,
    SharedChangeMemberEdited,
    SharedChangeMemberDeleted,
    SiteOfSharedChangeMemberDeleted,
};

void runEdits(EditSequence sequence, ModalDriver& driver)
{
    BaselineDlg dialog;
    dialog.show();
    switch (sequence) {
    case SiteEditedAfterApply:
        dialog.scrollToAggDiv(2);
        driver.expect<AggDivDlg>([](AggDivDlg* site) {
            click(site, "_applyButton");
            auto* method = child<QComboBox>(site, "_salinityMethodComboBox");
            method->setCurrentIndex(method->findData(3));
            child<QLineEdit>(site, "_aggDivRWNameLineEdit")->setText(QStringLiteral("SD2"));
            click(site, "_okButton");
        });
        dialog.editAggDivHandler();
        break;
    case NewSiteAppliedThenCancelled:
        driver.expect<AggDivDlg>([&driver](AggDivDlg* site) {
            click(site, "_applyButton");
            driver.answer(QMessageBox::Yes);
            click(site, "_cancelButton");
        });
        dialog.addAggDivClicked();
        editWaterUser(dialog, driver, 2, 3, [](WaterUserDlg* waterUser) {
            setYearly(waterUser, 2000, WaterUserDataViewModel::DepletionColumn, 24);
            click(waterUser, "_okButton");
        });
        break;
    case FailedCommitThenCancel: {
        driver.expect<QDialog>([](QDialog* range) {
            child<QSpinBox>(range, "_endYearSpinBox")->setValue(2011);
            click(range, "_okButton");
        });
        dialog.editTimeRangeClicked();
        // A row whose reference is only checked at the commit makes the commit fail.
        QVERIFY(execOnManager(QStringLiteral("PRAGMA defer_foreign_keys = ON")));
        QVERIFY(
            execOnManager(QStringLiteral("INSERT INTO WaterUserDist (WaterUserID) VALUES (99)")));
        driver.answer(QMessageBox::Ok);
        QVERIFY(dialog.applyChanges().failed());
        driver.answer(QMessageBox::Yes);
        dialog.reject();
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
        BaselineDlg again;
        editWaterUser(again, driver, 2, 3, [](WaterUserDlg* waterUser) {
            setYearly(waterUser, 2001, WaterUserDataViewModel::DepletionColumn, 33);
            click(waterUser, "_okButton");
        });
        again.okClicked();
        return;
    }
    case SiteFilterThenEdit:
        editWaterUser(dialog, driver, 1, 1, [](WaterUserDlg* waterUser) {
            QAbstractItemModel* filter
                = child<QTableView>(waterUser, "_aggDivAttrTableView")->model();
            filter->setData(filter->index(0, AggDivAttrViewModel::ValueIdColumn), 11);
            click(waterUser, "_applyButton");
            setYearly(waterUser, 2000, WaterUserDataViewModel::DepletionColumn, 50);
            click(waterUser, "_okButton");
        });
        break;
    case PastedDiversionAndEfficiency:
        editWaterUser(dialog, driver, 1, 1, [](WaterUserDlg* waterUser) {
            QApplication::clipboard()->setText(QStringLiteral("200\t0.5"));
            WaterUserDataTableView* table = waterUser->dataTableView();
            table->pasteDataHandler(table->model()->index(0, WaterUserDataViewModel::YearColumn),
                Paste::DiversionEfficiency);
            click(waterUser, "_okButton");
        });
        break;
    case CoefficientsTyped:
        editWaterUser(dialog, driver, 1, 2, [](WaterUserDlg* waterUser) {
            for (int month : { 0, 1 }) {
                MonthlyCoefficientLineEdit* field = waterUser->coefficientEditors().at(month);
                field->clear();
                QTest::keyClicks(field, month == 0 ? QStringLiteral("10") : QStringLiteral("0"));
            }
            click(waterUser, "_okButton");
        });
        break;
    case WaterUserMovedAndEdited:
        editWaterUser(dialog, driver, 1, 1, [](WaterUserDlg* waterUser) {
            chooseSite(waterUser, QStringLiteral("South Ditch"));
            click(waterUser, "_applyButton");
            setYearly(waterUser, 2000, WaterUserDataViewModel::DepletionColumn, 70);
            click(waterUser, "_okButton");
        });
        break;
    case FailedCalculationThenApply:
    case FailedCalculationThenCancel:
        editWaterUser(dialog, driver, 2, 3, [](WaterUserDlg* waterUser) {
            setYearly(waterUser, 2000, WaterUserDataViewModel::DepletionColumn, 26);
            click(waterUser, "_okButton");
        });
        {
            // The input is committed; its results cannot be written.
            StatementRefusal refusal(TarnDbMgr::instance()->database(),
                StatementRefusal::writing(QStringLiteral("BaseYearlyWaterUser")));
            QVERIFY(refusal.isActive());
            click(&dialog, "_applyButton");
        }
        if (sequence == FailedCalculationThenApply) {
            click(&dialog, "_applyButton");
        } else {
            // The rollback undoes nothing that Apply committed: the dialog computes it as it
            // closes.
            driver.answer(QMessageBox::Yes);
            click(&dialog, "_cancelButton");
            QTRY_VERIFY(!dialog.isVisible());
        }
        return;
    case CopyThenCancel:
        editWaterUser(dialog, driver, 1, 2, [&driver](WaterUserDlg* waterUser) {
            waterUser->copyWaterUserData(3);
            driver.answer(QMessageBox::Yes);
            click(waterUser, "_cancelButton");
        });
        break;
    case SharedChangeMemberEdited:
        editWaterUser(dialog, driver, 2, 3, [](WaterUserDlg* waterUser) {
            setYearly(waterUser, 2005, WaterUserDataViewModel::DepletionColumn, 80);
            click(waterUser, "_okButton");
        });
        break;
    case SharedChangeMemberDeleted:
        dialog.scrollToAggDiv(3);
        dialog.scrollToWaterUser(4);
        driver.answer(QMessageBox::Yes);
        dialog.delWaterUserHandler();
        break;
    case SiteOfSharedChangeMemberDeleted:
        dialog.scrollToAggDiv(2);
        driver.answer(QMessageBox::Yes);
        dialog.delAggDivClicked();
        break;
    }
    dialog.okClicked();
}

} // namespace

class TestBaselineDlg : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<CalcStatusInfo>();
        qRegisterMetaType<TARN::okstat>();
    }
    void init()
    {
        _project = std::make_unique<TestProject>();
        QVERIFY(_project->exec(QString::fromLatin1(Project)).isOk());
        QVERIFY(_project->openInManager().isOk());
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    }
    void cleanup()
    {
        endOpenTransaction();
        _project.reset();
        resetDbManager();
    }

    void formShowsTheBaseline()
    {
        BaselineDlg dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Baseline Development"));
        QCOMPARE(child<QLineEdit>(&dialog, "_startYearLineEdit")->text(), QStringLiteral("2000"));
        QCOMPARE(child<QLineEdit>(&dialog, "_endYearLineEdit")->text(), QStringLiteral("2010"));
        auto* sites = child<QTableView>(&dialog, "_aggDivTableView");
        QCOMPARE(sites->model()->rowCount(), 3);
        QCOMPARE(sites->currentIndex().row(), 0);
        auto* waterUsers = child<QTableView>(&dialog, "_waterUserTableView");
        QCOMPARE(waterUsers->model()->rowCount(), 2);
        QVERIFY(child<QPushButton>(&dialog, "_addWaterUserButton")->isEnabled());
        QVERIFY(!child<QPushButton>(&dialog, "_editWaterUserButton")->isEnabled());
        auto* attributes = child<QTableView>(&dialog, "_attributeTableView");
        QCOMPARE(attributes->model()->rowCount(), 2);
        QCOMPARE(child<QTableView>(&dialog, "_attrValTableView")->model()->rowCount(), 2);

        child<QLineEdit>(&dialog, "_waterUserFilterLineEdit")->setText(QStringLiteral("LOWER"));
        QCOMPARE(waterUsers->model()->rowCount(), 1);
        child<QLineEdit>(&dialog, "_aggDivFilterLineEdit")->setText(QStringLiteral("^SD$"));
        QCOMPARE(sites->model()->rowCount(), 1); // matches the Riffle name
    }

    void duplicateAttributeName()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        addAttribute(driver, QStringLiteral("Basin"), false);
        driver.answer(QMessageBox::Ok);
        dialog.addAttributeClicked();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts, QStringList { QStringLiteral("Attribute already exists.") });
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM Attribute")).toInt(), 2);
        QCOMPARE(child<QTableView>(&dialog, "_attributeTableView")->model()->rowCount(), 2);
    }

    void newAttributeGetsAnUndeletableDefault()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        addAttribute(driver, QStringLiteral("Canal Type"), true);
        dialog.addAttributeClicked();
        QVERIFY(driver.done());
        const int attrId = scalar(QStringLiteral("SELECT AttrID FROM Attribute WHERE AttrName = "
                                                 "'Canal Type' AND AttrTypeID = 2"))
                               .toInt();
        QVERIFY(attrId > 0);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUserAttr wua JOIN AttrValidVal "
                                       "v ON v.AttrValidValID = wua.AttrValidValID WHERE "
                                       "wua.AttrID = %1 AND v.AttrVal = 'Unassigned'")
                            .arg(attrId))
                     .toInt(),
            4);

        auto* attributes = child<QTableView>(&dialog, "_attributeTableView");
        attributes->setCurrentIndex(attributes->model()->index(2, 2));
        auto* values = child<QTableView>(&dialog, "_attrValTableView");
        QCOMPARE(values->model()->rowCount(), 1);
        values->setCurrentIndex(values->model()->index(0, 2));
        driver.answer(QMessageBox::Ok);
        dialog.delAttrValClicked();
        QCOMPARE(driver.texts, QStringList { QStringLiteral("Cannot delete default value.") });
        QCOMPARE(
            scalar(
                QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrID = %1").arg(attrId))
                .toInt(),
            1);

        // Any other value can go.
        addValue(driver, QStringLiteral("Lined"));
        dialog.addAttrValClicked();
        QCOMPARE(values->model()->rowCount(), 2);
        values->setCurrentIndex(values->model()->index(1, 2));
        dialog.delAttrValClicked();
        QCOMPARE(values->model()->rowCount(), 1);
        QCOMPARE(
            scalar(
                QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrID = %1").arg(attrId))
                .toInt(),
            1);
        QVERIFY(driver.unexpected.isEmpty());
    }

    void addedThenEditedWaterUserStaysAdded()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        driver.expect<WaterUserDlg>([](WaterUserDlg* waterUser) {
            child<QLineEdit>(waterUser, "_waterUserNameLineEdit")
                ->setText(QStringLiteral("New Ditch"));
            waterUser->coefficientEditors().at(0)->setText(QStringLiteral("100"));
            child<QPushButton>(waterUser, "_applyButton")->click();
            child<QLineEdit>(waterUser, "_waterUserNameLineEdit")
                ->setText(QStringLiteral("New Ditch 2"));
            child<QPushButton>(waterUser, "_okButton")->click();
        });
        dialog.addWaterUserHandler();
        QVERIFY(driver.done());
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        const int id
            = scalar(QStringLiteral("SELECT WaterUserID FROM WaterUser WHERE WaterUserName "
                                    "= 'New Ditch 2'"))
                  .toInt();
        QVERIFY(id > 4);
        const QString reason = dialog.changeLog().waterUserReason(1, id);
        QCOMPARE(reason,
            QStringLiteral("Water User %1.New Ditch was added").arg(id, 3, 10, QLatin1Char('0')));
        // Listed once, although the dialog reported it twice.
        auto* waterUsers = child<QTableView>(&dialog, "_waterUserTableView");
        QCOMPARE(waterUsers->model()->rowCount(), 3);
        QCOMPARE(waterUsers->currentIndex().data().toString(), QStringLiteral("New Ditch 2"));
    }

    void cancelAfterApplyLeavesNoWaterUser()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        driver.expect<WaterUserDlg>([&driver](WaterUserDlg* waterUser) {
            waterUser->coefficientEditors().at(0)->setText(QStringLiteral("100"));
            child<QPushButton>(waterUser, "_applyButton")->click();
            driver.answer(QMessageBox::Yes);
            child<QPushButton>(waterUser, "_cancelButton")->click();
        });
        dialog.addWaterUserHandler();
        QVERIFY(driver.done());
        QCOMPARE(child<QTableView>(&dialog, "_waterUserTableView")->model()->rowCount(), 2);
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUser")).toInt(), 4);
    }

    // Cancel after Apply removes a new water user or site with everything applied to it; it asks
    // first. An existing water user's unapplied edits are asked about too, on Escape as well.
    void cancelAsksBeforeDiscarding_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("new water user, applied") << "new water user";
        QTest::newRow("new site, applied") << "new site";
        QTest::newRow("water user, edited") << "edited water user";
    }
    void cancelAsksBeforeDiscarding()
    {
        QFETCH(QString, what);
        BaselineDlg dialog;
        dialog.show();
        ModalDriver driver;
        const auto count = [what] {
            return scalar(what == QLatin1String("new site")
                    ? QStringLiteral("SELECT COUNT(*) FROM AggDiv WHERE SiteName = 'Spur'")
                    : QStringLiteral("SELECT COUNT(*) FROM WaterUser WHERE WaterUserName = 'Spur'"))
                .toInt();
        };
        const auto depletion2001 = [] {
            return scalar(QStringLiteral("SELECT DepletionReq FROM WaterUserData WHERE WaterUserID "
                                         "= 1 AND Year = 2001"))
                .toDouble();
        };
        int whileAsked = -1;
        bool openWhileAsked = false;
        const auto cancelTwice = [&](QDialog* editor) {
            // No keeps the dialog open with everything; Yes discards it.
            driver.answer(QMessageBox::No);
            if (what == QLatin1String("edited water user"))
                QTest::keyClick(editor, Qt::Key_Escape);
            else
                click(editor, "_cancelButton");
            whileAsked = count();
            openWhileAsked = editor->isVisible();
            driver.answer(QMessageBox::Yes);
            click(editor, "_cancelButton");
        };
        if (what == QLatin1String("new site")) {
            driver.expect<AggDivDlg>([&](AggDivDlg* site) {
                child<QLineEdit>(site, "_aggDivSiteNameLineEdit")->setText(QStringLiteral("Spur"));
                click(site, "_applyButton");
                child<QLineEdit>(site, "_aggDivRWNameLineEdit")->setText(QStringLiteral("SP"));
                cancelTwice(site);
            });
            dialog.addAggDivClicked();
        } else if (what == QLatin1String("new water user")) {
            driver.expect<WaterUserDlg>([&](WaterUserDlg* waterUser) {
                child<QLineEdit>(waterUser, "_waterUserNameLineEdit")
                    ->setText(QStringLiteral("Spur"));
                waterUser->coefficientEditors().at(0)->setText(QStringLiteral("100"));
                setYearly(waterUser, 2000, WaterUserDataViewModel::DiversionColumn, 90);
                click(waterUser, "_applyButton");
                setYearly(waterUser, 2001, WaterUserDataViewModel::DiversionColumn, 95);
                cancelTwice(waterUser);
            });
            dialog.addWaterUserHandler();
        } else {
            editWaterUser(dialog, driver, 1, 1, [&](WaterUserDlg* waterUser) {
                setYearly(waterUser, 2001, WaterUserDataViewModel::DepletionColumn, 77);
                cancelTwice(waterUser);
            });
        }
        QVERIFY(driver.done());
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        QVERIFY(openWhileAsked);
        const QString question = what == QLatin1String("new site")
            ? QStringLiteral("Discard the new site \"Spur\" and the data applied to it?")
            : what == QLatin1String("new water user")
            ? QStringLiteral("Discard the new water user \"Spur\" and the data applied to it?")
            : QStringLiteral("Are you sure you want to cancel? Any changes made will be lost.");
        QCOMPARE(driver.texts, (QStringList { question, question }));
        if (what == QLatin1String("edited water user")) {
            QCOMPARE(depletion2001(), 44.0);
        } else {
            QCOMPARE(whileAsked, 1);
            QCOMPARE(count(), 0);
        }
    }

    // A delete names what uses the water users it removes and asks first; afterwards nothing is
    // chosen, so that a second click deletes nothing.
    void deletingAsksWhenUsedAndChoosesNothing_data()
    {
        QTest::addColumn<bool>("used");
        QTest::addColumn<bool>("site");
        QTest::addColumn<int>("aggDivID");
        QTest::addColumn<int>("waterUserID");
        QTest::addColumn<QString>("question");
        QTest::newRow("site of a demand change's member")
            << true << true << 2 << 0
            << QStringLiteral("The water users of \"South Ditch\" are used elsewhere:\n\nFarm: "
                              "demand change \"Shared cut\" of scenario \"Dry\"\n\nDeleting the "
                              "site deletes them and takes them out of these. Delete \"South "
                              "Ditch\"?");
        QTest::newRow("member of a change and a curve")
            << true << false << 1 << 2
            << QStringLiteral("\"Lower Ditch\" is used elsewhere:\n\ndemand change \"New total\" "
                              "of scenario \"Dry\"\nplot curve \"Depletion\" of plot \"Site "
                              "one\"\nplot curve \"Salinity\" of plot \"Site one\"\n\nDeleting it "
                              "takes it out of these. Delete \"Lower "
                              "Ditch\"?");
        QTest::newRow("unused site") << false << true << 2 << 0 << QString();
        QTest::newRow("unused water user") << false << false << 1 << 2 << QString();
    }
    void deletingAsksWhenUsedAndChoosesNothing()
    {
        QFETCH(bool, used);
        QFETCH(bool, site);
        QFETCH(int, aggDivID);
        QFETCH(int, waterUserID);
        QFETCH(QString, question);
        if (used)
            reopenWith(QString::fromLatin1(Changes));
        const QString count = site ? QStringLiteral("SELECT COUNT(*) FROM AggDiv")
                                   : QStringLiteral("SELECT COUNT(*) FROM WaterUser");
        const int before = scalar(count).toInt();
        BaselineDlg dialog;
        ModalDriver driver;
        dialog.scrollToAggDiv(aggDivID);
        if (!site)
            dialog.scrollToWaterUser(waterUserID);
        const char* button = site ? "_deleteAggDivButton" : "_deleteWaterUserButton";
        auto* view = child<QTableView>(&dialog, site ? "_aggDivTableView" : "_waterUserTableView");
        if (used) {
            driver.answer(QMessageBox::No);
            click(&dialog, button);
            QVERIFY(driver.done());
            QCOMPARE(scalar(count).toInt(), before);
            QVERIFY(view->currentIndex().isValid());
            driver.answer(QMessageBox::Yes);
        }
        click(&dialog, button);
        QVERIFY(driver.done());
        QCOMPARE(driver.texts, used ? (QStringList { question, question }) : QStringList());
        QCOMPARE(scalar(count).toInt(), before - 1);
        QVERIFY(!view->currentIndex().isValid());
        QVERIFY(!child<QPushButton>(&dialog, button)->isEnabled());
        click(&dialog, button);
        QCOMPARE(scalar(count).toInt(), before - 1);
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
    }

    // A water user of any site is found by part of its name or Riffle name: its site and the
    // water user are chosen, Enter again goes on to the next match.
    void findWaterUserAcrossSites()
    {
        BaselineDlg dialog;
        dialog.show();
        auto* find = child<QLineEdit>(&dialog, "_findWaterUserLineEdit");
        auto* said = child<QLabel>(&dialog, "_findWaterUserLabel");
        auto* sites = child<QTableView>(&dialog, "_aggDivTableView");
        auto* users = child<QTableView>(&dialog, "_waterUserTableView");
        const auto chosen = [&]() -> QString {
            return sites->currentIndex().data().toString() + QLatin1Char('/')
                + users->currentIndex().data().toString();
        };
        // A filter that hides the match is cleared.
        child<QLineEdit>(&dialog, "_aggDivFilterLineEdit")->setText(QStringLiteral("South"));
        find->setText(QStringLiteral("mi"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(chosen(), QStringLiteral("East Pipe/Mill"));
        QCOMPARE(said->text(), QStringLiteral("1 of 1: Mill (MI) at East Pipe"));
        find->setText(QStringLiteral("DITCH"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(chosen(), QStringLiteral("North Canal/Upper Ditch"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(chosen(), QStringLiteral("North Canal/Lower Ditch"));
        QCOMPARE(said->text(), QStringLiteral("2 of 2: Lower Ditch (LD) at North Canal"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(chosen(), QStringLiteral("North Canal/Upper Ditch"));
        find->setText(QStringLiteral("50%"));
        QTest::keyClick(find, Qt::Key_Return);
        QCOMPARE(
            said->text(), QStringLiteral("No water user's name or Riffle name contains \"50%\"."));
        QCOMPARE(dialog.result(), 0);
    }

    void deletedWaterUserIsRecorded()
    {
        BaselineDlg dialog;
        auto* waterUsers = child<QTableView>(&dialog, "_waterUserTableView");
        waterUsers->setCurrentIndex(waterUsers->model()->index(1, 2));
        dialog.delWaterUserHandler();
        QCOMPARE(waterUsers->model()->rowCount(), 1);
        QCOMPARE(dialog.changeLog().waterUserReason(1, 2),
            QStringLiteral("Water User 002.Lower Ditch was deleted"));
        QCOMPARE(
            scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUser WHERE WaterUserID = 2")).toInt(),
            0);
    }

    void movedSitesKeepTheirOrder()
    {
        {
            BaselineDlg dialog;
            child<QPushButton>(&dialog, "_moveAggDivDownButton")->click();
            auto* sites = child<QTableView>(&dialog, "_aggDivTableView");
            QCOMPARE(sites->model()->index(0, 1).data().toString(), QStringLiteral("South Ditch"));
            QCOMPARE(sites->model()->index(1, 1).data().toString(), QStringLiteral("North Canal"));
            QVERIFY(dialog.applyChanges().isOk());
            QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
        }
        QCOMPARE(
            _project->scalar(QStringLiteral("SELECT Ord FROM AggDiv WHERE AggDivID = 1")).toInt(),
            1);
        BaselineDlg reopened;
        auto* sites = child<QTableView>(&reopened, "_aggDivTableView");
        QCOMPARE(sites->model()->index(0, 1).data().toString(), QStringLiteral("South Ditch"));
    }

    void timeRangeChangeRecalculatesEverything()
    {
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        driver.expect<QDialog>([](QDialog* range) {
            child<QSpinBox>(range, "_endYearSpinBox")->setValue(2011);
            child<QPushButton>(range, "_okButton")->click();
        });
        dialog.editTimeRangeClicked();
        QVERIFY(driver.done());
        QCOMPARE(child<QLineEdit>(&dialog, "_endYearLineEdit")->text(), QStringLiteral("2011"));
        QVERIFY(dialog.changeLog().fullRecalculation());

        child<QPushButton>(&dialog, "_applyButton")->click();
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        // Every site of the baseline and of both scenarios.
        QCOMPARE(countStartingWith(diag, QStringLiteral("Computing Agg Diversion")), 9);
        QVERIFY(!dialog.changeLog().hasChanges());
        QCOMPARE(_project->scalar(QStringLiteral("SELECT EndYear FROM Baseline")).toInt(), 2011);
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT COUNT(DISTINCT WaterUserID) FROM "
                                             "ScenarioYearlyWaterUser WHERE Year = 2011"))
                     .toInt(),
            4);
        QVERIFY(endOpenTransaction()); // Apply began the next one
    }

    void applyWithNothingChanged()
    {
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        child<QLineEdit>(&dialog, "_toolUserName")->setText(QStringLiteral("Planner"));
        ModalDriver driver;
        child<QPushButton>(&dialog, "_applyButton")->click();
        QVERIFY(driver.unexpected.isEmpty());
        QCOMPARE(diag.count(), 0);
        QCOMPARE(_project->scalar(QStringLiteral("SELECT ToolUserName FROM Baseline")).toString(),
            QStringLiteral("Planner"));
        QCOMPARE(
            _project->scalar(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")).toInt(), 0);
        QVERIFY(endOpenTransaction());
    }

    // Apply commits; when the next transaction cannot begin the dialog may not edit on without
    // one, so it closes and keeps what it committed.
    void applyWithoutNextTransactionCloses()
    {
        BaselineDlg dialog;
        dialog.show();
        child<QLineEdit>(&dialog, "_toolUserName")->setText(QStringLiteral("Planner"));
        ModalDriver driver;
        driver.answer(QMessageBox::Ok);
        {
            StatementRefusal refusal(
                TarnDbMgr::instance()->database(), StatementRefusal::beginning());
            QVERIFY(refusal.isActive());
            child<QPushButton>(&dialog, "_applyButton")->click();
        }
        QVERIFY(driver.done());
        QVERIFY2(driver.texts.value(0).startsWith(QStringLiteral("Cannot begin the transaction: ")),
            qPrintable(driver.texts.value(0)));
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(_project->scalar(QStringLiteral("SELECT ToolUserName FROM Baseline")).toString(),
            QStringLiteral("Planner"));
        QVERIFY(!endOpenTransaction());
    }

    void recalculateAllCommitsWhatIsWrittenSoFar()
    {
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        addValue(driver, QStringLiteral("Lower"));
        dialog.addAttrValClicked();
        child<QPushButton>(&dialog, "_moveAggDivDownButton")->click();

        driver.answer(QMessageBox::Yes);
        child<QPushButton>(&dialog, "_recalculateAllButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts.last(),
            QStringLiteral("Are you sure you want to recalculate all baseline and scenario data? "
                           "This operation may take a while."));
        QCOMPARE(countStartingWith(diag, QStringLiteral("Computing Agg Diversion")), 9);
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal "
                                             "= 'Lower'"))
                     .toInt(),
            1);
        QCOMPARE(
            _project->scalar(QStringLiteral("SELECT Ord FROM AggDiv WHERE AggDivID = 1")).toInt(),
            0);
        QVERIFY(!dialog.changeLog().hasChanges());
        QVERIFY(endOpenTransaction());
    }

    void recalculateAllAnsweredNo()
    {
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        driver.answer(QMessageBox::No);
        dialog.recalculateAllClickedHandler();
        QVERIFY(driver.done());
        QCOMPARE(diag.count(), 0);
        QVERIFY(!dialog.changeLog().fullRecalculation());
    }

    void cancelAnsweredNoKeepsEdits()
    {
        BaselineDlg dialog;
        dialog.show();
        ModalDriver driver;
        addValue(driver, QStringLiteral("Lower"));
        dialog.addAttrValClicked();
        child<QLineEdit>(&dialog, "_toolUserName")->setText(QStringLiteral("Planner"));

        driver.answer(QMessageBox::No);
        child<QPushButton>(&dialog, "_cancelButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts.last(),
            QStringLiteral("Are you sure you want to cancel? Any changes made will be lost."));
        QVERIFY(dialog.isVisible());
        QCOMPARE(child<QLineEdit>(&dialog, "_toolUserName")->text(), QStringLiteral("Planner"));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal = 'Lower'"))
                     .toInt(),
            1);

        driver.answer(QMessageBox::Yes);
        dialog.reject();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal = 'Lower'"))
                     .toInt(),
            0);
        QVERIFY(!endOpenTransaction());
    }

    void failedBaselineSaveStopsTheSave()
    {
        QSqlQuery trigger(TarnDbMgr::instance()->database());
        QVERIFY(trigger.exec(
            QStringLiteral("CREATE TRIGGER BaselineLocked BEFORE UPDATE ON Baseline BEGIN SELECT "
                           "RAISE(ABORT, 'baseline is locked'); END")));
        BaselineDlg dialog;
        ModalDriver driver;
        addValue(driver, QStringLiteral("Lower"));
        dialog.addAttrValClicked();
        child<QPushButton>(&dialog, "_moveAggDivDownButton")->click();

        const TARN::okstat result = dialog.applyChanges();
        QVERIFY(result.failed());
        QVERIFY2(result.text().startsWith(QLatin1String("Unable to save baseline: ")),
            qPrintable(result.text()));
        QVERIFY(result.text().contains(QLatin1String("baseline is locked")));
        QTRY_COMPARE(driver.unexpected, QStringList { result.text() });
        // Nothing was committed: the transaction is still open with all of it.
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT COUNT(*) FROM AttrValidVal WHERE AttrVal "
                                             "= 'Lower'"))
                     .toInt(),
            0);
        QCOMPARE(scalar(QStringLiteral("SELECT Ord FROM AggDiv WHERE AggDivID = 1")).toInt(), 0);
        QVERIFY(endOpenTransaction());
    }

    void exportAttributesWritesTheFile()
    {
        BaselineDlg dialog;
        dialog.show();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("attributes.xml"));
        ModalDriver driver;
        driver.expect<QFileDialog>([path](QFileDialog* files) {
            QCOMPARE(files->windowTitle(), QStringLiteral("Attributes File"));
            child<QLineEdit>(files, "fileNameEdit")->setText(path);
            static_cast<QDialog*>(files)->accept();
        });
        child<QPushButton>(&dialog, "_exportAttributesButton")->click();
        QVERIFY(driver.done());
        QTRY_VERIFY(QFile::exists(path));
        QTRY_VERIFY(!dialog.findChild<CalcStatusDlg*>());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray xml = file.readAll();
        QCOMPARE(xmlWellFormedProblem(path), QString());
        QVERIFY(xml.contains("Basin"));
        QVERIFY(xml.contains("Irrigation"));
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
    }

    void siteFieldsStayBoundAfterASave_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Apply") << "_applyButton";
        QTest::newRow("Quick Plot") << "_generatePlotButton";
    }

    void siteFieldsStayBoundAfterASave()
    {
        QFETCH(QString, button);
        BaselineDlg dialog;
        ModalDriver driver;
        dialog.scrollToAggDiv(2);
        driver.expect<AggDivDlg>([button](AggDivDlg* site) {
            child<QLineEdit>(site, "_aggDivSiteNameLineEdit")->setText(QStringLiteral("First"));
            click(site, qPrintable(button));
            child<QLineEdit>(site, "_aggDivSiteNameLineEdit")->setText(QStringLiteral("Second"));
            child<QLineEdit>(site, "_aggDivRWNameLineEdit")->setText(QStringLiteral("SD2"));
            child<QPlainTextEdit>(site, "_notes")->setPlainText(QStringLiteral("lined"));
            click(site, "_okButton");
        });
        dialog.editAggDivHandler();
        QVERIFY(driver.done());
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT SiteName || '|' || RiffleName || '|' || "
                                             "Notes FROM AggDiv WHERE AggDivID = 2"))
                     .toString(),
            QStringLiteral("Second|SD2|lined"));
    }

    void newSiteAppliedThenCancelledIsGone()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        driver.expect<AggDivDlg>([&driver](AggDivDlg* site) {
            child<QLineEdit>(site, "_aggDivSiteNameLineEdit")->setText(QStringLiteral("Spur"));
            click(site, "_applyButton");
            driver.answer(QMessageBox::Yes);
            click(site, "_cancelButton");
        });
        dialog.addAggDivClicked();
        QVERIFY(driver.done());
        QCOMPARE(child<QTableView>(&dialog, "_aggDivTableView")->model()->rowCount(), 3);
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(_project->scalar(QStringLiteral("SELECT COUNT(*) FROM AggDiv")).toInt(), 3);
    }

    void cancelAfterAFailedCommitForgetsTheSave()
    {
        BaselineDlg dialog;
        ModalDriver driver;
        child<QTextEdit>(&dialog, "_baselineDescription")
            ->setPlainText(QStringLiteral("Never stored"));
        driver.expect<QDialog>([](QDialog* range) {
            child<QSpinBox>(range, "_endYearSpinBox")->setValue(2011);
            click(range, "_okButton");
        });
        dialog.editTimeRangeClicked();
        QVERIFY(execOnManager(QStringLiteral("PRAGMA defer_foreign_keys = ON")));
        QVERIFY(
            execOnManager(QStringLiteral("INSERT INTO WaterUserDist (WaterUserID) VALUES (99)")));
        driver.answer(QMessageBox::Ok);
        QVERIFY(dialog.applyChanges().failed());
        driver.answer(QMessageBox::Yes);
        dialog.reject();
        QVERIFY(driver.done());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        // What the program reads as the baseline is the file's again.
        Baseline baseline;
        QVERIFY(TarnDbMgr::instance()->baselineDAO()->getBaseline(baseline).isOk());
        QCOMPARE(baseline.EndYear, 2010);
        QVERIFY(!baseline.Description.contains(QLatin1String("Never stored")));
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
        BaselineDlg again;
        QCOMPARE(child<QLineEdit>(&again, "_endYearLineEdit")->text(), QStringLiteral("2010"));
        QVERIFY(again.applyChanges().isOk());
        QCOMPARE(_project->scalar(QStringLiteral("SELECT EndYear FROM Baseline")).toInt(), 2010);
        QCOMPARE(
            _project->scalar(QStringLiteral("SELECT MAX(Year) FROM WaterUserData")).toInt(), 2001);
    }

    void movedWaterUserKeepsTheMembershipsThatStillHold()
    {
        reopenWith(QString::fromLatin1(Changes));
        BaselineDlg dialog;
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        editWaterUser(dialog, driver, 1, 1, [](WaterUserDlg* waterUser) {
            chooseSite(waterUser, QStringLiteral("South Ditch"));
            click(waterUser, "_okButton");
        });
        QVERIFY(driver.done());
        // Hand-picked without a filter: kept. The filter of change 2 no longer takes it in, and
        // the salinity curve sums concentrations, which the new site does not measure.
        QCOMPARE(scalar(QStringLiteral("SELECT group_concat(DemandChgID) FROM (SELECT "
                                       "DemandChgID FROM DemandChgWaterUser WHERE WaterUserID "
                                       "= 1 ORDER BY 1)"))
                     .toString(),
            QStringLiteral("1"));
        QCOMPARE(scalar(QStringLiteral("SELECT group_concat(PlotCurveID) FROM (SELECT "
                                       "PlotCurveID FROM PlotCurveWaterUser WHERE WaterUserID "
                                       "= 1 ORDER BY 1)"))
                     .toString(),
            QStringLiteral("1"));
        QStringList lines;
        for (const QList<QVariant>& arguments : qAsConst(diag))
            lines << arguments.at(0).toString();
        QCOMPARE(lines,
            QStringList({ QStringLiteral("Water User 001.Upper Ditch was moved to Agg Diversion "
                                         "002.South Ditch and left:"),
                QStringLiteral("    Demand Change 002.Irrigation"),
                QStringLiteral("    Plot Curve 002.Salinity") }));
        // Recorded under the site it now belongs to, so that it is recomputed there.
        QCOMPARE(dialog.changeLog().waterUserReason(2, 1),
            QStringLiteral("Water User 001.Upper Ditch was edited"));
        QVERIFY(dialog.changeLog().aggDivChanged(1));
    }

    void failedCalculationKeepsTheEdits()
    {
        reopenWith(QString::fromLatin1(Changes));
        BaselineDlg dialog;
        dialog.show();
        QSignalSpy diag(&dialog, &BaselineDlg::diagMessage);
        ModalDriver driver;
        // Whether the edited water user's yearly rows are inserted or updated.
        for (const char* write : { "INSERT", "UPDATE" }) {
            QVERIFY(execOnManager(QStringLiteral("CREATE TRIGGER DiskFull%1 BEFORE %1 ON "
                                                 "BaseYearlyWaterUser BEGIN SELECT RAISE(ABORT, "
                                                 "'disk is full'); END")
                                      .arg(QLatin1String(write))));
        }
        editWaterUser(dialog, driver, 2, 3, [](WaterUserDlg* waterUser) {
            setYearly(waterUser, 2000, WaterUserDataViewModel::DepletionColumn, 26);
            click(waterUser, "_okButton");
        });
        click(&dialog, "_okButton");
        QTRY_COMPARE(driver.unexpected.size(), 1);
        QVERIFY2(driver.unexpected.first().contains(QLatin1String("disk is full")),
            qPrintable(driver.unexpected.first()));
        // Still open, with the edit recorded and no scenario run on the failed baseline.
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.changeLog().waterUserChanged(2, 3));
        // The baseline skipped site 1 and failed in site 2; no scenario added lines of its own.
        QCOMPARE(countStartingWith(diag, QStringLiteral("Computing Agg Diversion")), 1);
        QCOMPARE(countStartingWith(diag, QStringLiteral("Skipping Agg Diversion")), 1);
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT DepletionReq FROM WaterUserData WHERE "
                                             "WaterUserID = 3 AND Year = 2000"))
                     .toDouble(),
            26.0);

        QVERIFY(execOnManager(QStringLiteral("DROP TRIGGER DiskFullINSERT")));
        QVERIFY(execOnManager(QStringLiteral("DROP TRIGGER DiskFullUPDATE")));
        click(&dialog, "_okButton");
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.changeLog().hasChanges());
        QCOMPARE(driver.unexpected.size(), 1);
    }

    // After any of these edit sequences, ended by OK or Apply, the stored results are those a
    // recalculation of everything gives from the same input.
    void editsLeaveTheResultsOfAFullRecalculation_data()
    {
        QTest::addColumn<int>("sequence");
        QTest::newRow("site edited after Apply") << int(SiteEditedAfterApply);
        QTest::newRow("new site applied, then cancelled") << int(NewSiteAppliedThenCancelled);
        QTest::newRow("failed commit, Cancel, then an edit") << int(FailedCommitThenCancel);
        QTest::newRow("site filter, then an edit") << int(SiteFilterThenEdit);
        QTest::newRow("pasted diversion and efficiency") << int(PastedDiversionAndEfficiency);
        QTest::newRow("coefficients typed") << int(CoefficientsTyped);
        QTest::newRow("water user moved and edited") << int(WaterUserMovedAndEdited);
        QTest::newRow("failed calculation, then Apply") << int(FailedCalculationThenApply);
        QTest::newRow("failed calculation, then Cancel") << int(FailedCalculationThenCancel);
        QTest::newRow("copy, then Cancel") << int(CopyThenCancel);
        QTest::newRow("member of a shared change edited") << int(SharedChangeMemberEdited);
        QTest::newRow("member of a shared change deleted") << int(SharedChangeMemberDeleted);
        QTest::newRow("site of a shared change's member deleted")
            << int(SiteOfSharedChangeMemberDeleted);
    }

    void editsLeaveTheResultsOfAFullRecalculation()
    {
        QFETCH(int, sequence);
        reopenWith(QString::fromLatin1(Changes));
        ModalDriver driver;
        runEdits(static_cast<EditSequence>(sequence), driver);
        QVERIFY(driver.done());
        endOpenTransaction();
        const QStringList differences = differencesFromFullRecalculation(_project->path());
        QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
    }

    // The road of one typical edit, from the main window: a water user's yearly depletion is
    // edited in the water user dialog, the baseline dialog saves with OK, and the baseline
    // calculation recomputes the edited site.
    void roadOfOneTypicalEdit()
    {
        endOpenTransaction();
        _project.reset();
        resetDbManager();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(makeDemoProject(path).isOk());

        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(path));
        QSqlDatabase& db = TarnDbMgr::instance()->database();

        // Stored results for every site first, so that only the edited one is recomputed.
        {
            BaselineChangeLog everything;
            everything.setFullRecalculation();
            BaselineDemandCalculator calculator;
            QVERIFY(calculator.initialize(&everything, true).isOk());
            QSignalSpy finished(&calculator, &DemandCalculator::calcFinished);
            calculator.start();
            QVERIFY(finished.wait(60000));
            QVERIFY(finished.at(0).at(0).value<TARN::okstat>().isOk());
        }

        // The first water user of the first site in the dialog's order.
        QSqlQuery first(db);
        QVERIFY(first.exec(QStringLiteral(
            "SELECT wu.WaterUserID, wu.WaterUserName, ad.AggDivID, ad.RiffleName FROM WaterUser wu "
            "JOIN AggDiv ad ON ad.AggDivID = wu.AggDivID WHERE wu.ScenarioID IS NULL ORDER BY "
            "ad.Ord, ad.AggDivID, wu.Ord, wu.WaterUserID LIMIT 1")));
        QVERIFY(first.next());
        const int waterUserID = first.value(0).toInt();
        const QString waterUserName = first.value(1).toString();
        const int aggDivID = first.value(2).toInt();
        const QString siteRiffleName = first.value(3).toString();
        first.finish();
        const int year = scalar(QStringLiteral("SELECT StartYear + 1 FROM Baseline")).toInt();
        const QString month = QStringLiteral("%1-07-01").arg(year);
        const double july = scalar(QStringLiteral("SELECT Jul FROM WaterUserDist WHERE WaterUserID "
                                                  "= %1")
                                       .arg(waterUserID))
                                .toDouble();
        QVERIFY(july > 0);
        const QString monthlySql = QStringLiteral(
            "SELECT DepletionValue FROM BaseMonthlyWaterUser WHERE WaterUserID = %1 AND Month = "
            "'%2'")
                                       .arg(waterUserID)
                                       .arg(month);
        const double before = scalar(monthlySql).toDouble();
        const double newDepletion = 1234.5678;

        ModalDriver driver;
        driver.expect<BaselineDlg>([](BaselineDlg* baseline) {
            auto* waterUsers = child<QTableView>(baseline, "_waterUserTableView");
            waterUsers->setCurrentIndex(waterUsers->model()->index(0, 2));
            child<QPushButton>(baseline, "_editWaterUserButton")->click();
        });
        driver.expect<WaterUserDlg>([year, newDepletion](WaterUserDlg* waterUser) {
            WaterUserDataViewModel* data = waterUser->dataModel();
            for (int row = 0; row < data->rowCount(); ++row) {
                if (data->record(row).Year == year)
                    data->setData(
                        data->index(row, WaterUserDataViewModel::DepletionColumn), newDepletion);
            }
            child<QPushButton>(waterUser, "_okButton")->click();
        });
        driver.expect<BaselineDlg>(
            [](BaselineDlg* baseline) { child<QPushButton>(baseline, "_okButton")->click(); });
        child<QPushButton>(&window, "_editBaselineButton")->click();
        QVERIFY(driver.done());
        QVERIFY2(
            driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('\n'))));

        const QString diagnostics = child<QTextEdit>(&window, "_diagTextEdit")->toPlainText();
        const QString siteLabel
            = QStringLiteral("%1.%2").arg(aggDivID, 3, 10, QLatin1Char('0')).arg(siteRiffleName);
        QVERIFY2(diagnostics.contains(
                     QStringLiteral("Computing Agg Diversion %1 for the following reason(s):")
                         .arg(siteLabel)),
            qPrintable(diagnostics));
        QVERIFY(diagnostics.contains(QStringLiteral("Water User %1.%2 was edited")
                                         .arg(waterUserID, 3, 10, QLatin1Char('0'))
                                         .arg(waterUserName)));
        QVERIFY(diagnostics.contains(QLatin1String("Skipping Agg Diversion")));

        // Committed: the file itself holds the new input and the recomputed month.
        QCOMPARE(_projectScalar(path,
                     QStringLiteral("SELECT DepletionReq FROM WaterUserData WHERE WaterUserID = "
                                    "%1 AND Year = %2")
                         .arg(waterUserID)
                         .arg(year))
                     .toDouble(),
            newDepletion);
        const double after = scalar(monthlySql).toDouble();
        QVERIFY(!qFuzzyCompare(after, before));
        QVERIFY2(qAbs(after - newDepletion * july / 100.0) < 1e-9,
            qPrintable(QStringLiteral("%1 vs %2").arg(after).arg(newDepletion * july / 100.0)));
        // The diversion was kept: the edit of the depletion derived a new efficiency instead.
        const double diversion = scalar(QStringLiteral("SELECT DiversionReq FROM WaterUserData "
                                                       "WHERE WaterUserID = %1 AND Year = %2")
                                            .arg(waterUserID)
                                            .arg(year))
                                     .toDouble();
        const double monthlyDiversion
            = scalar(QStringLiteral("SELECT DiversionValue FROM BaseMonthlyWaterUser WHERE "
                                    "WaterUserID = %1 AND Month = '%2'")
                         .arg(waterUserID)
                         .arg(month))
                  .toDouble();
        QVERIFY(qAbs(monthlyDiversion - diversion * july / 100.0) < 1e-9);
        QCOMPARE(scalar(QStringLiteral("SELECT EfficiencyRatio FROM WaterUserData WHERE "
                                       "WaterUserID = %1 AND Year = %2")
                            .arg(waterUserID)
                            .arg(year))
                     .toDouble(),
            newDepletion / diversion);
    }

private:
    // Adds statements to the project, computes every result and opens the next transaction.
    void reopenWith(const QString& sql)
    {
        endOpenTransaction();
        resetDbManager();
        QVERIFY(_project->exec(sql).isOk());
        QVERIFY(_project->openInManager().isOk());
        computeEverything();
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    }

    static QVariant _projectScalar(const QString& path, const QString& sql)
    {
        QVariant value;
        {
            QSqlDatabase db
                = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query(db);
                if (query.exec(sql) && query.next())
                    value = query.value(0);
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("peek"));
        return value;
    }

    std::unique_ptr<TestProject> _project;
};

QTEST_MAIN(TestBaselineDlg)
#include "tst_baselinedlg.moc"
