// Times the steps of a planner's session in the real main window on the benchmark basin, on the
// offscreen platform, and for each step the longest stall of the event loop: how late a 10 ms
// timer on the GUI thread fired at worst, from the step's start until 100 ms after the window
// showed its result.
//
// Steps: open the project, open the baseline dialog, open a water user's dialog, OK with one
// edit (the water user dialog, then the baseline dialog, which recalculates the edited site in
// the baseline and in each scenario), open a scenario's dialog, generate the stored plot, open
// the water user selector of the plot's curve, and "Select All" of its water users and of its
// sites (which lists the water users anew); then the export of the baseline and every
// scenario to an .xlsx workbook from the Exporting tab, with how often its status dialog heard
// of it (at most about 20 times a second) and the longest stretch without a word.
//
// With the history on (the default), Edit > Undo of the "OK with one edit" step follows it.
//
// Usage: window_bench [--no-undo] [--screenshot DIR] [BASIN.db]
//   --no-undo  saves record no steps (and nothing is undone): the cost of recording them.
//   BASIN.db  a computed benchmark basin, copied before use (its results up to date: the plot
//             reads them); without it one is made with `tarnhelm-cli demo --large` and
//             `recalc --full` in a temporary folder, which takes a minute or two.
//   --screenshot DIR  saves the plot window and the selector as PNG files there.

#include "app/EditHistory.h"
#include "app/TARNMainWindow.h"
#include "calc/CalcStatusInfo.h"
#include "db/TarnDbMgr.h"
#include "db/okstat.h"
#include "export/DataExporter.h"
#include "ui/baseline/BaselineDlg.h"
#include "ui/baseline/WaterUserDlg.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/common/WaterUserDataViewModel.h"
#include "ui/plot/CurveDlg.h"
#include "ui/plot/PlotDlg.h"
#include "ui/plot/ScenarioPlotDlg.h"
#include "ui/scenario/ScenarioDlg.h"
#include "ui/scenario/WaterUserSelectorDlg.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThreadPool>
#include <QTimer>
#include <QUndoStack>

#include <cstdio>
#include <functional>

#include <unistd.h>

namespace {

const char* const Cli = TARNHELM_CLI_PATH;

template<typename T>
T* child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("missing child %s", name);
    return found;
}

// The lateness of a 10 ms timer on the GUI thread: it fires in every event loop, nested ones
// (modal dialogs) included, so a long gap between two firings is time the loop did not turn.
class StallMeter : public QObject {
public:
    StallMeter()
    {
        _timer.setTimerType(Qt::PreciseTimer);
        connect(&_timer, &QTimer::timeout, this, [this] {
            const qint64 now = _clock.nsecsElapsed();
            if (_measuring)
                _longest = std::max(_longest, now - _last);
            _last = now;
        });
        _clock.start();
        _last = 0;
        _timer.start(10);
    }
    void begin()
    {
        _measuring = true;
        _longest = _clock.nsecsElapsed() - _last; // a stall already going on counts
    }
    // The longest gap beyond the timer's 10 ms, in milliseconds.
    double end()
    {
        _longest = std::max(_longest, _clock.nsecsElapsed() - _last);
        _measuring = false;
        return std::max(0.0, _longest / 1e6 - 10.0);
    }

private:
    QTimer _timer;
    QElapsedTimer _clock;
    qint64 _last = 0;
    qint64 _longest = 0;
    bool _measuring = false;
};

// A session script: each stage waits until its condition holds (checked every few
// milliseconds, in whatever event loop runs), then acts from a timer of its own, since an
// action that opens a modal dialog returns only when the dialog closes. A stage with a name
// is a measured step: from its action until the next measured step's condition holds.
class Session : public QObject {
public:
    struct Stage {
        QString name; // empty: not measured
        std::function<bool()> ready;
        std::function<void()> action;
    };
    struct Result {
        QString name;
        double wallMs;
        double stallMs;
    };

    void add(const QString& name, std::function<bool()> ready, std::function<void()> action)
    {
        _stages.append({ name, std::move(ready), std::move(action) });
    }
    // A step ends when this holds; the meter goes on for 100 ms more (the first paint).
    void endsWhen(std::function<bool()> done) { _ends.insert(_stages.size() - 1, std::move(done)); }

    void run()
    {
        connect(&_poll, &QTimer::timeout, this, &Session::tick);
        _poll.start(2);
        _loop.exec();
    }

    QList<Result> results;
    QStringList messages;

private:
    void tick()
    {
        // Message boxes nobody expects (questions before a cancel) are answered Yes, or OK.
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (!_answering) {
                _answering = true;
                messages << box->text();
                QTimer::singleShot(0, box, [this, box] {
                    _answering = false;
                    QAbstractButton* yes = box->button(QMessageBox::Yes);
                    (yes ? yes : box->button(QMessageBox::Ok))->click();
                });
            }
            return;
        }
        if (_measured >= 0) {
            if (_settleFrom.isValid()) {
                if (_settleFrom.elapsed() >= 100) {
                    results.append({ _stages.at(_measured).name, _wallMs, _meter.end() });
                    std::printf("  %-28s %8.0f ms   longest stall %6.0f ms\n",
                        qPrintable(_stages.at(_measured).name), _wallMs, results.last().stallMs);
                    std::fflush(stdout);
                    _measured = -1;
                    _settleFrom.invalidate();
                }
                return;
            }
            if (_ends.value(_measured) && !_ends.value(_measured)()) {
                return;
            }
            _wallMs = _stepClock.nsecsElapsed() / 1e6;
            _settleFrom.start();
            return;
        }
        if (_busy || _next >= _stages.size()) {
            if (!_busy && _next >= _stages.size())
                _loop.quit();
            return;
        }
        const Stage& stage = _stages.at(_next);
        if (!stage.ready())
            return;
        const int index = _next++;
        _busy = true;
        QTimer::singleShot(0, this, [this, index] {
            _busy = false;
            if (!_stages.at(index).name.isEmpty()) {
                _measured = index;
                _stepClock.start();
                _meter.begin();
            }
            _stages.at(index).action();
        });
    }

    QList<Stage> _stages;
    QHash<int, std::function<bool()>> _ends;
    int _next = 0;
    int _measured = -1;
    bool _busy = false;
    bool _answering = false;
    double _wallMs = 0;
    QElapsedTimer _stepClock;
    QElapsedTimer _settleFrom;
    StallMeter _meter;
    QTimer _poll;
    QEventLoop _loop;
};

template<typename T>
std::function<bool()> modalIs()
{
    return [] { return qobject_cast<T*>(QApplication::activeModalWidget()) != nullptr; };
}

bool noModal()
{
    return QApplication::activeModalWidget() == nullptr;
}

int runCli(const QStringList& args)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QString::fromUtf8(Cli), args);
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(tarnhelm);
    qRegisterMetaType<TARN::okstat>("okstat");
    qRegisterMetaType<CalcStatusInfo>("CalcStatusInfo");

    QString basin;
    QString shots;
    bool recording = true;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--screenshot") && i + 1 < args.size())
            shots = args.at(++i);
        else if (args.at(i) == QLatin1String("--no-undo"))
            recording = false;
        else if (!args.at(i).startsWith(QLatin1Char('-')) && basin.isEmpty())
            basin = args.at(i);
        else {
            std::fprintf(stderr, "Usage: window_bench [--no-undo] [--screenshot DIR] [BASIN.db]\n");
            return 2;
        }
    }
    QTemporaryDir dir;
    const QString work = dir.filePath(QStringLiteral("basin.db"));
    if (basin.isEmpty()) {
        std::printf("Making and computing the benchmark basin in %s ...\n", qPrintable(dir.path()));
        std::fflush(stdout);
        if (runCli({ QStringLiteral("demo"), QStringLiteral("--large"), work }) != 0
            || runCli({ QStringLiteral("recalc"), work, QStringLiteral("--full") }) != 0) {
            std::fprintf(stderr, "making the basin failed\n");
            return 1;
        }
    } else if (!QFile::copy(basin, work)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(basin));
        return 1;
    }
    // The copy's pages are written out before the clock runs, so that the disk is quiet.
    ::sync();
    QDir::setCurrent(dir.path());

    TARNMainWindow window;
    // Without the history, saves record no steps: the cost of recording, side by side.
    if (!recording)
        TarnDbMgr::instance()->setRecordingSteps(false);
    window.resize(1000, 700);
    window.show();
    auto* tabs = child<QTabWidget>(&window, "_mainTabWidget");
    auto shoot = [&shots](QWidget* widget, const char* name) {
        if (!shots.isEmpty())
            widget->grab().save(QDir(shots).filePath(QString::fromLatin1(name)));
    };

    Session session;
    // Open the project.
    session.add(
        QString(), [] { return true; },
        [&] { child<QPushButton>(&window, "_browseButton")->click(); });
    session.add(QStringLiteral("open"), modalIs<QFileDialog>(), [] {
        auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        child<QLineEdit>(files, "fileNameEdit")->setText(QStringLiteral("basin.db"));
        static_cast<QDialog*>(files)->accept();
    });
    session.endsWhen([tabs] { return noModal() && tabs->widget(1)->isEnabled(); });

    // The baseline dialog, a water user's dialog, OK with one edit.
    session.add(QStringLiteral("baseline dialog"), noModal, [&] {
        tabs->setCurrentIndex(1);
        child<QPushButton>(&window, "_editBaselineButton")->click();
    });
    session.endsWhen(modalIs<BaselineDlg>());
    session.add(QStringLiteral("water user dialog"), modalIs<BaselineDlg>(), [] {
        auto* baseline = qobject_cast<BaselineDlg*>(QApplication::activeModalWidget());
        auto* users = child<QTableView>(baseline, "_waterUserTableView");
        users->setCurrentIndex(users->model()->index(0, 2));
        child<QPushButton>(baseline, "_editWaterUserButton")->click();
    });
    session.endsWhen(modalIs<WaterUserDlg>());
    session.add(QStringLiteral("OK with one edit"), modalIs<WaterUserDlg>(), [] {
        auto* waterUser = qobject_cast<WaterUserDlg*>(QApplication::activeModalWidget());
        WaterUserDataViewModel* data = waterUser->dataModel();
        data->setData(data->index(3, WaterUserDataViewModel::DepletionColumn), 777.25);
        child<QPushButton>(waterUser, "_okButton")->click();
        // Back in the baseline dialog's loop: its OK saves and recalculates.
        QTimer::singleShot(0, [] {
            if (auto* baseline = qobject_cast<BaselineDlg*>(QApplication::activeModalWidget()))
                child<QPushButton>(baseline, "_okButton")->click();
        });
    });
    session.endsWhen([] { return noModal() && !PlotDisplayDlg::runningWorkerDialog(); });

    // Edit > Undo of that step: its inverse applied, the edited site recomputed.
    bool undone = false;
    if (recording) {
        // The undo returns once it has recomputed; between two runs' status dialogs no modal
        // window is up, so that alone does not tell the end.
        session.add(QStringLiteral("undo of that step"), noModal, [&] {
            window.history()->undoAction()->trigger();
            undone = true;
        });
        session.endsWhen([&] { return undone && noModal(); });
        // What the undo said it recomputed, after its "Undone:" line.
        session.add(QString(), noModal, [&] {
            const QString text = child<QTextEdit>(&window, "_diagTextEdit")->toPlainText();
            const QString undone = text.mid(text.lastIndexOf(QLatin1String("Undone: ")));
            if (qEnvironmentVariableIsSet("WINDOW_BENCH_DIAG")) {
                QFile out(QString::fromLocal8Bit(qgetenv("WINDOW_BENCH_DIAG")));
                if (out.open(QIODevice::WriteOnly))
                    out.write(text.toUtf8());
            }
            std::printf("  (the undo recomputed %d sites in %d runs)\n",
                int(undone.count(QLatin1String("Computing Agg Diversion"))),
                int(undone.count(QLatin1String("Calculating "))));
        });
    }

    // A scenario's dialog, closed again.
    session.add(QStringLiteral("scenario dialog"), noModal, [&] {
        tabs->setCurrentIndex(2);
        auto* scenarios = child<QTableView>(&window, "_scenarioTableView");
        scenarios->selectRow(0);
        child<QPushButton>(&window, "_editScenarioButton")->click();
    });
    session.endsWhen(modalIs<ScenarioDlg>());
    session.add(QString(), modalIs<ScenarioDlg>(), [] {
        auto* scenario = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        child<QPushButton>(scenario, "_cancelButton")->click();
    });

    // The stored plot.
    ScenarioPlotDlg* plot = nullptr;
    session.add(QStringLiteral("plot"), noModal, [&] {
        tabs->setCurrentIndex(3);
        child<QTableView>(&window, "_plotTableView")->selectRow(0);
        child<QPushButton>(&window, "_generatePlotButton")->click();
    });
    session.endsWhen([&] {
        const auto windows = window.findChildren<ScenarioPlotDlg*>();
        plot = windows.isEmpty() ? nullptr : windows.first();
        return plot && plot->chart() && !PlotDisplayDlg::runningWorkerDialog();
    });
    session.add(
        QString(), [&] { return plot != nullptr; },
        [&] {
            shoot(plot, "plot.png");
            plot->close();
        });

    // The water user selector of the plot's curve, and its two "Select All" buttons.
    session.add(
        QString(), noModal, [&] { child<QPushButton>(&window, "_editPlotButton")->click(); });
    session.add(QString(), modalIs<PlotDlg>(), [] {
        auto* dialog = QApplication::activeModalWidget();
        child<QTableView>(dialog, "_curveTableView")->selectRow(0);
        child<QPushButton>(dialog, "_editCurveButton")->click();
    });
    session.add(QStringLiteral("selector"), modalIs<CurveDlg>(), [] {
        child<QPushButton>(QApplication::activeModalWidget(), "_selectWaterUsersButton")->click();
    });
    session.endsWhen(modalIs<WaterUserSelectorDlg>());
    session.add(QString(), modalIs<WaterUserSelectorDlg>(), [&] {
        auto* selector = QApplication::activeModalWidget();
        shoot(selector, "selector.png");
        child<QTableWidget>(selector, "_watUsrTableWidget")->clearSelection();
    });
    session.add(QStringLiteral("Select All (water users)"), modalIs<WaterUserSelectorDlg>(),
        [] { child<QPushButton>(QApplication::activeModalWidget(), "_selAllWatUsrBtn")->click(); });
    session.add(QString(), modalIs<WaterUserSelectorDlg>(), [] {
        child<QTableWidget>(QApplication::activeModalWidget(), "_aggDivTableWidget")
            ->clearSelection();
    });
    session.add(QStringLiteral("Select All (sites)"), modalIs<WaterUserSelectorDlg>(),
        [] { child<QPushButton>(QApplication::activeModalWidget(), "_selAllAggDivBtn")->click(); });
    session.add(QString(), modalIs<WaterUserSelectorDlg>(), [] {
        auto* selector = QApplication::activeModalWidget();
        const int rows = child<QTableWidget>(selector, "_watUsrTableWidget")->rowCount();
        std::printf("  (the selector lists %d water users)\n", rows);
        child<QPushButton>(selector, "_cancelButton")->click();
    });
    session.add(QString(), modalIs<CurveDlg>(),
        [] { child<QPushButton>(QApplication::activeModalWidget(), "_cancelButton")->click(); });
    session.add(QString(), modalIs<PlotDlg>(),
        [] { child<QPushButton>(QApplication::activeModalWidget(), "_cancelButton")->click(); });
    // The export of every sheet, from the Exporting tab.
    const QString book = dir.filePath(QStringLiteral("bench.xlsx"));
    QVector<qint64> heard; // when a status reached the GUI thread, in ms since the click
    qint64 saveStarted = -1; // when the first "Closing workbook" arrived
    QElapsedTimer exportClock;
    session.add(QStringLiteral("export (every sheet)"), noModal, [&] {
        tabs->setCurrentIndex(4);
        auto* list = child<QListWidget>(&window, "_expScenListWidget");
        for (int row = 0; row < list->count(); ++row)
            list->item(row)->setCheckState(Qt::Checked);
        auto* file = child<QLineEdit>(&window, "_expFileLineEdit");
        file->setText(book);
        emit file->editingFinished();
        exportClock.start();
        child<QPushButton>(&window, "_expButton")->click();
        const auto exporters = window.findChildren<DataExporter*>();
        if (!exporters.isEmpty())
            QObject::connect(exporters.last(), &DataExporter::exportStatus, &window,
                [&](const CalcStatusInfo& info) {
                    heard.append(exportClock.elapsed());
                    if (saveStarted < 0 && info.status == QLatin1String("Closing workbook"))
                        saveStarted = heard.last();
                });
    });
    session.endsWhen([&] { return QFile::exists(book) && noModal(); });
    session.add(QString(), noModal, [] {});

    std::printf("Window steps on %s (offscreen):\n", qPrintable(basin.isEmpty() ? work : basin));
    std::fflush(stdout);
    session.run();
    QThreadPool::globalInstance()->waitForDone(); // the export's worker ends before the window

    if (!heard.isEmpty()) {
        // Before its first status the window checks that the results are current, under a
        // status window of its own that reports every 100 ms: that time is given apart.
        qint64 longestGap = 0;
        int mostInASecond = 0;
        for (int i = 0, j = 0; i < heard.size(); ++i) {
            if (i > 0)
                longestGap = std::max(longestGap, heard.at(i) - heard.at(i - 1));
            while (heard.at(i) - heard.at(j) >= 1000)
                ++j;
            mostInASecond = std::max(mostInASecond, i - j + 1);
        }
        std::printf("export: results check before it %.1f s; %d statuses in %.1f s (the save from "
                    "%.1f s on), at most %d within a second (goal about 20), longest stretch "
                    "without one %lld ms (goal <= 1000)\n",
            heard.first() / 1000.0, heard.size(), heard.last() / 1000.0, saveStarted / 1000.0,
            mostInASecond, longestGap);
    }
    double worst = 0;
    for (const auto& result : qAsConst(session.results))
        worst = std::max(worst, result.stallMs);
    std::printf("longest stall of any step: %.0f ms (goal <= 100)\n", worst);
    if (!session.messages.isEmpty())
        std::printf(
            "messages answered: %s\n", qPrintable(session.messages.join(QStringLiteral(" | "))));
    return 0;
}
