#include "ui/plot/PlotDisplayDlg.h"
#include "ui_PlotDisplayDlg.h"

#include "calc/DemandCalculator.h"
#include "db/ModelOps.h"
#include "db/TarnDbMgr.h"
#include "ui/common/CalcStatusDlg.h"
#include "ui/common/CalcStatusJob.h"
#include "ui/common/ModalRunner.h"
#include "ui/plot/TarnChart.h"

#include <QApplication>
#include <QChartView>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QtConcurrent>

#include <cmath>

using namespace QtCharts;

PlotDisplayDlg::PlotDisplayDlg(const QString& title, QWidget* parent)
    : TarnDlg(parent)
    , _ui(new Ui::PlotDisplayWidgets)
    , _title(title)
{
    _ui->setupUi(this);
    setWindowTitle(title);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(_ui->_regenerateButton, &QPushButton::clicked, this, &PlotDisplayDlg::generate);
}

PlotDisplayDlg::~PlotDisplayDlg()
{
    delete _ui;
}

TarnChart* PlotDisplayDlg::chart() const
{
    return _chartView ? qobject_cast<TarnChart*>(_chartView->chart()) : nullptr;
}

CalcStatusDlg* PlotDisplayDlg::runningWorkerDialog()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        auto* status = qobject_cast<CalcStatusDlg*>(window);
        if (status && status->isRunning())
            return status;
    }
    return nullptr;
}

void PlotDisplayDlg::showEvent(QShowEvent* event)
{
    TarnDlg::showEvent(event);
    // A window restored from the task bar is shown again; only the first show draws.
    if (_shownOnce)
        return;
    _shownOnce = true;
    generate();
}

void PlotDisplayDlg::generate()
{
    // Drawing saves the opener's edits and queries the result tables. While a calculation or
    // an export works on the one connection the drawing waits for it to end.
    if (CalcStatusDlg* busy = runningWorkerDialog()) {
        if (!_waitingForWorker) {
            _waitingForWorker = true;
            connect(
                busy, &QDialog::finished, this,
                [this] {
                    _waitingForWorker = false;
                    generate();
                },
                Qt::QueuedConnection);
        }
        return;
    }

    emit preGenerate();
    const QVector<YearlySums> sums = readSums(plotQueries());

    auto* chart = new TarnChart;
    // Under the chart, so that the plot gets the width (TarnChart moves it to the side when
    // its entries do not fit there).
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    chart->legend()->setShowToolTips(true);
    chart->setTitle(_title.toHtmlEscaped());

    addPlotSeries(chart, sums);
    chart->finishAxes();

    if (_chartView) {
        _ui->_chartLayout->removeWidget(_chartView);
        delete _chartView;
    }
    _chartView = new QChartView(chart, this);
    _chartView->setRenderHint(QPainter::Antialiasing);
    _ui->_chartLayout->addWidget(_chartView);
}

void PlotDisplayDlg::recalculate(DemandCalculator* calculator, const BaselineChangeLog* changeLog)
{
    calculator->initialize(changeLog, false);
    const TARN::okstat result = ModalRunner::runCalculator(this, *calculator);
    delete calculator;
    if (result.failed())
        showWarning(result.text());
}

bool PlotDisplayDlg::isMassMethod(int salinityMethodID)
{
    return salinityMethodID == 1 || salinityMethodID == 4;
}

QVector<PlotDisplayDlg::YearlySums> PlotDisplayDlg::readSums(
    const QVector<YearlySumReader::Query>& queries)
{
    if (queries.isEmpty())
        return {};
    // The worker has the connection to itself: the modal status dialog keeps the user, and
    // so the GUI, away from it until the worker's end arrives.
    YearlySumReader reader(TarnDbMgr::instance()->database(), queries, _title);
    CalcStatusJob job
        = CalcStatusJob::other(QStringLiteral("Plot Status"), QStringLiteral("Reading:"));
    job.connectSignals(&reader, &YearlySumReader::readStatus, &YearlySumReader::readFinished);
    QFuture<void> running;
    const TARN::okstat read = ModalRunner::run(
        this, job, [&] { running = QtConcurrent::run([&reader] { reader.run(); }); },
        [&running] { running.waitForFinished(); });
    // The chart still shows what could be read.
    if (read.failed())
        showWarning(read.text());
    return reader.results();
}

namespace {

// A year without a value has no point: NaN would spoil the axis ranges and the line.
QLineSeries* makeSeries(
    const QString& name, const QVector<double>& years, const QVector<double>& values)
{
    auto* series = new QLineSeries;
    series->setName(name);
    for (int i = 0; i < years.size(); ++i) {
        if (std::isfinite(values.at(i)))
            series->append(years.at(i), values.at(i));
    }
    return series;
}

} // namespace

void PlotDisplayDlg::addBaselineSeries(TarnChart* chart, const YearlySums& sums)
{
    chart->addChartSeries(makeSeries(QStringLiteral("Depletion"), sums.years, sums.depletion),
        TarnChart::DepletionKind, false);
    chart->addChartSeries(makeSeries(QStringLiteral("Diversion"), sums.years, sums.diversion),
        TarnChart::DiversionKind, false);
    bool anySalinity = false;
    for (double value : sums.salinity) {
        if (std::isfinite(value) && value != 0.0)
            anySalinity = true;
    }
    if (!anySalinity)
        return;
    chart->addChartSeries(makeSeries(QStringLiteral("Salinity Pickup"), sums.years, sums.salinity),
        isMassMethod(sums.salinityMethodID) ? TarnChart::SalinityMassKind
                                            : TarnChart::SalinityConcentrationKind,
        false);
}
