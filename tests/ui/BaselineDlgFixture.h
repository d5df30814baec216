#pragma once

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

inline QVariant scalar(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    if (!query.exec(testSql(sql)) || !query.next())
        return QVariant();
    return query.value(0);
}

// True when the manager's connection is inside a transaction (which this ends).
inline bool endOpenTransaction()
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    return query.exec(QStringLiteral("ROLLBACK"));
}

inline int countStartingWith(const QList<QList<QVariant>>& spy, const QString& prefix)
{
    int count = 0;
    for (const QList<QVariant>& arguments : spy)
        count += arguments.at(0).toString().startsWith(prefix) ? 1 : 0;
    return count;
}

inline void addAttribute(ModalDriver& driver, const QString& name, bool waterUser)
{
    driver.expect<QDialog>([name, waterUser](QDialog* dialog) {
        child<QLineEdit>(dialog, "_attributeLineEdit")->setText(name);
        if (waterUser)
            child<QRadioButton>(dialog, "_waterUserRadioButton")->setChecked(true);
        child<QPushButton>(dialog, "_okButton")->click();
    });
}

inline void addValue(ModalDriver& driver, const QString& text)
{
    driver.expect<QInputDialog>([text](QInputDialog* dialog) {
        dialog->setTextValue(text);
        dialog->accept();
    });
}

inline void click(QWidget* dialog, const char* button)
{
    child<QPushButton>(dialog, button)->click();
}

inline bool execOnManager(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    return query.exec(testSql(sql));
}

// Edits a water user of the baseline dialog in its water user dialog.
inline void editWaterUser(BaselineDlg& dialog, ModalDriver& driver, int aggDivID, int waterUserID,
    const std::function<void(WaterUserDlg*)>& action)
{
    dialog.scrollToAggDiv(aggDivID);
    dialog.scrollToWaterUser(waterUserID);
    driver.expect<WaterUserDlg>(action);
    dialog.editWaterUserHandler();
}

inline void setYearly(WaterUserDlg* dialog, int year, int column, double value)
{
    WaterUserDataViewModel* data = dialog->dataModel();
    for (int row = 0; row < data->rowCount(); ++row) {
        if (data->record(row).Year == year)
            data->setData(data->index(row, column), value);
    }
}

inline void chooseSite(WaterUserDlg* dialog, const QString& name)
{
    auto* combo = child<QComboBox>(dialog, "_aggDivNameComboBox");
    combo->setCurrentIndex(combo->findText(name));
}

// Every result of the baseline and of both scenarios, as a recalculation of everything stores
// them, so that a save recomputes only what its edits touch.
inline void computeEverything()
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

inline void runEdits(EditSequence sequence, ModalDriver& driver)
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

// What the tst_baselinedlg_* tests share: the project they work on and their helpers.
class BaselineDlgFixture : public QObject {
protected:
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
