#include "support/CalcTestSupport.h"
#include "support/ModalDriver.h"
#include "support/StatementRefusal.h"
#include "support/TestProject.h"

#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "calc/ScenarioDemandCalculator.h"
#include "db/ModelOps.h"
#include "db/ScenarioDAO.h"
#include "db/TarnDbMgr.h"
#include "db/TarnRelationalTableModel.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/scenario/ChangeDataModel.h"
#include "ui/scenario/ChangeDataWidget.h"
#include "ui/scenario/ChangeSpecDlg.h"
#include "ui/scenario/ScenarioDlg.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSqlQuery>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

namespace {

// Scenario 1 ("Dry") has the changes 1 (water users 1, 2, 3, +50 % depletion) and 3, and the
// water user Echo of its own; scenario 11 has change 2 and the water user Foxtrot. In 2001 the
// three water users of change 1 have different efficiencies. Change 1 was chosen by filters.
const char* const Project = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 1, 'North Canal', 'NC', 0), (2, 1, 'South Ditch', 'SD', 1);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1), (2, 'Use', 2);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES
    (11, 1, 'Unassigned'), (12, 1, 'Upper'), (21, 2, 'Unassigned'), (22, 2, 'Irrigation');
INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (1, 1, 12), (1, 2, 11);
INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES
    (1, 'Dry', 'D'), (11, 'Eleven', 'E');
INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, NULL, 'Alpha', 'A', 0), (2, 1, NULL, 'Bravo', 'B', 1),
    (3, 2, NULL, 'Charlie', 'C', 0), (4, 2, NULL, 'Delta', 'D', 1),
    (5, 2, 1, 'Echo', 'E', 2), (6, 1, 11, 'Foxtrot', 'F', 2);
INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES
    (2, 1, 22), (2, 2, 21), (2, 3, 22), (2, 4, 21);
INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec)
    SELECT WaterUserID, 10, 10, 10, 10, 10, 10, 10, 10, 5, 5, 5, 5 FROM WaterUser;
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio,
    SalinityPickup) VALUES
    (1, 2000, 80, 40, 0.5, 1), (1, 2001, 80, 40, 0.5, 1), (1, 2002, 80, 40, 0.5, 1),
    (2, 2000, 40, 20, 0.5, 1), (2, 2001, 50, 20, 0.4, 1), (2, 2002, 40, 20, 0.5, 1),
    (3, 2000, 60, 30, 0.5, 1), (3, 2001, 60, 30, 0.5, 1), (3, 2002, 60, 30, 0.5, 1),
    (4, 2000, 20, 10, 0.5, 1), (4, 2001, 20, 10, 0.5, 1), (4, 2002, 20, 10, 0.5, 1),
    (5, 2000, 20, 10, 0.5, 1), (5, 2001, 20, 10, 0.5, 1), (5, 2002, 20, 10, 0.5, 1),
    (6, 2000, 20, 10, 0.5, 1), (6, 2001, 20, 10, 0.5, 1), (6, 2002, 20, 10, 0.5, 1);
INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName, CreatedDate,
    DepletionCalcMethodID, EfficiencyCalcMethodID, UsesFilters) VALUES
    (1, 1, 'Cut', '2020-01-01', 1, 1, 1), (2, 11, 'Other', '2020-01-01', 1, 1, 0),
    (3, 1, 'Second', '2020-01-02', 1, 1, 0);
INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1), (1, 2), (1, 3), (2, 4);
INSERT INTO DepletionChg (DemandChgID, Year, ChangeTypeID, ChangeValue) VALUES
    (1, 2000, 1, 50), (1, 2001, 1, 50), (1, 2002, 1, 50);
)";

TARN::okstat runFullCalculation(DemandCalculator& calculator)
{
    BaselineChangeLog log;
    log.setFullRecalculation();
    return runCalculator(calculator, log).result;
}

QVariant scalar(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    if (!query.exec(testSql(sql)) || !query.next())
        return QVariant();
    return query.value(0);
}

// True when the manager's connection was inside a transaction (which this ends).
bool endOpenTransaction()
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    return query.exec(QStringLiteral("ROLLBACK"));
}

// Years in which a water user's stored scenario depletion is not its baseline depletion times
// factor.
int yearsOff(int scenarioID, int waterUserID, double factor)
{
    return scalar(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyWaterUser b JOIN "
                                 "ScenarioYearlyWaterUser s ON s.WaterUserID = b.WaterUserID AND "
                                 "s.Year = b.Year WHERE s.ScenarioID = %1 AND b.WaterUserID = %2 "
                                 "AND ABS(s.DepletionValue - b.DepletionValue * %3) > 1e-6")
                      .arg(scenarioID)
                      .arg(waterUserID)
                      .arg(factor))
        .toInt();
}

int resultYears(int scenarioID, int waterUserID)
{
    return scalar(QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyWaterUser WHERE ScenarioID = "
                                 "%1 AND WaterUserID = %2")
                      .arg(scenarioID)
                      .arg(waterUserID))
        .toInt();
}

void selectRowWhere(QTableView* view, int column, const QVariant& value)
{
    QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, column).data() == value) {
            view->setCurrentIndex(model->index(row, column));
            return;
        }
    }
    qFatal("no row with that value");
}

QList<int> waterUserIds(const WaterUserList& users)
{
    QList<int> ids;
    for (const WaterUser& user : users)
        ids << user.WaterUserID;
    return ids;
}

} // namespace

class TestScenarioDlg : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProject> _project;

    // The project with baseline results and scenario 1 calculated.
    void openProject()
    {
        _project = std::make_unique<TestProject>(2000, 2002);
        QVERIFY(_project->exec(QString::fromUtf8(Project)).isOk());
        QVERIFY(_project->openInManager().isOk());
        BaselineDemandCalculator baseline;
        QVERIFY2(runFullCalculation(baseline).isOk(), "baseline calculation");
        ScenarioDemandCalculator dry(1, QStringLiteral("Dry"));
        QVERIFY2(runFullCalculation(dry).isOk(), "scenario calculation");
        QCOMPARE(yearsOff(1, 1, 1.5), 0);
        QVERIFY(TarnDbMgr::instance()->beginTransaction().isOk());
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<TARN::okstat>("okstat");
        qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
    }
    void cleanup()
    {
        _project.reset();
        resetDbManager();
    }

    void listsShowOnlyThisScenario()
    {
        openProject();
        ScenarioDlg dialog;
        QVERIFY(dialog.load(1).isOk());
        QSortFilterProxyModel* changes = dialog.demandChgProxy();
        QCOMPARE(changes->rowCount(), 2);
        QCOMPARE(changes->index(0, 2).data().toString(), QStringLiteral("Cut"));
        QCOMPARE(changes->index(1, 2).data().toString(), QStringLiteral("Second"));
        QCOMPARE(dialog.waterUserProxy()->rowCount(), 1);
        QCOMPARE(dialog.waterUserProxy()->index(0, 3).data().toString(), QStringLiteral("Echo"));
        QCOMPARE(
            dialog.waterUserProxy()->index(0, 1).data().toString(), QStringLiteral("South Ditch"));

        auto* view = child<QTableView>(&dialog, "_demandChgTableView");
        QHeaderView* header = view->horizontalHeader();
        QStringList shown;
        for (int visual = 0; visual < header->count(); ++visual) {
            const int logical = header->logicalIndex(visual);
            if (!header->isSectionHidden(logical))
                shown << changes->headerData(logical, Qt::Horizontal).toString();
        }
        QCOMPARE(shown,
            (QStringList { QStringLiteral("Change Name"), QStringLiteral("Date Created"),
                QStringLiteral("Description") }));
        QVERIFY(!child<QPushButton>(&dialog, "_editDemandChgBtn")->isEnabled());
        view->setCurrentIndex(changes->index(0, 2));
        QVERIFY(child<QPushButton>(&dialog, "_editDemandChgBtn")->isEnabled());
        QCOMPARE(child<QLineEdit>(&dialog, "_nameLineEdit")->text(), QStringLiteral("Dry"));
        QVERIFY(endOpenTransaction());
    }

    void cancelAsksFirst_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No keeps everything") << false;
        QTest::newRow("Yes rolls back") << true;
    }
    void cancelAsksFirst()
    {
        QFETCH(bool, yes);
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        dialog.show();
        child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Wetter"));
        QSqlQuery(TarnDbMgr::instance()->database())
            .exec(
                QStringLiteral("UPDATE Scenario SET ScenarioShortName = 'X' WHERE ScenarioID = 1"));
        ModalDriver driver;
        driver.answer(yes ? QMessageBox::Yes : QMessageBox::No);
        child<QPushButton>(&dialog, "_cancelButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts,
            QStringList { QStringLiteral(
                "Are you sure you want to cancel? Any changes made will be lost.") });
        QCOMPARE(dialog.isVisible(), !yes);
        QCOMPARE(child<QLineEdit>(&dialog, "_nameLineEdit")->text(), QStringLiteral("Wetter"));
        // The write inside the transaction is still there only when the transaction is.
        QCOMPARE(
            scalar(QStringLiteral("SELECT ScenarioShortName FROM Scenario WHERE ScenarioID = 1"))
                .toString(),
            yes ? QStringLiteral("D") : QStringLiteral("X"));
        QCOMPARE(endOpenTransaction(), !yes);
    }

    void applyWithoutRecordedEditsDoesNotCalculate()
    {
        openProject();
        QSqlQuery(TarnDbMgr::instance()->database())
            .exec(QStringLiteral("DELETE FROM ScenarioYearlyWaterUser WHERE WaterUserID = 4"));
        ScenarioDlg dialog;
        dialog.load(1);
        child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Drier"));
        ModalDriver driver;
        child<QPushButton>(&dialog, "_applyButton")->click();
        QVERIFY(driver.unexpected.isEmpty());
        QCOMPARE(
            _project
                ->scalar(QStringLiteral("SELECT ScenarioName FROM Scenario WHERE ScenarioID = 1"))
                .toString(),
            QStringLiteral("Drier"));
        QCOMPARE(resultYears(1, 4), 0);
        QCOMPARE(child<QLabel>(&dialog, "_modDateLabel")->text(),
            QDate::currentDate().toString(Qt::ISODate));
        // Apply began the next transaction.
        QVERIFY(endOpenTransaction());
    }

    void deletedChangeRecalculatesItsWaterUsersOnce()
    {
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        auto* view = child<QTableView>(&dialog, "_demandChgTableView");
        selectRowWhere(view, 2, QStringLiteral("Cut"));
        ModalDriver driver;
        driver.answer(QMessageBox::Yes);
        child<QPushButton>(&dialog, "_delDemandChgBtn")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts,
            QStringList { QStringLiteral("Are you sure you want to delete this demand change?") });
        const BaselineChangeLog& log = dialog.changeLog();
        QVERIFY(log.waterUserChanged(1, 1));
        QVERIFY(log.waterUserChanged(1, 2));
        QVERIFY(log.waterUserChanged(2, 3));
        QVERIFY(!log.waterUserChanged(2, 4));

        child<QPushButton>(&dialog, "_applyButton")->click();
        QVERIFY(driver.unexpected.isEmpty());
        QVERIFY(!dialog.changeLog().hasChanges());
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChg WHERE DemandChgID = 1")),
            QVariant(0));
        for (int waterUser : { 1, 2, 3 }) {
            QCOMPARE(resultYears(1, waterUser), 3);
            QCOMPARE(yearsOff(1, waterUser, 1.0), 0);
        }

        // A second Apply without edits leaves the results alone.
        QSqlQuery(TarnDbMgr::instance()->database())
            .exec(QStringLiteral(
                "UPDATE ScenarioYearlyWaterUser SET DepletionValue = -99 WHERE WaterUserID = 1"));
        child<QPushButton>(&dialog, "_applyButton")->click();
        QCOMPARE(_project
                     ->scalar(QStringLiteral("SELECT MAX(DepletionValue) FROM "
                                             "ScenarioYearlyWaterUser WHERE WaterUserID = 1"))
                     .toDouble(),
            -99.0);
        QVERIFY(endOpenTransaction());
    }

    void scenarioWaterUserDialogShowsItsSite()
    {
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        selectRowWhere(
            child<QTableView>(&dialog, "_waterUsersTableView"), 3, QStringLiteral("Echo"));
        ModalDriver driver;
        QString site;
        QString name;
        driver.expect<WaterUserDlg>([&site, &name](WaterUserDlg* waterUser) {
            site = child<QComboBox>(waterUser, "_aggDivNameComboBox")->currentText();
            name = child<QLineEdit>(waterUser, "_waterUserNameLineEdit")->text();
            child<QPushButton>(waterUser, "_cancelButton")->click();
        });
        child<QPushButton>(&dialog, "_editWaterUserBtn")->click();
        QVERIFY(driver.done());
        QCOMPARE(name, QStringLiteral("Echo"));
        QCOMPARE(site, QStringLiteral("South Ditch"));
        QVERIFY(endOpenTransaction());
    }

    void deletedScenarioWaterUserRecalculatesItsSite()
    {
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        selectRowWhere(
            child<QTableView>(&dialog, "_waterUsersTableView"), 3, QStringLiteral("Echo"));
        ModalDriver driver;
        driver.answer(QMessageBox::Yes);
        child<QPushButton>(&dialog, "_delWaterUserBtn")->click();
        QVERIFY(driver.done());
        QCOMPARE(dialog.waterUserProxy()->rowCount(), 0);
        QVERIFY(dialog.changeLog().waterUserChanged(2, 5));
        QVERIFY(endOpenTransaction());
    }

    void changeSpecBaselineValues()
    {
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        QCOMPARE(waterUserIds(dialog.waterUsers()), (QList<int> { 1, 2, 3 }));
        ChangeDataModel* depletion
            = child<ChangeDataWidget>(&dialog, "_depDataWidget")->dataModel();
        ChangeDataModel* efficiency
            = child<ChangeDataWidget>(&dialog, "_effDataWidget")->dataModel();
        const double total2000
            = scalar(QStringLiteral("SELECT SUM(DepletionValue) FROM BaseYearlyWaterUser WHERE "
                                    "WaterUserID IN (1, 2, 3) "
                                    "AND Year = 2000"))
                  .toDouble();
        QVERIFY(total2000 > 0);
        QCOMPARE(depletion->rows().at(0).baseline, total2000);
        // Stored change +50 % shows its scenario value.
        QCOMPARE(depletion->rows().at(0).scenarioValue, total2000 * 1.5);
        QCOMPARE(efficiency->rows().at(0).baseline, 0.5);
        QCOMPARE(efficiency->index(1, ChangeDataModel::BaselineColumn).data().toString(),
            QStringLiteral("Varies"));
        QVERIFY(endOpenTransaction());
    }

    // Efficiency interpolation takes effect only with a depletion method that interpolates: the
    // dialog says so for the one combination that promises more than the calculation does.
    void changeSpecSaysWhenEfficiencyIsNotInterpolated()
    {
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        auto* note = child<QLabel>(&dialog, "_methodNoteLabel");
        auto* depletion = child<ChangeDataWidget>(&dialog, "_depDataWidget");
        auto* efficiency = child<ChangeDataWidget>(&dialog, "_effDataWidget");
        auto choose = [](ChangeDataWidget* widget, const char* button) {
            child<QRadioButton>(widget, button)->click();
        };
        choose(depletion, "_useBaseRadioBtn");
        choose(efficiency, "_useBaseRadioBtn");
        QVERIFY(note->isHidden());
        choose(efficiency, "_interpRadioBtn");
        QVERIFY(!note->isHidden());
        QVERIFY(note->text().contains(QLatin1String("will not be interpolated")));
        choose(depletion, "_interpRadioBtn");
        QVERIFY(note->isHidden());
        QVERIFY(endOpenTransaction());
    }

    void changeSpecApplyReportsEveryWaterUser()
    {
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        QSignalSpy edited(&dialog, &ChangeSpecDlg::waterUserEdited);
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(edited.size(), 3);
        QList<int> ids;
        for (const QList<QVariant>& arguments : qAsConst(edited))
            ids << arguments.at(1).toInt();
        QCOMPARE(ids, (QList<int> { 1, 2, 3 }));
        QCOMPARE(edited.at(2).at(0).toInt(), 2);
        QCOMPARE(edited.at(2).at(2).toString(), QStringLiteral("Charlie"));
        QVERIFY(endOpenTransaction());
    }

    void selectedWaterUsersAndFilters_data()
    {
        QTest::addColumn<bool>("uncheckOne");
        QTest::newRow("every listed water user") << false;
        QTest::newRow("hand-picked") << true;
    }
    void selectedWaterUsersAndFilters()
    {
        QFETCH(bool, uncheckOne);
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        ModalDriver driver;
        int listed = 0;
        driver.expect<WaterUserSelectorDlg>([uncheckOne, &listed](WaterUserSelectorDlg* selector) {
            auto* table = child<QTableWidget>(selector, "_watUsrTableWidget");
            listed = table->rowCount();
            if (uncheckOne)
                table->selectionModel()->select(table->model()->index(0, 0),
                    QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
            child<QPushButton>(selector, "_okButton")->click();
        });
        QSignalSpy edited(&dialog, &ChangeSpecDlg::waterUserEdited);
        child<QPushButton>(&dialog, "_watUsrSelectBtn")->click();
        QVERIFY(driver.done());
        QVERIFY(listed > 1);
        QCOMPARE(dialog.waterUsers().size(), uncheckOne ? listed - 1 : listed);
        QCOMPARE(dialog.filters().isEmpty(), uncheckOne);
        QVERIFY(dialog.applyChanges().isOk());

        QSqlTableModel* changes = TarnDbMgr::instance()->scenarioDAO()->demandChgModel();
        QVERIFY(changes->submitAll());
        QCOMPARE(scalar(QStringLiteral("SELECT UsesFilters FROM DemandChg WHERE DemandChgID = 1"))
                     .toInt(),
            uncheckOne ? 0 : 1);
        QCOMPARE(
            scalar(QStringLiteral("SELECT COUNT(*) FROM DemandSelection WHERE DemandChgID = 1"))
                    .toInt()
                > 0,
            !uncheckOne);
        QCOMPARE(
            scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChgWaterUser WHERE DemandChgID = 1"))
                .toInt(),
            dialog.waterUsers().size());
        // Water users the change no longer selects are reported too: their results change.
        QSet<int> reported;
        for (const QList<QVariant>& arguments : qAsConst(edited))
            reported.insert(arguments.at(1).toInt());
        for (int id : { 1, 2, 3 })
            QVERIFY(reported.contains(id));
        QVERIFY(endOpenTransaction());
    }

    // Descriptions are stored as the text typed. One that an older file holds as an HTML
    // document is shown in the change list and edited as the text it shows.
    void descriptionsArePlainText_data()
    {
        QTest::addColumn<bool>("demandChange");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTextDocument document;
        document.setPlainText(QStringLiteral("Wet <years> & more\nsecond line"));
        const QString html = document.toHtml();
        const QString markup = QStringLiteral("a <b>bold</b> claim");
        for (const bool change : { false, true }) {
            const char* what = change ? "demand change" : "scenario";
            QTest::addRow("%s, HTML from an older file", what)
                << change << html << QStringLiteral("Wet <years> & more\nsecond line");
            QTest::addRow("%s, typed markup", what) << change << markup << markup;
        }
    }
    void descriptionsArePlainText()
    {
        QFETCH(bool, demandChange);
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        openProject();
        QSqlQuery update(TarnDbMgr::instance()->database());
        update.prepare(testSql(demandChange
                ? QStringLiteral("UPDATE DemandChg SET Description = :text WHERE DemandChgID = 1")
                : QStringLiteral(
                    "UPDATE Scenario SET ScenarioDescription = :text WHERE ScenarioID = 1")));
        update.bindValue(QStringLiteral(":text"), stored);
        QVERIFY(update.exec());
        ModelOps::selectAll(TarnDbMgr::instance()->scenarioDAO()->scenarioModel());
        const QString edited = shown + QStringLiteral("\n<i>edited</i>");

        ScenarioDlg dialog;
        dialog.load(1);
        if (!demandChange) {
            auto* text = child<QTextEdit>(&dialog, "_descrTextEdit");
            QCOMPARE(text->toPlainText(), shown);
            text->setPlainText(edited);
            ModalDriver driver;
            child<QPushButton>(&dialog, "_applyButton")->click();
            QVERIFY(driver.unexpected.isEmpty());
            QCOMPARE(_project
                         ->scalar(QStringLiteral(
                             "SELECT ScenarioDescription FROM Scenario WHERE ScenarioID = 1"))
                         .toString(),
                edited);
            QVERIFY(endOpenTransaction());
            return;
        }

        auto* view = child<QTableView>(&dialog, "_demandChgTableView");
        const QModelIndex cell = dialog.demandChgProxy()->index(0, 3);
        QCOMPARE(dialog.demandChgProxy()->index(0, 0).data().toInt(), 1);
        auto* delegate = qobject_cast<QStyledItemDelegate*>(view->itemDelegate(cell));
        QVERIFY(delegate);
        QCOMPARE(delegate->displayText(cell.data(), QLocale()),
            QString(shown).replace(QLatin1Char('\n'), QChar::LineSeparator));

        TarnRelationalTableModel* changes = TarnDbMgr::instance()->scenarioDAO()->demandChgModel();
        const int row = ModelOps::findRowById(changes, 1).row();
        ChangeSpecDlg spec;
        spec.load(row, 1);
        auto* text = child<QTextEdit>(&spec, "_descrTextEdit");
        QCOMPARE(text->toPlainText(), shown);
        text->setPlainText(edited);
        QVERIFY(spec.applyChanges().isOk());
        QCOMPARE(changes->index(row, 3).data().toString(), edited);
        QVERIFY(endOpenTransaction());
    }

    // A save whose calculation failed has committed its input: OK keeps the dialog open, and
    // whichever way it closes afterwards the results follow the input.
    void failedCalculationIsComputedBeforeClosing_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("then OK") << false;
        QTest::newRow("then Cancel") << true;
    }
    void failedCalculationIsComputedBeforeClosing()
    {
        QFETCH(bool, cancel);
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        dialog.show();
        ModalDriver driver;
        driver.answer(QMessageBox::Yes);
        selectRowWhere(child<QTableView>(&dialog, "_demandChgTableView"), 2, QStringLiteral("Cut"));
        child<QPushButton>(&dialog, "_delDemandChgBtn")->click();
        QVERIFY(driver.done());
        {
            // The deletion is committed; its results cannot be written.
            StatementRefusal refusal(TarnDbMgr::instance()->database(),
                StatementRefusal::writing(QStringLiteral("ScenarioYearlyWaterUser")));
            QVERIFY(refusal.isActive());
            child<QPushButton>(&dialog, "_okButton")->click();
        }
        QVERIFY(dialog.isVisible());
        QVERIFY(!driver.unexpected.isEmpty());
        QVERIFY(dialog.changeLog().waterUserChanged(1, 1));
        driver.unexpected.clear();

        if (cancel)
            driver.answer(QMessageBox::Yes);
        child<QPushButton>(&dialog, cancel ? "_cancelButton" : "_okButton")->click();
        QTRY_VERIFY(!dialog.isVisible());
        QVERIFY(driver.done());
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(u'\n')));
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChg WHERE DemandChgID = 1")),
            QVariant(0));
        for (int waterUser : { 1, 2, 3 }) {
            QCOMPARE(resultYears(1, waterUser), 3);
            QCOMPARE(yearsOff(1, waterUser, 1.0), 0);
        }
        QVERIFY(!endOpenTransaction());
    }

    // Apply commits; when the next transaction cannot begin the dialog may not edit on without
    // one (its edits would be written at once, and Cancel could not undo them).
    void applyWithoutNextTransactionCloses()
    {
        openProject();
        ScenarioDlg dialog;
        dialog.load(1);
        dialog.show();
        child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Drier"));
        ModalDriver driver;
        driver.answer(QMessageBox::Ok);
        {
            StatementRefusal refusal(
                TarnDbMgr::instance()->database(), StatementRefusal::beginning());
            QVERIFY(refusal.isActive());
            child<QPushButton>(&dialog, "_applyButton")->click();
        }
        QVERIFY(driver.done());
        QCOMPARE(driver.texts.size(), 1);
        QVERIFY2(driver.texts.first().startsWith(QStringLiteral("Cannot begin the transaction: ")),
            qPrintable(driver.texts.first()));
        QVERIFY(driver.unexpected.isEmpty());
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        // What Apply committed stays, and no transaction is left open.
        QCOMPARE(
            _project
                ->scalar(QStringLiteral("SELECT ScenarioName FROM Scenario WHERE ScenarioID = 1"))
                .toString(),
            QStringLiteral("Drier"));
        QVERIFY(!endOpenTransaction());
    }

    // A change whose water users or filters could not be loaded must not lose them at the next
    // save: the lists shown are not what is stored.
    void failedLoadKeepsStoredLists_data()
    {
        QTest::addColumn<QString>("refusedTable");
        QTest::newRow("water users") << QStringLiteral("DemandChgWaterUser");
        QTest::newRow("filters") << QStringLiteral("DemandSelection");
    }
    void failedLoadKeepsStoredLists()
    {
        QFETCH(QString, refusedTable);
        openProject();
        QSqlQuery filters(TarnDbMgr::instance()->database());
        QVERIFY(filters.exec(QStringLiteral("INSERT INTO DemandSelection (DemandChgID, AttrID, "
                                            "AttrValidValID) VALUES (1, 1, 12), (1, 2, 22)")));
        auto stored = [](const QString& sql) {
            return scalar(QStringLiteral("SELECT GROUP_CONCAT(x) FROM (%1)").arg(sql)).toString();
        };
        const QString usersSql = QStringLiteral(
            "SELECT WaterUserID x FROM DemandChgWaterUser WHERE DemandChgID = 1 ORDER BY x");
        const QString filtersSql = QStringLiteral(
            "SELECT AttrValidValID x FROM DemandSelection WHERE DemandChgID = 1 ORDER BY x");
        QCOMPARE(stored(usersSql), QStringLiteral("1,2,3"));
        QCOMPARE(stored(filtersSql), QStringLiteral("12,22"));

        ChangeSpecDlg dialog;
        ModalDriver driver;
        driver.answer(QMessageBox::Ok);
        {
            StatementRefusal refusal(
                TarnDbMgr::instance()->database(), StatementRefusal::reading(refusedTable));
            QVERIFY(refusal.isActive());
            dialog.load(0, 1);
        }
        QVERIFY(driver.done());
        QVERIFY2(driver.texts.value(0).startsWith(QStringLiteral("Error loading demand change: ")),
            qPrintable(driver.texts.value(0)));
        child<QLineEdit>(&dialog, "_nameLineEdit")->setText(QStringLiteral("Renamed"));
        QVERIFY(dialog.applyChanges().isOk());
        QCOMPARE(stored(usersSql), QStringLiteral("1,2,3"));
        QCOMPARE(stored(filtersSql), QStringLiteral("12,22"));
        QVERIFY(endOpenTransaction());
    }

    void cancelledSelectionIsNotStored()
    {
        openProject();
        ChangeSpecDlg dialog;
        dialog.load(0, 1);
        ModalDriver driver;
        driver.expect<WaterUserSelectorDlg>([](WaterUserSelectorDlg* selector) {
            auto* table = child<QTableWidget>(selector, "_watUsrTableWidget");
            table->selectionModel()->select(table->model()->index(0, 0),
                QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
            child<QPushButton>(selector, "_okButton")->click();
        });
        child<QPushButton>(&dialog, "_watUsrSelectBtn")->click();
        QVERIFY(driver.done());
        QSqlTableModel* changes = TarnDbMgr::instance()->scenarioDAO()->demandChgModel();
        QCOMPARE(changes->index(0, 7).data().toInt(), 0);
        dialog.reject();
        QCOMPARE(changes->index(0, 7).data().toInt(), 1);
        QCOMPARE(scalar(QStringLiteral("SELECT GROUP_CONCAT(WaterUserID) FROM (SELECT WaterUserID "
                                       "FROM DemandChgWaterUser WHERE DemandChgID = 1 ORDER BY "
                                       "WaterUserID)"))
                     .toString(),
            QStringLiteral("1,2,3"));
        QVERIFY(endOpenTransaction());
    }
};

QTEST_MAIN(TestScenarioDlg)
#include "tst_scenariodlg.moc"
