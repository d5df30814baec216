#include "WaterUserChoice.h"
#include "support/CalcTestSupport.h"
#include "support/ModalDriver.h"
#include "support/TestProject.h"

#include "app/EditHistory.h"
#include "app/TARNMainWindow.h"
#include "calc/BaselineChangeLog.h"
#include "calc/CalcStatusInfo.h"
#include "calc/Recalculation.h"
#include "db/EditSteps.h"
#include "db/Password.h"
#include "db/ProjectFile.h"
#include "db/TarnDbMgr.h"
#include "inputs/InputsImport.h"
#include "ui/baseline/AggDivDlg.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/baseline/MonthlyCoefficientLineEdit.h"
#include "ui/baseline/TimeRangeDlg.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/ImportPreviewDlg.h"
#include "ui/common/WaterUserDataViewModel.h"
#include "ui/plot/CurveDlg.h"
#include "ui/plot/PlotDlg.h"
#include "ui/scenario/AttrFilterWidget.h"
#include "ui/scenario/ChangeDataWidget.h"
#include "ui/scenario/ChangeSpecDlg.h"
#include "ui/scenario/ScenarioDlg.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QUndoStack>
#include <QtTest>

#include <memory>

namespace {

bool replaceInFile(const QString& path, const QString& from, const QString& to)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    if (!text.contains(from))
        return false;
    text.replace(from, to);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) > 0;
}

bool appendToFile(const QString& path, const char* line)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(line) > 0;
}

void pick(QTableView* view, int row)
{
    view->setCurrentIndex(view->model()->index(row, 2));
    view->selectRow(row);
}

} // namespace

// Random sequences of saved steps made through the real dialogs of the main window, then undone
// and redone through the Edit menu and the History: the input tables come back row for row, and
// the results are those a full recalculation of the inputs gives.
class TestUndoHistory : public QObject {
    Q_OBJECT

private:
    QTemporaryDir _dir;
    QString _path;
    std::unique_ptr<TARNMainWindow> _window;
    QRandomGenerator _random;
    QString _book;
    int _made = 0;

    QStringList diagnostics() const
    {
        return child<QTextEdit>(_window.get(), "_diagTextEdit")
            ->toPlainText()
            .split(QLatin1Char('\n'));
    }

    // Opens the baseline dialog, lets edit work in it, then presses OK.
    void inBaseline(ModalDriver& driver, const std::function<void(BaselineDlg*)>& edit)
    {
        driver.expect<BaselineDlg>([edit](BaselineDlg* dialog) {
            edit(dialog);
            child<QPushButton>(dialog, "_okButton")->click();
        });
    }

    void editYearlyValue(ModalDriver& driver)
    {
        const int row = _random.bounded(4);
        const double value = 100 + _random.bounded(900);
        inBaseline(driver, [row](BaselineDlg* dialog) {
            auto* users = child<QTableView>(dialog, "_waterUserTableView");
            pick(users, qMin(row, users->model()->rowCount() - 1));
            child<QPushButton>(dialog, "_editWaterUserButton")->click();
        });
        driver.expect<WaterUserDlg>([value](WaterUserDlg* dialog) {
            WaterUserDataViewModel* data = dialog->dataModel();
            for (int year = 1; year < data->rowCount(); year += 3)
                data->setData(data->index(year, WaterUserDataViewModel::DepletionColumn), value);
            child<QPushButton>(dialog, "_okButton")->click();
        });
    }

    void addWaterUser(ModalDriver& driver)
    {
        const int site = _random.bounded(3);
        const QString name = QStringLiteral("Added %1").arg(++_made);
        inBaseline(driver, [site](BaselineDlg* dialog) {
            pick(child<QTableView>(dialog, "_aggDivTableView"), site);
            child<QPushButton>(dialog, "_addWaterUserButton")->click();
        });
        driver.expect<WaterUserDlg>([name](WaterUserDlg* dialog) {
            child<QLineEdit>(dialog, "_waterUserNameLineEdit")->setText(name);
            child<QLineEdit>(dialog, "_riffleNameLineEdit")->setText(name + QStringLiteral(" R"));
            const QList<MonthlyCoefficientLineEdit*>& months = dialog->coefficientEditors();
            for (int month = 0; month < months.size(); ++month)
                months.at(month)->setText(month < 4 ? QStringLiteral("9") : QStringLiteral("8"));
            WaterUserDataViewModel* data = dialog->dataModel();
            for (int year = 0; year < data->rowCount(); ++year) {
                data->setData(
                    data->index(year, WaterUserDataViewModel::DepletionColumn), 40 + year);
                data->setData(data->index(year, WaterUserDataViewModel::EfficiencyColumn), 0.5);
            }
            child<QPushButton>(dialog, "_okButton")->click();
        });
    }

    void moveWaterUser(ModalDriver& driver)
    {
        inBaseline(driver, [](BaselineDlg* dialog) {
            pick(child<QTableView>(dialog, "_waterUserTableView"), 0);
            child<QPushButton>(dialog, "_editWaterUserButton")->click();
        });
        const int to = _random.bounded(2) + 1;
        driver.expect<WaterUserDlg>([to](WaterUserDlg* dialog) {
            auto* sites = child<QComboBox>(dialog, "_aggDivNameComboBox");
            sites->setCurrentIndex((sites->currentIndex() + to) % sites->count());
            child<QPushButton>(dialog, "_okButton")->click();
        });
    }

    void deleteWaterUser(ModalDriver& driver)
    {
        const int row = _random.bounded(3);
        inBaseline(driver, [row](BaselineDlg* dialog) {
            auto* users = child<QTableView>(dialog, "_waterUserTableView");
            pick(users, qMin(row, users->model()->rowCount() - 1));
            // A water user in demand changes or plots asks first: the test answers Yes.
            QTimer::singleShot(0, dialog, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    box->button(QMessageBox::Yes)->click();
            });
            child<QPushButton>(dialog, "_deleteWaterUserButton")->click();
        });
    }

    void addSite(ModalDriver& driver)
    {
        const QString name = QStringLiteral("Site %1").arg(++_made);
        inBaseline(driver,
            [](BaselineDlg* dialog) { child<QPushButton>(dialog, "_addAggDivButton")->click(); });
        driver.expect<AggDivDlg>([name](AggDivDlg* dialog) {
            child<QLineEdit>(dialog, "_aggDivSiteNameLineEdit")->setText(name);
            child<QLineEdit>(dialog, "_aggDivRWNameLineEdit")->setText(name + QStringLiteral(" R"));
            child<QPushButton>(dialog, "_okButton")->click();
        });
    }

    void editSite(ModalDriver& driver)
    {
        const int row = _random.bounded(3);
        const QString name = QStringLiteral("Renamed %1").arg(++_made);
        inBaseline(driver, [row](BaselineDlg* dialog) {
            pick(child<QTableView>(dialog, "_aggDivTableView"), row);
            child<QPushButton>(dialog, "_editAggDivButton")->click();
        });
        driver.expect<AggDivDlg>([name](AggDivDlg* dialog) {
            child<QLineEdit>(dialog, "_aggDivSiteNameLineEdit")->setText(name);
            auto* method = child<QComboBox>(dialog, "_salinityMethodComboBox");
            method->setCurrentIndex((method->currentIndex() + 1) % method->count());
            child<QPushButton>(dialog, "_okButton")->click();
        });
    }

    void deleteSite(ModalDriver& driver)
    {
        const int row = _random.bounded(3);
        inBaseline(driver, [row](BaselineDlg* dialog) {
            pick(child<QTableView>(dialog, "_aggDivTableView"), row);
            QTimer::singleShot(0, dialog, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    box->button(QMessageBox::Yes)->click();
            });
            child<QPushButton>(dialog, "_deleteAggDivButton")->click();
        });
    }

    void moveSite(ModalDriver& driver)
    {
        const int row = _random.bounded(3);
        inBaseline(driver, [row](BaselineDlg* dialog) {
            pick(child<QTableView>(dialog, "_aggDivTableView"), row);
            child<QPushButton>(dialog, "_moveAggDivDownButton")->click();
        });
    }

    void changeTimeRange(ModalDriver& driver)
    {
        const int shift = _random.bounded(2) ? 1 : -1;
        inBaseline(driver, [](BaselineDlg* dialog) {
            child<QPushButton>(dialog, "_modifyTimeRangeButton")->click();
        });
        driver.expect<TimeRangeDlg>([shift](TimeRangeDlg* dialog) {
            auto* end = child<QSpinBox>(dialog, "_endYearSpinBox");
            end->setValue(end->value() + shift);
            // Shortening the range asks whether the years beyond it go.
            QTimer::singleShot(0, dialog, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)->click()
                                                  : box->accept();
            });
            child<QPushButton>(dialog, "_okButton")->click();
        });
    }

    void addAttributeValue(ModalDriver& driver)
    {
        const QString value = QStringLiteral("Value %1").arg(++_made);
        inBaseline(driver, [](BaselineDlg* dialog) {
            pick(child<QTableView>(dialog, "_attributeTableView"), 0);
            child<QPushButton>(dialog, "_addAttrValButton")->click();
        });
        driver.expect<QInputDialog>([value](QInputDialog* dialog) {
            dialog->setTextValue(value);
            dialog->accept();
        });
    }

    // An input book made from the project as opened, with one value changed and a new site with
    // a water user, imported in the baseline dialog and saved with it.
    void importBook(ModalDriver& driver)
    {
        const QString book = _book;
        inBaseline(driver, [book](BaselineDlg* dialog) { dialog->importInputsFrom(book); });
        driver.expect<ImportPreviewDlg>([](ImportPreviewDlg* preview) {
            auto* apply = child<QPushButton>(preview, "_applyButton");
            // Rows the project no longer has room for (years beyond a shortened range) are
            // left out.
            if (!apply->isEnabled())
                child<QCheckBox>(preview, "_skipRejectedCheckBox")->setChecked(true);
            apply->click();
        });
    }

    void addScenario(ModalDriver& driver)
    {
        child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(2);
        const QString name = QStringLiteral("Scenario %1").arg(++_made);
        const int percent = 5 + _random.bounded(20);
        driver.expect<ScenarioDlg>([name](ScenarioDlg* dialog) {
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(name);
            child<QLineEdit>(dialog, "_shortNameLineEdit")->setText(name.right(4));
            child<QPushButton>(dialog, "_addDemandChgBtn")->click();
            child<QPushButton>(dialog, "_okButton")->click();
        });
        changeSpec(driver, percent, true);
        QTimer::singleShot(0, _window.get(),
            [this] { child<QPushButton>(_window.get(), "_addScenarioButton")->click(); });
    }

    void editScenarioChange(ModalDriver& driver)
    {
        child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(2);
        auto* scenarios = child<QTableView>(_window.get(), "_scenarioTableView");
        const int row = _random.bounded(scenarios->model()->rowCount());
        scenarios->selectRow(row);
        const int percent = 5 + _random.bounded(20);
        // A scenario without changes gets one, whose members must be chosen.
        QSqlQuery changes(TarnDbMgr::instance()->database());
        QVERIFY(changes.exec(QStringLiteral("SELECT COUNT(*) FROM DemandChg WHERE ScenarioID = %1")
                                 .arg(scenarios->model()->index(row, 0).data().toInt()))
            && changes.next());
        const bool fresh = changes.value(0).toInt() == 0;
        changes.finish();
        driver.expect<ScenarioDlg>([](ScenarioDlg* dialog) {
            auto* changes = child<QTableView>(dialog, "_demandChgTableView");
            if (changes->model()->rowCount() == 0) {
                child<QPushButton>(dialog, "_addDemandChgBtn")->click();
            } else {
                changes->selectRow(0);
                child<QPushButton>(dialog, "_editDemandChgBtn")->click();
            }
            child<QPushButton>(dialog, "_okButton")->click();
        });
        changeSpec(driver, percent, fresh || _random.bounded(2) == 0);
        QTimer::singleShot(0, _window.get(),
            [this] { child<QPushButton>(_window.get(), "_editScenarioButton")->click(); });
    }

    // The demand change dialog: its members chosen anew or kept, a percentage for all years.
    void changeSpec(ModalDriver& driver, int percent, bool chooseMembers)
    {
        driver.expect<ChangeSpecDlg>([percent, chooseMembers](ChangeSpecDlg* dialog) {
            if (child<QLineEdit>(dialog, "_nameLineEdit")->text().isEmpty())
                child<QLineEdit>(dialog, "_nameLineEdit")->setText(QStringLiteral("Change"));
            if (chooseMembers)
                child<QPushButton>(dialog, "_watUsrSelectBtn")->click();
            auto* depletion = child<ChangeDataWidget>(dialog, "_depDataWidget");
            child<QLineEdit>(depletion, "_pctChgLineEdit")->setText(QString::number(percent));
            child<QRadioButton>(depletion, "_chgAllYrsRadioBtn")->click();
            child<QPushButton>(depletion, "_modifySelYearsBtn")->click();
            child<QPushButton>(dialog, "_okButton")->click();
        });
        if (!chooseMembers)
            return;
        // Members picked by hand, or through an attribute filter (the change keeps the filter).
        if (_random.bounded(2) == 0) {
            driver.expect<WaterUserSelectorDlg>(
                [](WaterUserSelectorDlg* selector) { chooseInputDepletionUsers(selector, 2); });
            return;
        }
        driver.expect<WaterUserSelectorDlg>([](WaterUserSelectorDlg* selector) {
            auto* panel = child<AttrFilterWidget>(selector, "_watUsrFiltWidget");
            auto* attributes = child<QTableWidget>(panel, "_filtTableWidget");
            auto* values = child<QTableWidget>(panel, "_attrTableWidget");
            auto* users = child<QTableWidget>(selector, "_watUsrTableWidget");
            QTest::mouseClick(attributes->viewport(), Qt::LeftButton, {},
                attributes->visualItemRect(attributes->item(0, 0)).center());
            // The first value that selects anyone.
            for (int row = 0; row < values->rowCount(); ++row) {
                QTest::mouseClick(values->viewport(), Qt::LeftButton, {},
                    values->visualItemRect(values->item(row, 0)).center());
                if (!users->selectionModel()->selectedRows().isEmpty())
                    break;
            }
            child<QPushButton>(selector, "_okButton")->click();
        });
    }

    void addPlot(ModalDriver& driver)
    {
        child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(3);
        const QString name = QStringLiteral("Plot %1").arg(++_made);
        driver.expect<PlotDlg>([name](PlotDlg* dialog) {
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(name);
            auto* scenarios = child<QListWidget>(dialog, "_scenarioListWidget");
            scenarios->item(0)->setCheckState(Qt::Checked);
            child<QPushButton>(dialog, "_addCurveButton")->click();
            child<QPushButton>(dialog, "_okButton")->click();
        });
        driver.expect<CurveDlg>([](CurveDlg* curve) {
            child<QLineEdit>(curve, "_nameLineEdit")->setText(QStringLiteral("Curve"));
            child<QRadioButton>(curve, "_depletionRadioButton")->click();
            child<QPushButton>(curve, "_selectWaterUsersButton")->click();
            child<QPushButton>(curve, "_okButton")->click();
        });
        driver.expect<WaterUserSelectorDlg>(
            [](WaterUserSelectorDlg* selector) { chooseInputDepletionUsers(selector, 2); });
        QTimer::singleShot(0, _window.get(),
            [this] { child<QPushButton>(_window.get(), "_addPlotButton")->click(); });
    }

    // A plot renamed, a scenario of it checked or unchecked, its first curve's water users
    // chosen anew.
    void editPlot(ModalDriver& driver)
    {
        child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(3);
        auto* plots = child<QTableView>(_window.get(), "_plotTableView");
        if (plots->model()->rowCount() == 0)
            return addPlot(driver);
        plots->selectRow(_random.bounded(plots->model()->rowCount()));
        const QString name = QStringLiteral("Plot %1").arg(++_made);
        const int scenario = _random.bounded(2);
        driver.expect<PlotDlg>([name, scenario](PlotDlg* dialog) {
            child<QLineEdit>(dialog, "_nameLineEdit")->setText(name);
            auto* scenarios = child<QListWidget>(dialog, "_scenarioListWidget");
            QListWidgetItem* item = scenarios->item(scenario % scenarios->count());
            item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            auto* curves = child<QTableView>(dialog, "_curveTableView");
            if (curves->model()->rowCount() == 0)
                child<QPushButton>(dialog, "_addCurveButton")->click();
            else {
                curves->selectRow(0);
                child<QPushButton>(dialog, "_editCurveButton")->click();
            }
            child<QPushButton>(dialog, "_okButton")->click();
        });
        driver.expect<CurveDlg>([](CurveDlg* curve) {
            if (child<QLineEdit>(curve, "_nameLineEdit")->text().isEmpty())
                child<QLineEdit>(curve, "_nameLineEdit")->setText(QStringLiteral("Curve"));
            child<QPushButton>(curve, "_selectWaterUsersButton")->click();
            child<QPushButton>(curve, "_okButton")->click();
        });
        driver.expect<WaterUserSelectorDlg>(
            [](WaterUserSelectorDlg* selector) { chooseInputDepletionUsers(selector, 3); });
        QTimer::singleShot(0, _window.get(),
            [this] { child<QPushButton>(_window.get(), "_editPlotButton")->click(); });
    }

    void deleteFromTab(ModalDriver& driver)
    {
        const bool plot = _random.bounded(2) == 0;
        auto* tabs = child<QTabWidget>(_window.get(), "_mainTabWidget");
        tabs->setCurrentIndex(plot ? 3 : 2);
        auto* view
            = child<QTableView>(_window.get(), plot ? "_plotTableView" : "_scenarioTableView");
        if (view->model()->rowCount() == 0)
            return;
        view->selectRow(_random.bounded(view->model()->rowCount()));
        driver.answer(QMessageBox::Yes);
        const char* button = plot ? "_deletePlotButton" : "_deleteScenarioButton";
        QTimer::singleShot(0, _window.get(),
            [this, button] { child<QPushButton>(_window.get(), button)->click(); });
    }

    using Step = void (TestUndoHistory::*)(ModalDriver&);
    // Every kind of step; a baseline step is made in the baseline dialog, saved with its OK.
    struct Kind {
        const char* name;
        Step make;
        bool baseline;
    };
    static const QList<Kind>& kinds()
    {
        static const QList<Kind> all {
            { "edit yearly values", &TestUndoHistory::editYearlyValue, true },
            { "add water user", &TestUndoHistory::addWaterUser, true },
            { "move water user", &TestUndoHistory::moveWaterUser, true },
            { "delete water user", &TestUndoHistory::deleteWaterUser, true },
            { "add site", &TestUndoHistory::addSite, true },
            { "edit site", &TestUndoHistory::editSite, true },
            { "delete site", &TestUndoHistory::deleteSite, true },
            { "move site", &TestUndoHistory::moveSite, true },
            { "time range", &TestUndoHistory::changeTimeRange, true },
            { "add attribute value", &TestUndoHistory::addAttributeValue, true },
            { "import a book", &TestUndoHistory::importBook, true },
            { "add scenario", &TestUndoHistory::addScenario, false },
            { "edit scenario change", &TestUndoHistory::editScenarioChange, false },
            { "add plot", &TestUndoHistory::addPlot, false },
            { "edit plot", &TestUndoHistory::editPlot, false },
            { "delete from a tab", &TestUndoHistory::deleteFromTab, false },
        };
        return all;
    }

    // One step of the given kind through the dialogs.
    void makeStep(const Kind& step, QStringList& made)
    {
        made << QString::fromLatin1(step.name);
        ModalDriver driver;
        (this->*step.make)(driver);
        if (step.baseline) {
            child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(1);
            QTimer::singleShot(0, _window.get(),
                [this] { child<QPushButton>(_window.get(), "_editBaselineButton")->click(); });
        }
        QTRY_VERIFY2_WITH_TIMEOUT(driver.done() && !QApplication::activeModalWidget(),
            qPrintable(made.join(QStringLiteral(", "))), 30000);
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(QLatin1Char('|'))));
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(tarnhelm);
        qRegisterMetaType<TARN::okstat>("okstat");
        qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
        QVERIFY(_dir.isValid());
    }

    void init()
    {
        _path = _dir.filePath(QStringLiteral("%1 %2.db")
                                  .arg(QString::fromLatin1(QTest::currentTestFunction()),
                                      QString::fromLatin1(QTest::currentDataTag())));
        QFile::remove(_path);
        _made = 0;
        QVERIFY(makeDemoProject(_path).isOk());
        // The start's results are current, as after Recalculate All Data.
        QVERIFY(TarnDbMgr::instance()->openDatabase(_path).isOk());
        BaselineChangeLog everything;
        everything.setFullRecalculation();
        QVERIFY(Recalculation(everything).run().isOk());
        _book = _path + QStringLiteral(".book");
        QDir(_book).removeRecursively();
        QVERIFY(Inputs::exportInputs(_book).isOk());
        QVERIFY(replaceInFile(_book + QStringLiteral("/Yearly Data.csv"),
            QStringLiteral("HighlineDitchCompany,1991,52.27,20.80346,"),
            QStringLiteral("HighlineDitchCompany,1991,52.27,21.5,")));
        QVERIFY(
            appendToFile(_book + QStringLiteral("/Sites.csv"), "NewMesaAggDiv,New Mesa,,,9\r\n"));
        QVERIFY(appendToFile(_book + QStringLiteral("/Water Users.csv"),
            "NewMesaAggDiv,MesaFarms,Mesa Farms,,1,0,0,0,10,20,20,20,20,10,0,0,0\r\n"));
        resetDbManager();
        _window = std::make_unique<TARNMainWindow>();
        _window->show();
        QVERIFY(_window->connectToDatabase(_path));
    }

    void cleanup()
    {
        _window.reset();
        resetDbManager();
    }

    // Each seed makes every kind of step once, in an order and with choices of its own.
    void undoAllThenRedoAll_data()
    {
        QTest::addColumn<quint32>("seed");
        for (const quint32 seed : { 7u, 2027u, 90210u })
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }

    void undoAllThenRedoAll()
    {
        QFETCH(quint32, seed);
        _random.seed(seed);
        EditHistory* history = _window->history();
        const QStringList start = dumpInputTables();
        QList<Kind> order = kinds();
        for (int i = order.size() - 1; i > 0; --i)
            order.swapItemsAt(i, _random.bounded(i + 1));
        QStringList made;
        for (const Kind& step : qAsConst(order)) {
            makeStep(step, made);
            if (QTest::currentTestFailed())
                return;
        }
        const int steps = order.size();
        const QStringList end = dumpInputTables();
        const int saved = history->stack()->count();
        QVERIFY2(saved >= steps - 2, qPrintable(made.join(QStringLiteral(", "))));
        // The menu names a step briefly, the History whole.
        for (int i = 0; i < saved; ++i) {
            const QUndoCommand* step = history->stack()->command(i);
            const QString brief = step->actionText();
            const bool cut = brief.endsWith(QChar(0x2026));
            QVERIFY2(brief.size() <= EditHistory::MenuTextLength + 1
                    && (cut ? step->text().startsWith(brief.chopped(1)) : step->text() == brief),
                qPrintable(step->text() + QLatin1String(" / ") + step->actionText()));
        }

        // Half through Edit > Undo, the rest at once through the History.
        for (int step = 0; step < saved / 2; ++step)
            history->undoAction()->trigger();
        QCOMPARE(history->stack()->index(), saved - saved / 2);
        history->stack()->setIndex(0);
        QCOMPARE(history->lastRefusal(), QString());
        QCOMPARE(dumpInputTables(), start);
        QVERIFY(diagnostics().filter(QStringLiteral("Undone: ")).size() == saved);
        // What the move recomputed is listed by the time it returns, after what it undid: the
        // baseline and every scenario, the last run's lines too.
        const QStringList shown = diagnostics();
        const int lastUndone = shown.lastIndexOf(QRegularExpression(QStringLiteral("Undone: .*")));
        QSqlQuery scenarios(TarnDbMgr::instance()->database());
        QVERIFY(
            scenarios.exec(QStringLiteral("SELECT COUNT(*) FROM Scenario")) && scenarios.next());
        const QStringList runs = shown.mid(lastUndone)
                                     .filter(QRegularExpression(
                                         QStringLiteral("^Calculating (Baseline|Scenario .*):$")));
        // Once each: a scenario computed whole is not also run after the baseline.
        QVERIFY2(runs.size() == 1 + scenarios.value(0).toInt(),
            qPrintable(runs.join(QLatin1Char('\n'))));
        scenarios.finish();
        QVERIFY2(shown.last().startsWith(
                     QLatin1String("Undo finished; results recomputed for the baseline, \"")),
            qPrintable(shown.last()));
        const QString atStart = _path + QStringLiteral(".start.db");
        QFile::remove(atStart);
        QVERIFY(QFile::copy(_path, atStart));

        history->stack()->setIndex(saved);
        QCOMPARE(history->lastRefusal(), QString());
        QCOMPARE(dumpInputTables(), end);

        _window.reset();
        const QStringList startResults = differencesFromFullRecalculation(atStart);
        QVERIFY2(startResults.isEmpty(), qPrintable(startResults.join(QLatin1Char('\n'))));
        const QStringList endResults = differencesFromFullRecalculation(_path);
        QVERIFY2(endResults.isEmpty(), qPrintable(endResults.join(QLatin1Char('\n'))));
    }

    // Taking back a baseline step needs the baseline password where one is set, once for all
    // the steps of one move; a scenario's step does not.
    void baselineStepsNeedThePassword()
    {
        _random.seed(5);
        const QStringList before = dumpInputTables();
        {
            ModalDriver steps;
            addSite(steps);
            child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(1);
            QTimer::singleShot(0, _window.get(),
                [this] { child<QPushButton>(_window.get(), "_editBaselineButton")->click(); });
            QTRY_VERIFY_WITH_TIMEOUT(steps.done() && !QApplication::activeModalWidget(), 30000);
        }
        {
            ModalDriver scenario;
            addScenario(scenario);
            QTRY_VERIFY_WITH_TIMEOUT(scenario.done() && !QApplication::activeModalWidget(), 30000);
        }
        EditHistory* history = _window->history();
        QCOMPARE(history->stack()->count(), 2);
        // The password is set elsewhere (the same connection, as the baseline dialog would).
        QSqlQuery set(TarnDbMgr::instance()->database());
        set.prepare(QStringLiteral("UPDATE Baseline SET %1 = ?")
                        .arg(testColumn(QStringLiteral("Baseline"), 8)));
        set.addBindValue(Password::digest(QStringLiteral("secret")));
        QVERIFY(set.exec());
        history->undoAction()->trigger(); // the scenario: no password asked
        QCOMPARE(history->stack()->index(), 1);

        ModalDriver refused;
        refused.expect<QInputDialog>([](QInputDialog* dialog) { dialog->reject(); });
        refused.answer(QMessageBox::Ok);
        history->undoAction()->trigger();
        QVERIFY(refused.done());
        QVERIFY2(refused.texts.value(0).contains(QLatin1String("password")),
            qPrintable(refused.texts.join(QLatin1Char('|'))));
        QCOMPARE(history->stack()->index(), 1);

        ModalDriver given;
        given.expect<QInputDialog>([](QInputDialog* dialog) {
            dialog->setTextValue(QStringLiteral("secret"));
            dialog->accept();
        });
        history->undoAction()->trigger();
        QVERIFY(given.done());
        QVERIFY2(given.unexpected.isEmpty(), qPrintable(given.unexpected.join(QLatin1Char('|'))));
        QCOMPARE(history->stack()->index(), 0);
        // Everything as it was, but for the password set in between.
        const auto withoutBaselineRow = [](QStringList lines) {
            lines.erase(std::remove_if(lines.begin(), lines.end(),
                            [](const QString& line) {
                                return line.startsWith(QLatin1String("Baseline|"));
                            }),
                lines.end());
            return lines;
        };
        QCOMPARE(withoutBaselineRow(dumpInputTables()), withoutBaselineRow(before));
    }

    // A step whose rows another program changed since is refused: nothing of it changes, the
    // steps after it stay undone, and the history shows where the project is.
    void stepChangedElsewhereIsRefused()
    {
        _random.seed(11);
        // Drivers end with their steps: a driver left running answers any message box.
        {
            ModalDriver first;
            addSite(first);
            child<QTabWidget>(_window.get(), "_mainTabWidget")->setCurrentIndex(1);
            QTimer::singleShot(0, _window.get(),
                [this] { child<QPushButton>(_window.get(), "_editBaselineButton")->click(); });
            QTRY_VERIFY_WITH_TIMEOUT(first.done() && !QApplication::activeModalWidget(), 30000);
        }

        // Another program writes a note on the site the step added.
        {
            TARN::okstat opened;
            QSqlDatabase other = ProjectFile::openConnection(_path, &opened);
            QVERIFY(opened.isOk());
            QSqlQuery note(other);
            QVERIFY(note.exec(QStringLiteral("UPDATE AggDiv SET %1 = 'changed elsewhere' WHERE "
                                             "AggDivID = (SELECT MAX(AggDivID) FROM AggDiv)")
                                  .arg(testColumn(QStringLiteral("AggDiv"), 5))));
            const QString name = other.connectionName();
            note = QSqlQuery();
            other.close();
            other = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
        }
        const QStringList changedElsewhere = dumpInputTables();

        {
            ModalDriver second;
            editYearlyValue(second);
            QTimer::singleShot(0, _window.get(),
                [this] { child<QPushButton>(_window.get(), "_editBaselineButton")->click(); });
            QTRY_VERIFY_WITH_TIMEOUT(second.done() && !QApplication::activeModalWidget(), 30000);
        }
        EditHistory* history = _window->history();
        QCOMPARE(history->stack()->count(), 2);
        QVERIFY(dumpInputTables() != changedElsewhere);

        ModalDriver refusal;
        refusal.answer(QMessageBox::Ok);
        history->stack()->setIndex(0);
        QVERIFY(refusal.done());
        // The name says what the step did: the site it added leads.
        QVERIFY2(
            refusal.texts.value(0).startsWith(QLatin1String("\"Baseline: site \"Site 1\" added")),
            qPrintable(refusal.texts.value(0)));
        QCOMPARE(refusal.texts.size(), 1);
        QVERIFY2(refusal.texts.first().contains(QLatin1String("was not undone"))
                && refusal.texts.first().contains(QLatin1String("changed since")),
            qPrintable(refusal.texts.first()));
        // The move went part of the way, and says so.
        QVERIFY2(refusal.texts.first().endsWith(
                     QLatin1String("The later step was undone; this one and those before it "
                                   "were left as they are.")),
            qPrintable(refusal.texts.first()));
        QCOMPARE(history->stack()->index(), 1);
        QCOMPARE(dumpInputTables(), changedElsewhere);
        QCOMPARE(diagnostics().filter(QStringLiteral("Undone: ")).size(), 1);
    }
};

QTEST_MAIN(TestUndoHistory)
#include "tst_undohistory.moc"
