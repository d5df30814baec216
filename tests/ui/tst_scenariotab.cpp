#include "WaterUserChoice.h"
#include "support/CalcTestSupport.h"
#include "support/ModalDriver.h"
#include "support/StatementRefusal.h"
#include "support/TestProject.h"

#include "app/TARNMainWindow.h"
#include "calc/BaselineChangeLog.h"
#include "calc/BaselineDemandCalculator.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "demo/DemoProject.h"
#include "ui/scenario/ChangeDataWidget.h"
#include "ui/scenario/ChangeSpecDlg.h"
#include "ui/scenario/ScenarioDlg.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const char* const Project = R"(
INSERT INTO Scenario (ScenarioID, ScenarioName, CreatedDate) VALUES
    (1, 'Dry', '2020-01-01'), (2, 'Wet', '2020-01-02');
INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName) VALUES (1, 1, 'Cut'), (2, 2, 'Add');
)";

QVariant scalar(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    if (!query.exec(testSql(sql)) || !query.next())
        return QVariant();
    return query.value(0);
}

bool inTransaction()
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    return query.exec(QStringLiteral("ROLLBACK"));
}

void selectScenario(TARNMainWindow& window, const QString& name)
{
    auto* view = child<QTableView>(&window, "_scenarioTableView");
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (view->model()->index(row, 2).data().toString() == name) {
            view->selectRow(row);
            return;
        }
    }
    qFatal("no such scenario");
}

TARN::okstat calculateBaseline()
{
    BaselineChangeLog log;
    log.setFullRecalculation();
    BaselineDemandCalculator calculator;
    return runCalculator(calculator, log).result;
}

} // namespace

class TestScenarioTab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<TARN::okstat>("okstat");
        qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
    }
    void cleanup() { resetDbManager(); }

    void buttonsFollowTheSelection()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        auto* edit = child<QPushButton>(&window, "_editScenarioButton");
        auto* remove = child<QPushButton>(&window, "_deleteScenarioButton");
        auto* exportButton = child<QPushButton>(&window, "_exportScenarioButton");
        QVERIFY(!edit->isEnabled());
        selectScenario(window, QStringLiteral("Wet"));
        QVERIFY(edit->isEnabled());
        QVERIFY(remove->isEnabled());
        QVERIFY(exportButton->isEnabled());
        auto* view = child<QTableView>(&window, "_scenarioTableView");
        QVERIFY(view->isColumnHidden(0));
        QVERIFY(!view->isColumnHidden(2));
    }

    void addingAndCancellingLeavesNoRow()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        ModalDriver driver;
        int shownId = 0;
        driver.expect<ScenarioDlg>([&shownId](ScenarioDlg* dialog) {
            shownId = dialog->scenarioID();
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Never"));
            child<QPushButton>(dialog, "_cancelButton")->click();
        });
        driver.answer(QMessageBox::Yes);
        child<QPushButton>(&window, "_addScenarioButton")->click();
        QVERIFY(driver.done());
        QVERIFY(shownId > 2);
        QCOMPARE(project.scalar(QStringLiteral("SELECT COUNT(*) FROM Scenario")).toInt(), 2);
        QCOMPARE(child<QTableView>(&window, "_scenarioTableView")->model()->rowCount(), 2);
        QVERIFY(!inTransaction());
    }

    void addingAndAcceptingKeepsTheRow()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        ModalDriver driver;
        driver.expect<ScenarioDlg>([](ScenarioDlg* dialog) {
            QVERIFY(!child<QLabel>(dialog, "_createDateLabel")->text().isEmpty());
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Kept"));
            child<QPushButton>(dialog, "_okButton")->click();
        });
        child<QPushButton>(&window, "_addScenarioButton")->click();
        QVERIFY(driver.done());
        QVERIFY(driver.unexpected.isEmpty());
        QCOMPARE(project
                     .scalar(QStringLiteral("SELECT COUNT(*) FROM Scenario WHERE ScenarioName "
                                            "= 'Kept' AND BaselineID = 1"))
                     .toInt(),
            1);
        QCOMPARE(child<QTableView>(&window, "_scenarioTableView")->model()->rowCount(), 3);
        QVERIFY(!inTransaction());
    }

    // The re-select after Add drops the selection: Edit and Export must not go on with a
    // scenario that is no longer chosen (Edit would open id -1, Export would write the
    // baseline's attributes).
    void addLeavesNoScenarioChosen_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("accepted") << true;
        QTest::newRow("cancelled") << false;
    }
    void addLeavesNoScenarioChosen()
    {
        QFETCH(bool, accept);
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        selectScenario(window, QStringLiteral("Wet"));
        auto* edit = child<QPushButton>(&window, "_editScenarioButton");
        QVERIFY(edit->isEnabled());
        {
            ModalDriver driver;
            driver.expect<ScenarioDlg>([accept](ScenarioDlg* dialog) {
                child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("New"));
                child<QPushButton>(dialog, accept ? "_okButton" : "_cancelButton")->click();
            });
            if (!accept)
                driver.answer(QMessageBox::Yes);
            child<QPushButton>(&window, "_addScenarioButton")->click();
            QVERIFY(driver.done());
        }
        QVERIFY(!child<QTableView>(&window, "_scenarioTableView")->currentIndex().isValid());
        QVERIFY(!edit->isEnabled());
        QVERIFY(!child<QPushButton>(&window, "_deleteScenarioButton")->isEnabled());
        QVERIFY(!child<QPushButton>(&window, "_exportScenarioButton")->isEnabled());

        // Reached another way (a double click, a shortcut), the slots do nothing either.
        ModalDriver driver;
        QStringList opened;
        for (int i = 0; i < 2; ++i)
            driver.expect<QDialog>([&opened](QDialog* dialog) {
                opened << QString::fromLatin1(dialog->metaObject()->className());
                dialog->done(QDialog::Rejected);
            });
        window.editScenarioClicked();
        window.exportScenarioClicked();
        QCOMPARE(opened, QStringList());
        QVERIFY(!inTransaction());
    }

    void deleteAsksFirst_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No changes nothing") << false;
        QTest::newRow("Yes removes the scenario and its changes") << true;
    }
    void deleteAsksFirst()
    {
        QFETCH(bool, yes);
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        selectScenario(window, QStringLiteral("Dry"));
        ModalDriver driver;
        driver.answer(yes ? QMessageBox::Yes : QMessageBox::No);
        child<QPushButton>(&window, "_deleteScenarioButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts,
            QStringList { QStringLiteral(
                "Are you sure you want to delete this scenario and its associated demand "
                "changes?") });
        QCOMPARE(
            project.scalar(QStringLiteral("SELECT COUNT(*) FROM Scenario")).toInt(), yes ? 1 : 2);
        QCOMPARE(
            project.scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChg")).toInt(), yes ? 1 : 2);
        QCOMPARE(child<QPushButton>(&window, "_editScenarioButton")->isEnabled(), !yes);
    }

    void editRunsInsideATransaction()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        selectScenario(window, QStringLiteral("Wet"));
        ModalDriver driver;
        bool wasInTransaction = false;
        QString name;
        driver.expect<ScenarioDlg>([&wasInTransaction, &name](ScenarioDlg* dialog) {
            name = child<QLineEdit>(dialog, "_nameLineEdit")->text();
            wasInTransaction = !TarnDbMgr::instance()->database().transaction();
            child<QPushButton>(dialog, "_okButton")->click();
        });
        child<QPushButton>(&window, "_editScenarioButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(name, QStringLiteral("Wet"));
        QVERIFY(wasInTransaction);
        QVERIFY(!inTransaction());
    }

    // The whole road on the demo basin: a new scenario with a 10 % depletion increase for three
    // chosen water users, saved with OK, gives those three 1.1 times their baseline depletion and
    // every other water user exactly its baseline depletion.
    void copyScenario_data();
    void copyScenario();

    void percentChangeEndToEnd()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(makeDemoProject(path).isOk());
        QVERIFY(TarnDbMgr::instance()->openDatabase(path).isOk());
        QVERIFY(calculateBaseline().isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(path));

        ModalDriver driver;
        QList<int> chosen;
        driver.expect<ScenarioDlg>([](ScenarioDlg* dialog) {
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Ten Percent"));
            child<QPushButton>(dialog, "_addDemandChgBtn")->click();
            child<QPushButton>(dialog, "_okButton")->click();
        });
        driver.expect<ChangeSpecDlg>([&chosen](ChangeSpecDlg* dialog) {
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("More"));
            child<QPushButton>(dialog, "_watUsrSelectBtn")->click();
            for (const WaterUser& user : dialog->waterUsers())
                chosen << user.WaterUserID;
            auto* depletion = child<ChangeDataWidget>(dialog, "_depDataWidget");
            child<QLineEdit>(depletion, "_pctChgLineEdit")->setText(QStringLiteral("10"));
            child<QRadioButton>(depletion, "_chgAllYrsRadioBtn")->click();
            child<QPushButton>(depletion, "_modifySelYearsBtn")->click();
            child<QPushButton>(dialog, "_okButton")->click();
        });
        // Three water users whose depletion is an input in every year: for those the change
        // works on the depletion itself.
        driver.expect<WaterUserSelectorDlg>(
            [](WaterUserSelectorDlg* selector) { chooseInputDepletionUsers(selector, 3); });
        child<QPushButton>(&window, "_addScenarioButton")->click();
        QVERIFY2(driver.done(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        QCOMPARE(chosen.size(), 3);
        QVERIFY(!inTransaction());

        const int scenarioID
            = scalar(QStringLiteral("SELECT ScenarioID FROM Scenario WHERE ScenarioName = 'Ten "
                                    "Percent'"))
                  .toInt();
        QVERIFY(scenarioID > 0);
        QSqlQuery query(TarnDbMgr::instance()->database());
        QVERIFY(query.exec(QStringLiteral(
            "SELECT b.WaterUserID, b.Year, b.DepletionValue, s.DepletionValue, "
            "s.Year "
            "FROM "
            "BaseYearlyWaterUser b JOIN WaterUser wu ON wu.WaterUserID = b.WaterUserID LEFT JOIN "
            "ScenarioYearlyWaterUser s ON s.WaterUserID = b.WaterUserID AND s.Year = b.Year AND "
            "s.ScenarioID = %1 WHERE wu.ScenarioID IS NULL")
                               .arg(scenarioID)));
        int checked = 0;
        int changed = 0;
        while (query.next()) {
            const int waterUser = query.value(0).toInt();
            const double base = TARN::toDouble(query.value(2));
            QVERIFY2(!query.value(4).isNull(),
                qPrintable(QStringLiteral("no scenario result for water user %1 in %2")
                               .arg(waterUser)
                               .arg(query.value(1).toInt())));
            const double factor = chosen.contains(waterUser) ? 1.1 : 1.0;
            const double scenario = TARN::toDouble(query.value(3));
            // A year without a baseline value (a user that starts later) has none in the scenario.
            QCOMPARE(std::isnan(scenario), std::isnan(base));
            if (std::isnan(base))
                continue;
            QVERIFY2(qAbs(scenario - base * factor) <= 1e-9 * qMax(1.0, qAbs(base)),
                qPrintable(QStringLiteral("water user %1 year %2: %3 vs %4 x %5")
                               .arg(waterUser)
                               .arg(query.value(1).toInt())
                               .arg(scenario, 0, 'g', 17)
                               .arg(base, 0, 'g', 17)
                               .arg(factor)));
            ++checked;
            changed += chosen.contains(waterUser) ? 1 : 0;
        }
        QVERIFY(checked > 100);
        QCOMPARE(changed, 3 * 31);
    }
};

namespace {

// Scenario "Dry" with a water user of its own (Echo, at site 1) and one demand change over a
// baseline water user, with yearly values of both kinds and a filter.
const char* const CopySource = R"(
INSERT INTO AggDiv (AggDivID, SalinityMethodID, SiteName, RiffleName, Ord) VALUES
    (1, 1, 'North Canal', 'NC', 0);
INSERT INTO Attribute (AttrID, AttrName, AttrTypeID) VALUES (1, 'Basin', 1), (2, 'Use', 2);
INSERT INTO AttrValidVal (AttrValidValID, AttrID, AttrVal) VALUES
    (11, 1, 'Unassigned'), (21, 2, 'Unassigned'), (22, 2, 'Irrigation');
INSERT INTO AggDivAttr (AttrID, AggDivID, AttrValidValID) VALUES (1, 1, 11);
INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName, ScenarioDescription) VALUES
    (1, 'Dry', 'D', 'dry years');
INSERT INTO WaterUser (WaterUserID, AggDivID, ScenarioID, WaterUserName, RiffleName, Ord) VALUES
    (1, 1, NULL, 'Alpha', 'A', 0), (5, 1, 1, 'Echo', 'E', 1);
INSERT INTO WaterUserAttr (AttrID, WaterUserID, AttrValidValID) VALUES (2, 1, 22), (2, 5, 21);
INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, Jul, Aug, Sep, Oct, Nov, Dec)
    VALUES (1, 10, 10, 10, 10, 10, 10, 10, 10, 5, 5, 5, 5),
           (5, 5, 5, 5, 5, 10, 10, 10, 10, 10, 10, 10, 10);
INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, DepletionReq, EfficiencyRatio,
    SalinityPickup) VALUES (1, 2000, 80, 40, 0.5, 1), (1, 2001, 90, 45, 0.5, 1),
    (5, 2000, 20, 10, 0.5, 2), (5, 2001, 30, 12, 0.4, 2);
INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName, Description, CreatedDate,
    DepletionCalcMethodID, EfficiencyCalcMethodID, UsesFilters) VALUES
    (1, 1, 'Cut', 'ten percent', '2020-01-01', 1, 2, 1);
INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES (1, 1);
INSERT INTO DemandSelection (DemandChgID, AttrID, AttrValidValID) VALUES (1, 1, 11), (1, 2, 22);
INSERT INTO DepletionChg (DemandChgID, Year, ChangeTypeID, ChangeValue) VALUES
    (1, 2000, 1, -10), (1, 2001, 3, 40);
INSERT INTO EfficiencyChg (DemandChgID, Year, ChangeTypeID, ChangeValue) VALUES (1, 2001, 2, 0.1);
)";

// The rows of what a scenario holds, with the keys of the copy made comparable: the scenario
// and its own water users by name, demand changes by name.
QStringList contents(const QString& scenario)
{
    const QString id = QStringLiteral("(SELECT ScenarioID FROM Scenario WHERE ScenarioName = '%1')")
                           .arg(scenario);
    const QString changes
        = QStringLiteral("(SELECT DemandChgID FROM DemandChg WHERE ScenarioID = %1)").arg(id);
    const QString users
        = QStringLiteral("(SELECT WaterUserID FROM WaterUser WHERE ScenarioID = %1)").arg(id);
    const QStringList queries {
        QStringLiteral("SELECT ScenarioShortName || '|' || ScenarioDescription FROM Scenario "
                       "WHERE ScenarioID = %1")
            .arg(id),
        QStringLiteral("SELECT %1 || '|' || %2 || '|' || %3 || '|' || %4 || '|' || %5 FROM "
                       "DemandChg WHERE ScenarioID = %6")
            .arg(testColumn(QStringLiteral("DemandChg"), 2),
                testColumn(QStringLiteral("DemandChg"), 3),
                testColumn(QStringLiteral("DemandChg"), 5),
                testColumn(QStringLiteral("DemandChg"), 6),
                testColumn(QStringLiteral("DemandChg"), 7), id),
        QStringLiteral("SELECT 'dep' || Year || '|' || ChangeTypeID || '|' || %1 FROM DepletionChg "
                       "WHERE DemandChgID IN %2")
            .arg(testColumn(QStringLiteral("DepletionChg"), 4), changes),
        QStringLiteral("SELECT 'eff' || Year || '|' || ChangeTypeID || '|' || %1 FROM "
                       "EfficiencyChg WHERE DemandChgID IN %2")
            .arg(testColumn(QStringLiteral("EfficiencyChg"), 4), changes),
        QStringLiteral("SELECT 'member ' || wu.WaterUserName || '|' || COALESCE(wu.ScenarioID = "
                       "%1, 0) FROM DemandChgWaterUser m JOIN WaterUser wu ON wu.WaterUserID = "
                       "m.WaterUserID WHERE m.DemandChgID IN %2")
            .arg(id, changes),
        QStringLiteral("SELECT 'filter ' || AttrID || '|' || AttrValidValID FROM DemandSelection "
                       "WHERE DemandChgID IN %1")
            .arg(changes),
        QStringLiteral("SELECT 'user ' || WaterUserName || '|' || RiffleName || '|' || AggDivID "
                       "FROM WaterUser WHERE ScenarioID = %1")
            .arg(id),
        QStringLiteral("SELECT 'data ' || Year || '|' || DiversionReq || '|' || DepletionReq || "
                       "'|' || EfficiencyRatio || '|' || SalinityPickup FROM WaterUserData WHERE "
                       "WaterUserID IN %1")
            .arg(users),
        QStringLiteral("SELECT 'dist ' || %1 || '|' || %2 FROM WaterUserDist WHERE WaterUserID "
                       "IN %3")
            .arg(testColumn(QStringLiteral("WaterUserDist"), 2),
                testColumn(QStringLiteral("WaterUserDist"), 13), users),
        QStringLiteral("SELECT 'attr ' || AttrID || '|' || AttrValidValID FROM WaterUserAttr "
                       "WHERE WaterUserID IN %1")
            .arg(users),
    };
    QStringList rows;
    for (const QString& sql : queries) {
        QSqlQuery query(TarnDbMgr::instance()->database());
        if (!query.exec(sql))
            rows << QStringLiteral("failed: ") + query.lastError().text();
        while (query.next())
            rows << query.value(0).toString();
    }
    rows.sort();
    return rows;
}

} // namespace

void TestScenarioTab::copyScenario_data()
{
    QTest::addColumn<bool>("refused");
    QTest::newRow("copied") << false;
    QTest::newRow("refused at its filters") << true;
}

// Copy makes a scenario of another one's changes, values, members, filters and own water users
// under a new name, in one transaction, and computes the copy's results.
void TestScenarioTab::copyScenario()
{
    QFETCH(bool, refused);
    TestProject project(2000, 2001);
    QVERIFY(project.exec(QString::fromUtf8(CopySource)).isOk());
    TARNMainWindow window;
    window.show();
    QVERIFY(window.connectToDatabase(project.path()));
    QVERIFY(calculateBaseline().isOk());
    const QStringList source = contents(QStringLiteral("Dry"));
    QVERIFY(source.size() > 10);
    selectScenario(window, QStringLiteral("Dry"));
    auto* copy = child<QPushButton>(&window, "_copyScenarioButton");
    QVERIFY(copy->isEnabled());

    std::unique_ptr<StatementRefusal> refusal;
    if (refused)
        refusal = std::make_unique<StatementRefusal>(TarnDbMgr::instance()->database(),
            StatementRefusal::writing(QStringLiteral("DemandSelection")));
    ModalDriver driver;
    driver.expect<QInputDialog>([](QInputDialog* input) {
        QCOMPARE(input->textValue(), QStringLiteral("Copy of Dry"));
        input->setTextValue(QStringLiteral("Dry again"));
        input->accept();
    });
    if (refused)
        driver.answer(QMessageBox::Ok);
    copy->click();
    QVERIFY(driver.done());
    refusal.reset();
    QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
    QVERIFY(!inTransaction());
    QCOMPARE(contents(QStringLiteral("Dry")), source);
    const int scenarios = scalar(QStringLiteral("SELECT COUNT(*) FROM Scenario")).toInt();
    if (refused) {
        QVERIFY2(
            driver.texts.value(0).startsWith(QStringLiteral("The scenario could not be copied: ")),
            qPrintable(driver.texts.value(0)));
        QCOMPARE(scenarios, 1);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM WaterUser")).toInt(), 2);
        QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChg")).toInt(), 1);
        return;
    }
    QCOMPARE(scenarios, 2);
    QCOMPARE(contents(QStringLiteral("Dry again")), source);
    // No change of the copy takes in a water user of another scenario.
    QCOMPARE(
        scalar(QStringLiteral(
                   "SELECT COUNT(*) FROM DemandChgWaterUser m JOIN DemandChg c ON c.DemandChgID = "
                   "m.DemandChgID JOIN WaterUser wu ON wu.WaterUserID = m.WaterUserID WHERE "
                   "wu.ScenarioID IS NOT NULL AND wu.ScenarioID <> c.ScenarioID"))
            .toInt(),
        0);
    // Its results were computed: both years of both of its water users.
    QCOMPARE(scalar(QStringLiteral("SELECT COUNT(*) FROM ScenarioYearlyWaterUser WHERE "
                                   "ScenarioID = (SELECT ScenarioID FROM Scenario WHERE "
                                   "ScenarioName = 'Dry again')"))
                 .toInt(),
        4);
    auto* view = child<QTableView>(&window, "_scenarioTableView");
    QCOMPARE(view->model()->index(view->currentIndex().row(), 2).data().toString(),
        QStringLiteral("Dry again"));
}

QTEST_MAIN(TestScenarioTab)
#include "tst_scenariotab.moc"
