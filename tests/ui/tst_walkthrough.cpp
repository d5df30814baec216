#include "WaterUserChoice.h"
#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "app/TARNMainWindow.h"
#include "calc/CalcStatusInfo.h"
#include "db/TarnDbMgr.h"
#include "demo/DemoProject.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/WaterUserDataViewModel.h"
#include "ui/plot/CurveDlg.h"
#include "ui/plot/PlotDlg.h"
#include "ui/plot/ScenarioPlotDlg.h"
#include "ui/plot/TarnChart.h"
#include "ui/scenario/ChangeDataWidget.h"
#include "ui/scenario/ChangeSpecDlg.h"
#include "ui/scenario/ScenarioDlg.h"
#include "ui/scenario/WaterUserSelectorDlg.h"
#include "workbook/XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

QVariant scalar(const QString& sql)
{
    QSqlQuery query(TarnDbMgr::instance()->database());
    if (!query.exec(testSql(sql)) || !query.next())
        return QVariant();
    return query.value(0);
}

QStringList columnTexts(const QTableView* view, int column)
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts << view->model()->index(row, column).data().toString();
    return texts;
}

void check(QListWidget* list, const QStringList& texts)
{
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        item->setCheckState(texts.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
    }
}

} // namespace

// One session of a planner through the real main window on the demo basin: open the project,
// edit the baseline and save it, add a scenario with a demand change, draw a plot of it and
// export a workbook. Each step is checked by what the window shows and what the file holds.
class TestWalkthrough : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<TARN::okstat>("okstat");
        qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
        QVERIFY(_dir.isValid());
        _path = _dir.filePath(QStringLiteral("demo-basin.db"));
        QVERIFY(makeDemoProject(_path).isOk());
        // As `make run` starts the program: beside the demo file.
        QVERIFY(QDir::setCurrent(_dir.path()));
        _window = std::make_unique<TARNMainWindow>();
        _window->resize(900, 600);
        _window->show();
    }
    void cleanupTestCase()
    {
        _window.reset();
        resetDbManager();
    }

    void openTheProject()
    {
        auto* tabs = child<QTabWidget>(_window.get(), "_mainTabWidget");
        for (int tab = 1; tab < tabs->count(); ++tab)
            QVERIFY(!tabs->widget(tab)->isEnabled());

        ModalDriver driver;
        driver.expect<QFileDialog>([this](QFileDialog* files) {
            // With the path field empty the dialog starts in the working folder, where the bare
            // file name is found.
            QCOMPARE(files->directory().absolutePath(), QDir(_dir.path()).absolutePath());
            child<QLineEdit>(files, "fileNameEdit")->setText(QStringLiteral("demo-basin.db"));
            static_cast<QDialog*>(files)->accept();
        });
        child<QPushButton>(_window.get(), "_browseButton")->click();
        QVERIFY(driver.done());
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));

        QCOMPARE(
            child<QLabel>(_window.get(), "_dbStatusLabel")->text(), QStringLiteral("Connected"));
        QCOMPARE(child<QLineEdit>(_window.get(), "_dbPathLineEdit")->text(), _path);
        for (int tab = 1; tab < tabs->count(); ++tab)
            QVERIFY(tabs->widget(tab)->isEnabled());
        QCOMPARE(child<QTableView>(_window.get(), "_scenarioTableView")->model()->rowCount(), 3);
        QCOMPARE(child<QTableView>(_window.get(), "_plotTableView")->model()->rowCount(), 2);
    }

    // Recalculate All Data first (a new project has no results), then a water user's depletion
    // is edited and the baseline saved with OK, which recomputes only the edited site.
    void editTheBaseline()
    {
        auto* tabs = child<QTabWidget>(_window.get(), "_mainTabWidget");
        tabs->setCurrentIndex(1);
        const int year = scalar(QStringLiteral("SELECT StartYear + 2 FROM Baseline")).toInt();
        QString waterUserName;
        int waterUserID = 0;

        ModalDriver driver;
        driver.expect<BaselineDlg>([](BaselineDlg* baseline) {
            child<QPushButton>(baseline, "_recalculateAllButton")->click();
            auto* waterUsers = child<QTableView>(baseline, "_waterUserTableView");
            waterUsers->setCurrentIndex(waterUsers->model()->index(0, 2));
            child<QPushButton>(baseline, "_editWaterUserButton")->click();
            child<QPushButton>(baseline, "_okButton")->click();
        });
        driver.answer(QMessageBox::Yes);
        driver.expect<WaterUserDlg>([&](WaterUserDlg* waterUser) {
            WaterUserDataViewModel* data = waterUser->dataModel();
            for (int row = 0; row < data->rowCount(); ++row) {
                if (data->record(row).Year != year)
                    continue;
                waterUserID = data->record(row).WaterUserID;
                data->setData(data->index(row, WaterUserDataViewModel::DepletionColumn), 777.25);
            }
            waterUserName = child<QLineEdit>(waterUser, "_waterUserNameLineEdit")->text();
            child<QPushButton>(waterUser, "_okButton")->click();
        });
        child<QPushButton>(_window.get(), "_editBaselineButton")->click();
        QVERIFY(driver.done());
        QCOMPARE(driver.texts.size(), 1);
        QVERIFY(driver.texts.first().startsWith(
            QLatin1String("Are you sure you want to recalculate all baseline and scenario data?")));
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        QVERIFY(waterUserID > 0);

        // Recalculate All Data computed every site in the baseline and in each of the three
        // scenarios; the save then recomputed the edited site in each of those four runs, with
        // its reason, and skipped the others, except that a scenario also recomputed the other
        // members of its demand changes that select the edited water user, and their sites.
        const QString diagnostics = child<QTextEdit>(_window.get(), "_diagTextEdit")->toPlainText();
        const int sites = scalar(QStringLiteral("SELECT COUNT(*) FROM AggDiv")).toInt();
        const int runs = 1 + 3;
        QSqlQuery site(TarnDbMgr::instance()->database());
        QVERIFY(site.exec(QStringLiteral("SELECT ad.AggDivID, ad.RiffleName FROM AggDiv ad JOIN "
                                         "WaterUser wu ON wu.AggDivID = ad.AggDivID WHERE "
                                         "wu.WaterUserID = %1")
                              .arg(waterUserID)));
        QVERIFY(site.next());
        const QString sharing = QStringLiteral(
            "SELECT COUNT(*) FROM (SELECT DISTINCT dc.ScenarioID, %1 FROM DemandChgWaterUser sel "
            "JOIN DemandChg dc ON dc.DemandChgID = sel.DemandChgID JOIN DemandChgWaterUser m ON "
            "m.DemandChgID = sel.DemandChgID JOIN WaterUser wu ON wu.WaterUserID = m.WaterUserID "
            "WHERE sel.WaterUserID = %2 AND %1 <> %3)");
        const int sharingSites = scalar(
            sharing.arg(QStringLiteral("wu.AggDivID")).arg(waterUserID).arg(site.value(0).toInt()))
                                     .toInt();
        const int sharingWaterUsers
            = scalar(sharing.arg(QStringLiteral("m.WaterUserID")).arg(waterUserID).arg(waterUserID))
                  .toInt();
        QCOMPARE(diagnostics.count(QLatin1String("Computing Agg Diversion")),
            runs * sites + runs + sharingSites);
        const QString siteHeader
            = QStringLiteral("Computing Agg Diversion %1.%2 for the following reason(s):")
                  .arg(site.value(0).toInt(), 3, 10, QLatin1Char('0'))
                  .arg(site.value(1).toString());
        QCOMPARE(diagnostics.count(siteHeader), runs);
        QCOMPARE(diagnostics.count(QLatin1String("for the following reason(s):")),
            2 * runs + sharingSites + sharingWaterUsers);
        QCOMPARE(diagnostics.count(QLatin1String("Skipping Agg Diversion")),
            runs * (sites - 1) - sharingSites);
        QVERIFY2(diagnostics.contains(QStringLiteral("Water User %1.%2 was edited")
                                          .arg(waterUserID, 3, 10, QLatin1Char('0'))
                                          .arg(waterUserName)),
            qPrintable(diagnostics));
        QCOMPARE(scalar(QStringLiteral("SELECT DepletionValue FROM BaseYearlyWaterUser WHERE "
                                       "WaterUserID = %1 AND Year = %2")
                            .arg(waterUserID)
                            .arg(year))
                     .toDouble(),
            777.25);
        QCOMPARE(
            scalar(QStringLiteral("SELECT COUNT(*) FROM BaseYearlyAggDiv")).toInt(), sites * 31);
    }

    void addAScenario()
    {
        child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(2);
        ModalDriver driver;
        driver.expect<ScenarioDlg>([](ScenarioDlg* dialog) {
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Walkthrough"));
            child<QLineEdit>(dialog, "_shortNameLineEdit")->setText(QStringLiteral("WALK"));
            child<QPushButton>(dialog, "_addDemandChgBtn")->click();
            QCOMPARE(child<QTableView>(dialog, "_demandChgTableView")->model()->rowCount(), 1);
            child<QPushButton>(dialog, "_okButton")->click();
        });
        driver.expect<ChangeSpecDlg>([this](ChangeSpecDlg* dialog) {
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Ten more"));
            child<QPushButton>(dialog, "_watUsrSelectBtn")->click();
            for (const WaterUser& user : dialog->waterUsers())
                _chosen << user.WaterUserID;
            auto* depletion = child<ChangeDataWidget>(dialog, "_depDataWidget");
            child<QLineEdit>(depletion, "_pctChgLineEdit")->setText(QStringLiteral("10"));
            child<QRadioButton>(depletion, "_chgAllYrsRadioBtn")->click();
            child<QPushButton>(depletion, "_modifySelYearsBtn")->click();
            child<QPushButton>(dialog, "_okButton")->click();
        });
        driver.expect<WaterUserSelectorDlg>(
            [](WaterUserSelectorDlg* selector) { chooseInputDepletionUsers(selector, 2); });
        child<QPushButton>(_window.get(), "_addScenarioButton")->click();
        QVERIFY(driver.done());
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        QCOMPARE(_chosen.size(), 2);

        auto* view = child<QTableView>(_window.get(), "_scenarioTableView");
        QCOMPARE(view->model()->rowCount(), 4);
        QVERIFY(columnTexts(view, 2).contains(QStringLiteral("Walkthrough")));
        _scenarioID = scalar(QStringLiteral("SELECT ScenarioID FROM Scenario WHERE ScenarioName = "
                                            "'Walkthrough'"))
                          .toInt();
        QVERIFY(_scenarioID > 0);
        // The chosen water users take 1.1 times their baseline depletion (the edited year
        // included), everyone else keeps it.
        QSqlQuery query(TarnDbMgr::instance()->database());
        QVERIFY(query.exec(QStringLiteral(
            "SELECT b.WaterUserID, b.DepletionValue, s.DepletionValue FROM BaseYearlyWaterUser b "
            "JOIN ScenarioYearlyWaterUser s ON s.WaterUserID = b.WaterUserID AND s.Year = b.Year "
            "AND s.ScenarioID = %1 WHERE b.DepletionValue IS NOT NULL")
                               .arg(_scenarioID)));
        int rows = 0;
        while (query.next()) {
            const double factor = _chosen.contains(query.value(0).toInt()) ? 1.1 : 1.0;
            const double base = query.value(1).toDouble();
            QVERIFY(qAbs(query.value(2).toDouble() - factor * base) <= 1e-9 * qMax(1.0, base));
            ++rows;
        }
        QVERIFY(rows > 100);
    }

    void drawAPlot()
    {
        child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(3);
        auto* plots = child<QTableView>(_window.get(), "_plotTableView");
        ModalDriver driver;
        driver.expect<PlotDlg>([](PlotDlg* dialog) {
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Walk Plot"));
            check(child<QListWidget>(dialog, "_scenarioListWidget"),
                { QStringLiteral("Baseline"), QStringLiteral("Walkthrough") });
            child<QPushButton>(dialog, "_addCurveButton")->click();
            QCOMPARE(child<QTableView>(dialog, "_curveTableView")->model()->rowCount(), 1);
            child<QPushButton>(dialog, "_okButton")->click();
        });
        driver.expect<CurveDlg>([](CurveDlg* curve) {
            child<QLineEdit>(curve, "_nameLineEdit")->setText(QStringLiteral("Chosen"));
            child<QRadioButton>(curve, "_depletionRadioButton")->click();
            child<QPushButton>(curve, "_selectWaterUsersButton")->click();
            child<QPushButton>(curve, "_okButton")->click();
        });
        driver.expect<WaterUserSelectorDlg>(
            [](WaterUserSelectorDlg* selector) { chooseInputDepletionUsers(selector, 2); });
        child<QPushButton>(_window.get(), "_addPlotButton")->click();
        QVERIFY(driver.done());
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
        QCOMPARE(plots->model()->rowCount(), 3);
        const int row = columnTexts(plots, 1).indexOf(QStringLiteral("Walk Plot"));
        QVERIFY(row >= 0);

        plots->selectRow(row);
        child<QPushButton>(_window.get(), "_generatePlotButton")->click();
        const QList<ScenarioPlotDlg*> windows = _window->findChildren<ScenarioPlotDlg*>();
        QCOMPARE(windows.size(), 1);
        ScenarioPlotDlg* plot = windows.first();
        QCOMPARE(plot->windowTitle(), QStringLiteral("Walk Plot"));
        QTRY_VERIFY(plot->chart());
        QStringList names;
        for (const QtCharts::QAbstractSeries* series : plot->chart()->series())
            names << series->name();
        QCOMPARE(names,
            (QStringList { QStringLiteral("Baseline - Chosen (Depletion)"),
                QStringLiteral("WALK - Chosen (Depletion)") }));
        plot->close();
        QTRY_VERIFY(_window->findChildren<ScenarioPlotDlg*>().isEmpty());
    }

    void exportAWorkbook()
    {
        auto* tabs = child<QTabWidget>(_window.get(), "_mainTabWidget");
        tabs->setCurrentIndex(4);
        auto* list = child<QListWidget>(_window.get(), "_expScenListWidget");
        QCOMPARE(list->count(), 5);
        check(list, { QStringLiteral("Baseline Monthly Data"), QStringLiteral("WALK") });
        const QString book = _dir.filePath(QStringLiteral("walkthrough.xlsx"));
        auto* file = child<QLineEdit>(_window.get(), "_expFileLineEdit");
        file->setText(book);
        emit file->editingFinished();
        auto* exportButton = child<QPushButton>(_window.get(), "_expButton");
        QVERIFY(exportButton->isEnabled());

        ModalDriver driver;
        exportButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(book), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 60000);
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));

        Workbook::XlsxReader reader;
        QString error;
        QVERIFY2(reader.open(book, &error), qPrintable(error));
        QCOMPARE(reader.sheetNames(),
            (QStringList {
                QStringLiteral("Baseline Monthly Data"), QStringLiteral("Walkthrough") }));
    }

private:
    QTemporaryDir _dir;
    QString _path;
    std::unique_ptr<TARNMainWindow> _window;
    QList<int> _chosen;
    int _scenarioID = 0;
};

QTEST_MAIN(TestWalkthrough)
#include "tst_walkthrough.moc"
