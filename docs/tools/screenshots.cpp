// Takes the guide's screenshots from the real windows: makes the demo project in a temporary
// folder, computes its results, opens it in the main window and walks through the tabs and the
// dialogs, grabbing each one. Runs on any platform plugin; the build uses "offscreen".
//
// Usage: tarnhelm-screenshots OUTPUT_FOLDER

#include "app/TARNMainWindow.h"
#include "calc/BaselineChangeLog.h"
#include "calc/CalcStatusInfo.h"
#include "calc/Recalculation.h"
#include "db/TarnDbMgr.h"
#include "db/okstat.h"
#include "demo/DemoProject.h"
#include "export/DataExporter.h"
#include "ui/export/WorkbookDiffDlg.h"
#include "workbook/WorkbookDiff.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdlib>
#include <functional>

namespace {

QString g_outDir;
QStringList g_taken;
QStringList g_missed;

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

void save(QWidget* widget, const QString& name)
{
    if (!widget) {
        g_missed << name;
        return;
    }
    settle();
    const QString path = QDir(g_outDir).filePath(name + QStringLiteral(".png"));
    if (widget->grab().save(path))
        g_taken << name;
    else
        g_missed << name;
}

template<typename T>
T* child(QObject* parent, const char* name)
{
    return parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

// Runs step once the dialog that trigger opens modally is up, with that dialog. The step must
// close it; the trigger returns when it is closed. When the trigger opens nothing, the wait
// ends with it, so that a later dialog is never taken for this one.
void withModal(const std::function<void()>& trigger, const std::function<void(QDialog*)>& step)
{
    QWidget* before = QApplication::activeModalWidget();
    QTimer poll;
    bool ran = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (dialog && modal != before && dialog->isVisible() && !ran) {
            ran = true;
            poll.stop();
            step(dialog);
        }
    });
    poll.start(20);
    trigger();
    poll.stop();
}

// Cancels a dialog as its Cancel button does, answering Yes to the question whether to cancel.
void cancel(QDialog* dialog)
{
    if (qEnvironmentVariableIsSet("TARNHELM_SHOTS_TRACE"))
        QTextStream(stderr) << "cancel " << dialog->metaObject()->className() << "\n";
    // The question may come late on a busy machine: answer it whenever it shows, and stop
    // only once the dialog has closed.
    auto* poll = new QTimer;
    QPointer<QDialog> watched(dialog);
    QObject::connect(poll, &QTimer::timeout, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->button(QMessageBox::Yes)) {
            box->button(QMessageBox::Yes)->click();
            return;
        }
        if (watched && watched->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
    });
    poll->start(20);
    dialog->reject();
}

// The demo's results, as "Recalculate All Data" would make them.
TARN::okstat computeDemo(const QString& path)
{
    const TARN::okstat opened = TarnDbMgr::instance()->openDatabase(path);
    if (opened.failed())
        return opened;
    BaselineChangeLog log;
    log.setFullRecalculation();
    return Recalculation(log).run();
}

void selectFirstRow(QTableView* view)
{
    if (view && view->model() && view->model()->rowCount() > 0)
        view->selectRow(0);
}

void showTab(TARNMainWindow& window, int index, const QString& name)
{
    auto* tabs = child<QTabWidget>(&window, "_mainTabWidget");
    tabs->setCurrentIndex(index);
    save(&window, name);
}

void baselineShots(TARNMainWindow& window)
{
    withModal([&window] { child<QPushButton>(&window, "_editBaselineButton")->click(); },
        [](QDialog* baseline) {
            baseline->resize(900, 600);
            auto* tabs = child<QTabWidget>(baseline, "_baselineTabWiget");
            if (!tabs) {
                g_missed << QStringLiteral("baseline-attributes");
                cancel(baseline);
                return;
            }
            tabs->setCurrentIndex(0);
            selectFirstRow(child<QTableView>(baseline, "_attributeTableView"));
            save(baseline, QStringLiteral("baseline-attributes"));
            tabs->setCurrentIndex(2);
            save(baseline, QStringLiteral("baseline-settings"));
            withModal(
                [baseline] { child<QPushButton>(baseline, "_modifyTimeRangeButton")->click(); },
                [](QDialog* range) {
                    save(range, QStringLiteral("time-range"));
                    range->reject();
                });
            withModal(
                [baseline] { child<QPushButton>(baseline, "_modifyPasswordButton")->click(); },
                [](QDialog* password) {
                    save(password, QStringLiteral("password"));
                    password->reject();
                });
            tabs->setCurrentIndex(1);
            selectFirstRow(child<QTableView>(baseline, "_aggDivTableView"));
            selectFirstRow(child<QTableView>(baseline, "_waterUserTableView"));
            save(baseline, QStringLiteral("baseline-sites"));
            withModal([baseline] { child<QPushButton>(baseline, "_editAggDivButton")->click(); },
                [](QDialog* site) {
                    save(site, QStringLiteral("site-dialog"));
                    cancel(site);
                });
            withModal([baseline] { child<QPushButton>(baseline, "_editWaterUserButton")->click(); },
                [](QDialog* user) {
                    user->resize(820, 640);
                    auto* userTabs = child<QTabWidget>(user, "_waterUserTabWidget");
                    if (userTabs) {
                        userTabs->setCurrentIndex(0);
                        save(user, QStringLiteral("water-user-attributes"));
                        userTabs->setCurrentIndex(1);
                    }
                    save(user, QStringLiteral("water-user-data"));
                    cancel(user);
                });
            cancel(baseline);
        });
}

void scenarioShots(TARNMainWindow& window)
{
    child<QTabWidget>(&window, "_mainTabWidget")->setCurrentIndex(2);
    selectFirstRow(child<QTableView>(&window, "_scenarioTableView"));
    save(&window, QStringLiteral("main-scenarios"));
    withModal([&window] { child<QPushButton>(&window, "_editScenarioButton")->click(); },
        [](QDialog* scenario) {
            scenario->resize(820, 600);
            auto* changes = child<QTableView>(scenario, "_demandChgTableView");
            selectFirstRow(changes);
            save(scenario, QStringLiteral("scenario-dialog"));
            if (changes && changes->model() && changes->model()->rowCount() > 0) {
                const QModelIndex first = changes->model()->index(0, 1);
                withModal([changes, first] { emit changes->doubleClicked(first); },
                    [](QDialog* change) {
                        change->resize(900, 680);
                        save(change, QStringLiteral("change-dialog"));
                        cancel(change);
                    });
            } else {
                g_missed << QStringLiteral("change-dialog");
            }
            cancel(scenario);
        });
}

void plotShots(TARNMainWindow& window)
{
    child<QTabWidget>(&window, "_mainTabWidget")->setCurrentIndex(3);
    selectFirstRow(child<QTableView>(&window, "_plotTableView"));
    save(&window, QStringLiteral("main-plotting"));
    withModal([&window] { child<QPushButton>(&window, "_editPlotButton")->click(); },
        [](QDialog* plot) {
            selectFirstRow(child<QTableView>(plot, "_curveTableView"));
            save(plot, QStringLiteral("plot-dialog"));
            withModal([plot] { child<QPushButton>(plot, "_editCurveButton")->click(); },
                [](QDialog* curve) {
                    save(curve, QStringLiteral("curve-dialog"));
                    cancel(curve);
                });
            cancel(plot);
        });

    // "Generate" opens a chart window that is not modal; it is the newest top-level dialog.
    // Cancelling the plot dialog reloads the list, which drops the selection.
    selectFirstRow(child<QTableView>(&window, "_plotTableView"));
    const QWidgetList before = QApplication::topLevelWidgets();
    child<QPushButton>(&window, "_generatePlotButton")->click();
    QDialog* chart = nullptr;
    const QWidgetList after = QApplication::topLevelWidgets();
    for (QWidget* widget : after) {
        if (!before.contains(widget) && qobject_cast<QDialog*>(widget) && widget->isVisible())
            chart = qobject_cast<QDialog*>(widget);
    }
    if (chart) {
        chart->resize(860, 560);
        settle();
    }
    save(chart, QStringLiteral("plot-window"));
    if (chart)
        chart->close();
}

// The comparison window: the demo exported, one month of one water user changed, exported again.
void compareShot(TARNMainWindow& window, const QString& folder)
{
    QSqlDatabase& db = TarnDbMgr::instance()->database();
    const QString before = QDir(folder).filePath(QStringLiteral("before.xlsx"));
    const QString after = QDir(folder).filePath(QStringLiteral("after.xlsx"));
    const QList<int> ids { DataExporter::BaselineId, 1, 2 };
    DataExporter exporter(nullptr, db);
    QSqlQuery edit(db);
    Workbook::WorkbookComparison comparison;
    QString error;
    if (exporter.exportData(before, ids, 1990, 2020).failed()
        || !edit.exec(QStringLiteral(
            "UPDATE BaseMonthlyWaterUser SET DepletionValue = DepletionValue + 12.5 WHERE "
            "Month BETWEEN '2005-04-01' AND '2005-09-01' AND WaterUserID = (SELECT "
            "MIN(WaterUserID) FROM WaterUser)"))
        || exporter.exportData(after, ids, 1990, 2020).failed()
        || !Workbook::WorkbookDiff().compareFiles(before, after, &comparison, &error)) {
        g_missed << QStringLiteral("compare-window");
        return;
    }
    WorkbookDiffDlg dialog(comparison, &window);
    dialog.resize(1040, 480);
    dialog.show();
    save(&dialog, QStringLiteral("compare-window"));
    dialog.close();
}

} // namespace

int main(int argc, char** argv)
{
    qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");
    qRegisterMetaType<TARN::okstat>("okstat");
    Q_INIT_RESOURCE(tarnhelm);
    QApplication app(argc, argv);
    app.setStyleSheet(QStringLiteral("QTableView:!active { selection-background-color: #d9d9d9 }"));
    QTextStream err(stderr);
    if (QCoreApplication::arguments().size() != 2) {
        err << "Usage: tarnhelm-screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    g_outDir = QCoreApplication::arguments().at(1);
    // A dialog that waits for an answer nobody gives must not stall the build.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        QTextStream(stderr) << "Screenshots stalled after: " << g_taken.join(QStringLiteral(", "))
                            << "\n";
        std::_Exit(1);
    });
    watchdog.start(120000);
    if (!QDir().mkpath(g_outDir)) {
        err << "Cannot make the folder " << g_outDir << "\n";
        return 1;
    }

    QTemporaryDir temp;
    const QString demo = QDir(temp.path()).filePath(QStringLiteral("demo-basin.db"));
    TARN::okstat status = DemoProject::createDemo(demo);
    if (status.isOk())
        status = computeDemo(demo);
    if (status.failed()) {
        err << "Cannot prepare the demo project: " << status.text() << "\n";
        return 1;
    }

    TARNMainWindow window;
    window.resize(760, 500);
    window.show();
    save(&window, QStringLiteral("main-start"));
    if (!window.connectToDatabase(demo)) {
        err << "Cannot open the demo project in the main window\n";
        return 1;
    }
    child<QLineEdit>(&window, "_dbPathLineEdit")->setText(demo);
    showTab(window, 0, QStringLiteral("main-database"));
    showTab(window, 1, QStringLiteral("main-baseline"));
    baselineShots(window);
    scenarioShots(window);
    plotShots(window);
    showTab(window, 4, QStringLiteral("main-exporting"));
    compareShot(window, temp.path());
    window.close();

    QTextStream out(stdout);
    out << "Screenshots taken: " << g_taken.join(QStringLiteral(", ")) << "\n";
    if (!g_missed.isEmpty()) {
        err << "Screenshots missing: " << g_missed.join(QStringLiteral(", ")) << "\n";
        return 1;
    }
    return 0;
}
