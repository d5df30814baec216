#include "ScenarioModalDriver.h"
#include "WaterUserChoice.h"
#include "support/CalcTestSupport.h"
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

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

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
    auto* view = childOf<QTableView>(&window, "_scenarioTableView");
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
        auto* edit = childOf<QPushButton>(&window, "_editScenarioButton");
        auto* remove = childOf<QPushButton>(&window, "_deleteScenarioButton");
        auto* exportButton = childOf<QPushButton>(&window, "_exportScenarioButton");
        QVERIFY(!edit->isEnabled());
        selectScenario(window, QStringLiteral("Wet"));
        QVERIFY(edit->isEnabled());
        QVERIFY(remove->isEnabled());
        QVERIFY(exportButton->isEnabled());
        auto* view = childOf<QTableView>(&window, "_scenarioTableView");
        QVERIFY(view->isColumnHidden(0));
        QVERIFY(!view->isColumnHidden(2));
    }

    void addingAndCancellingLeavesNoRow()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        ScenarioModalDriver driver;
        int shownId = 0;
        driver.expect<ScenarioDlg>([&shownId](ScenarioDlg* dialog) {
            shownId = dialog->scenarioID();
            childOf<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Never"));
            childOf<QPushButton>(dialog, "_cancelButton")->click();
        });
        driver.answer(QMessageBox::Yes);
        childOf<QPushButton>(&window, "_addScenarioButton")->click();
        QVERIFY(driver.done());
        QVERIFY(shownId > 2);
        QCOMPARE(project.scalar(QStringLiteral("SELECT COUNT(*) FROM Scenario")).toInt(), 2);
        QCOMPARE(childOf<QTableView>(&window, "_scenarioTableView")->model()->rowCount(), 2);
        QVERIFY(!inTransaction());
    }

    void addingAndAcceptingKeepsTheRow()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        ScenarioModalDriver driver;
        driver.expect<ScenarioDlg>([](ScenarioDlg* dialog) {
            QVERIFY(!childOf<QLabel>(dialog, "_createDateLabel")->text().isEmpty());
            childOf<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Kept"));
            childOf<QPushButton>(dialog, "_okButton")->click();
        });
        childOf<QPushButton>(&window, "_addScenarioButton")->click();
        QVERIFY(driver.done());
        QVERIFY(driver.unexpected.isEmpty());
        QCOMPARE(project
                     .scalar(QStringLiteral("SELECT COUNT(*) FROM Scenario WHERE ScenarioName "
                                            "= 'Kept' AND BaselineID = 1"))
                     .toInt(),
            1);
        QCOMPARE(childOf<QTableView>(&window, "_scenarioTableView")->model()->rowCount(), 3);
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
        auto* edit = childOf<QPushButton>(&window, "_editScenarioButton");
        QVERIFY(edit->isEnabled());
        {
            ScenarioModalDriver driver;
            driver.expect<ScenarioDlg>([accept](ScenarioDlg* dialog) {
                childOf<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("New"));
                childOf<QPushButton>(dialog, accept ? "_okButton" : "_cancelButton")->click();
            });
            if (!accept)
                driver.answer(QMessageBox::Yes);
            childOf<QPushButton>(&window, "_addScenarioButton")->click();
            QVERIFY(driver.done());
        }
        QVERIFY(!childOf<QTableView>(&window, "_scenarioTableView")->currentIndex().isValid());
        QVERIFY(!edit->isEnabled());
        QVERIFY(!childOf<QPushButton>(&window, "_deleteScenarioButton")->isEnabled());
        QVERIFY(!childOf<QPushButton>(&window, "_exportScenarioButton")->isEnabled());

        // Reached another way (a double click, a shortcut), the slots do nothing either.
        ScenarioModalDriver driver;
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
        ScenarioModalDriver driver;
        driver.answer(yes ? QMessageBox::Yes : QMessageBox::No);
        childOf<QPushButton>(&window, "_deleteScenarioButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts,
            QStringList { QStringLiteral(
                "Are you sure you want to delete this scenario and its associated demand "
                "changes?") });
        QCOMPARE(
            project.scalar(QStringLiteral("SELECT COUNT(*) FROM Scenario")).toInt(), yes ? 1 : 2);
        QCOMPARE(
            project.scalar(QStringLiteral("SELECT COUNT(*) FROM DemandChg")).toInt(), yes ? 1 : 2);
        QCOMPARE(childOf<QPushButton>(&window, "_editScenarioButton")->isEnabled(), !yes);
    }

    void editRunsInsideATransaction()
    {
        TestProject project;
        QVERIFY(project.exec(QString::fromUtf8(Project)).isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(project.path()));
        selectScenario(window, QStringLiteral("Wet"));
        ScenarioModalDriver driver;
        bool wasInTransaction = false;
        QString name;
        driver.expect<ScenarioDlg>([&wasInTransaction, &name](ScenarioDlg* dialog) {
            name = childOf<QLineEdit>(dialog, "_nameLineEdit")->text();
            wasInTransaction = !TarnDbMgr::instance()->database().transaction();
            childOf<QPushButton>(dialog, "_okButton")->click();
        });
        childOf<QPushButton>(&window, "_editScenarioButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(name, QStringLiteral("Wet"));
        QVERIFY(wasInTransaction);
        QVERIFY(!inTransaction());
    }

    // The whole road on the demo basin: a new scenario with a 10 % depletion increase for three
    // chosen water users, saved with OK, gives those three 1.1 times their baseline depletion and
    // every other water user exactly its baseline depletion.
    void percentChangeEndToEnd()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("demo.db"));
        QVERIFY(makeDemoProject(path).isOk());
        QVERIFY(TarnDbMgr::instance()->openDatabase(path).isOk());
        QVERIFY(calculateBaseline().isOk());
        TARNMainWindow window;
        QVERIFY(window.connectToDatabase(path));

        ScenarioModalDriver driver;
        QList<int> chosen;
        driver.expect<ScenarioDlg>([](ScenarioDlg* dialog) {
            childOf<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Ten Percent"));
            childOf<QPushButton>(dialog, "_addDemandChgBtn")->click();
            childOf<QPushButton>(dialog, "_okButton")->click();
        });
        driver.expect<ChangeSpecDlg>([&chosen](ChangeSpecDlg* dialog) {
            childOf<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("More"));
            childOf<QPushButton>(dialog, "_watUsrSelectBtn")->click();
            for (const WaterUser& user : dialog->waterUsers())
                chosen << user.WaterUserID;
            auto* depletion = childOf<ChangeDataWidget>(dialog, "_depDataWidget");
            childOf<QLineEdit>(depletion, "_pctChgLineEdit")->setText(QStringLiteral("10"));
            childOf<QRadioButton>(depletion, "_chgAllYrsRadioBtn")->click();
            childOf<QPushButton>(depletion, "_modifySelYearsBtn")->click();
            childOf<QPushButton>(dialog, "_okButton")->click();
        });
        // Three water users whose depletion is an input in every year: for those the change
        // works on the depletion itself.
        driver.expect<WaterUserSelectorDlg>(
            [](WaterUserSelectorDlg* selector) { chooseInputDepletionUsers(selector, 3); });
        childOf<QPushButton>(&window, "_addScenarioButton")->click();
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

QTEST_MAIN(TestScenarioTab)
#include "tst_scenariotab.moc"
