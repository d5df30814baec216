#include "ui/plot/TarnChart.h"

#include "ui/common/NumberText.h"

#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsSceneResizeEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLocale>
#include <QPainter>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace QtCharts;

TarnChart::SeriesTooltip::SeriesTooltip(QGraphicsItem* parent)
    : QGraphicsItem(parent)
{
    setZValue(11);
}

void TarnChart::SeriesTooltip::setText(const QString& html)
{
    prepareGeometryChange();
    _text = html;
    _document.setHtml(html);
    _rect = QRectF(QPointF(0, 0), _document.size());
}

QRectF TarnChart::SeriesTooltip::boundingRect() const
{
    return _rect;
}

void TarnChart::SeriesTooltip::paint(
    QPainter* painter, const QStyleOptionGraphicsItem* /*option*/, QWidget* /*widget*/)
{
    painter->setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter->drawRect(_rect);
    _document.drawContents(painter, _rect);
}

TarnChart::TarnChart(QGraphicsItem* parent)
    : QChart(parent)
    , _tooltip(new SeriesTooltip(this))
{
    _tooltip->hide();
}

QString TarnChart::kindLabel(int kind)
{
    switch (kind) {
    case DiversionKind:
        return QStringLiteral("Diversion");
    case DepletionKind:
        return QStringLiteral("Depletion");
    case SalinityMassKind:
    case SalinityConcentrationKind:
        return QStringLiteral("Salinity");
    default:
        return QString();
    }
}

QString TarnChart::kindUnits(int kind)
{
    switch (kind) {
    case DiversionKind:
    case DepletionKind:
        return QStringLiteral("KAF/yr");
    case SalinityMassKind:
        return QStringLiteral("tons/yr");
    case SalinityConcentrationKind:
        return QStringLiteral("mg/l");
    default:
        return QString();
    }
}

int TarnChart::slotOfKind(int kind)
{
    switch (kind) {
    case SalinityMassKind:
        return MassAxis;
    case SalinityConcentrationKind:
        return ConcentrationAxis;
    default:
        return FlowAxis;
    }
}

QValueAxis* TarnChart::valueAxisOfKind(int kind) const
{
    return _axes[slotOfKind(kind)].axis;
}

QValueAxis* TarnChart::ensureAxis(AxisSlot slot)
{
    AxisState& state = _axes[slot];
    if (state.axis)
        return state.axis;
    auto* axis = new QValueAxis(this);
    axis->setLabelFormat(QStringLiteral("%d"));
    Qt::Alignment alignment = Qt::AlignRight;
    switch (slot) {
    case YearAxis:
        axis->setTitleText(QStringLiteral("Year"));
        alignment = Qt::AlignBottom;
        break;
    case FlowAxis:
        axis->setTitleText(QStringLiteral("Flow (KAF/yr)"));
        alignment = Qt::AlignLeft;
        break;
    case MassAxis:
        axis->setTitleText(QStringLiteral("Salinity (tons/yr)"));
        break;
    case ConcentrationAxis:
        axis->setTitleText(QStringLiteral("Salinity (mg/l)"));
        break;
    case AxisCount:
        break;
    }
    addAxis(axis, alignment);
    state.axis = axis;
    return axis;
}

void TarnChart::widen(AxisSlot slot, double value)
{
    AxisState& state = _axes[slot];
    if (!std::isfinite(value))
        return;
    if (!state.seen) {
        state.seen = true;
        state.min = value;
        state.max = value;
        return;
    }
    state.min = std::min(state.min, value);
    state.max = std::max(state.max, value);
}

void TarnChart::addChartSeries(QLineSeries* series, int kind, bool showName)
{
    addSeries(series);
    const AxisSlot valueSlot = static_cast<AxisSlot>(slotOfKind(kind));
    QValueAxis* xAxis = ensureAxis(YearAxis);
    QValueAxis* yAxis = ensureAxis(valueSlot);
    series->attachAxis(xAxis);
    series->attachAxis(yAxis);
    _axes[YearAxis].used = true;
    _axes[valueSlot].used = true;

    const QVector<QPointF> points = series->pointsVector();
    for (const QPointF& point : points) {
        widen(YearAxis, point.x());
        widen(valueSlot, point.y());
    }
    xAxis->setRange(_axes[YearAxis].min, _axes[YearAxis].max);
    yAxis->setRange(_axes[valueSlot].min, _axes[valueSlot].max);

    const QString name = showName ? series->name() : QString();
    const QString label = kindLabel(kind);
    const QString units = kindUnits(kind);
    connect(series, &QLineSeries::hovered, this,
        [this, series, name, label, units](const QPointF& point, bool state) {
            seriesHoveredHandler(series, point, state, name, label, units);
        });
    const QList<QLegendMarker*> markers = legend()->markers(series);
    for (QLegendMarker* marker : markers)
        connect(marker, &QLegendMarker::clicked, this, &TarnChart::legendMarkerClickedHandler);
}

void TarnChart::finishAxes()
{
    for (AxisSlot slot : { FlowAxis, MassAxis, ConcentrationAxis }) {
        QValueAxis* axis = ensureAxis(slot);
        const AxisState& state = _axes[slot];
        // The pad is a size: with a negative maximum a signed pad would pull the minimum
        // inwards and cut off the lowest points.
        const double pad = 0.05 * std::abs(state.max);
        const double max = state.max >= 0 ? state.max + pad : 0.0;
        const double min = state.min < 0 ? state.min - pad : 0.0;
        if (max > min) {
            axis->setRange(min, max);
            axis->applyNiceNumbers();
        } else {
            // Nice numbers of an empty range would divide by zero; such an axis shows 0 and 1.
            axis->setRange(min, min + 1.0);
            axis->setTickCount(2);
        }
        axis->setLabelFormat(labelFormatFor(*axis));
        // The vertical axes share at most 0.4 of the chart's width: an empty one would take
        // room from the others' labels, which the chart would then cut short.
        axis->setVisible(state.used || !_axes[YearAxis].used);
    }
    roundYearTicks();
    fitLegend();
}

void TarnChart::resizeEvent(QGraphicsSceneResizeEvent* event)
{
    QChart::resizeEvent(event);
    fitLegend();
}

void TarnChart::roundYearTicks()
{
    QValueAxis* years = _axes[YearAxis].axis;
    if (!years || !_axes[YearAxis].seen)
        return;
    // Ticks on round years (every 1, 2, 5, 10, 20, 50... years), about ten of them at most.
    const double span = _axes[YearAxis].max - _axes[YearAxis].min;
    double step = 1.0;
    for (const double candidate : { 1.0, 2.0, 5.0, 10.0, 20.0, 25.0, 50.0, 100.0, 200.0, 500.0 }) {
        step = candidate;
        if (span / candidate <= 10.0)
            break;
    }
    years->setTickType(QValueAxis::TicksDynamic);
    years->setTickAnchor(std::ceil(_axes[YearAxis].min / step) * step);
    years->setTickInterval(step);
    years->setLabelFormat(QStringLiteral("%d"));
}

void TarnChart::fitLegend()
{
    QLegend* chartLegend = legend();
    if (!chartLegend || !chartLegend->isAttachedToChart())
        return;
    if (chartLegend->alignment() & (Qt::AlignTop | Qt::AlignBottom)) {
        fitLegendUnder();
        return;
    }
    QFont font = chartLegend->font();
    if (_legendPointSize <= 0)
        _legendPointSize = font.pointSizeF() > 0 ? font.pointSizeF() : 9.0;
    // A legend at the side gets as much width as its longest entry wants, but no more than 0.4
    // of the chart's content (inside the layout's and the chart's margins); what doesn't fit is
    // cut short. The font is made smaller, down to a floor, until the entries fit.
    qreal left = 0;
    qreal top = 0;
    qreal right = 0;
    qreal bottom = 0;
    if (layout())
        layout()->getContentsMargins(&left, &top, &right, &bottom);
    const qreal content = size().width() - left - right - margins().left() - margins().right();
    const qreal room = 0.4 * content;
    const qreal floor = 6.0;
    for (qreal points = _legendPointSize;; points -= 0.5) {
        font.setPointSizeF(std::max(points, floor));
        if (font != chartLegend->font())
            chartLegend->setFont(font);
        if (points <= floor || content <= 0
            || chartLegend->effectiveSizeHint(Qt::PreferredSize).width() <= room)
            break;
    }
}

void TarnChart::fitLegendUnder()
{
    QLegend* chartLegend = legend();
    qreal left = 0;
    qreal top = 0;
    qreal right = 0;
    qreal bottom = 0;
    if (layout())
        layout()->getContentsMargins(&left, &top, &right, &bottom);
    const qreal content = size().width() - left - right - margins().left() - margins().right();
    if (content <= 0)
        return;
    QFont font = chartLegend->font();
    if (_legendPointSize <= 0)
        _legendPointSize = font.pointSizeF() > 0 ? font.pointSizeF() : 9.0;
    // Under the chart the entries share one row: smaller type first, then, when they still
    // would be cut short, the side.
    for (qreal points = _legendPointSize; points >= 7.0; points -= 0.5) {
        font.setPointSizeF(points);
        if (font != chartLegend->font())
            chartLegend->setFont(font);
        if (chartLegend->effectiveSizeHint(Qt::PreferredSize).width() <= content)
            return;
    }
    font.setPointSizeF(_legendPointSize);
    chartLegend->setFont(font);
    chartLegend->setAlignment(Qt::AlignRight);
    fitLegend();
}

QString TarnChart::labelFormatFor(const QValueAxis& axis)
{
    // Whole numbers read best, but with ticks closer than 1 apart "%d" would print the same
    // label several times: such an axis gets as many decimals as its step needs.
    const double step = (axis.max() - axis.min()) / std::max(1, axis.tickCount() - 1);
    if (!(step > 0.0) || step >= 1.0 || !std::isfinite(step))
        return QStringLiteral("%d");
    const int decimals = std::min(9, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    return QStringLiteral("%.%1f").arg(decimals);
}

void TarnChart::legendMarkerClickedHandler()
{
    auto* marker = qobject_cast<QLegendMarker*>(sender());
    if (!marker || !marker->series())
        return;
    QAbstractSeries* series = marker->series();
    series->setVisible(!series->isVisible());
    // Hiding a series hides its marker too; the marker must stay so it can be clicked again.
    marker->setVisible(true);
    const qreal alpha = series->isVisible() ? 1.0 : 0.5;

    QBrush labelBrush = marker->labelBrush();
    QColor color = labelBrush.color();
    color.setAlphaF(alpha);
    labelBrush.setColor(color);
    marker->setLabelBrush(labelBrush);

    QBrush brush = marker->brush();
    color = brush.color();
    color.setAlphaF(alpha);
    brush.setColor(color);
    marker->setBrush(brush);

    QPen pen = marker->pen();
    color = pen.color();
    color.setAlphaF(alpha);
    pen.setColor(color);
    marker->setPen(pen);
}

void TarnChart::seriesHoveredHandler(
    QLineSeries* series, QPointF point, bool state, QString name, QString label, QString units)
{
    if (!state) {
        _tooltip->hide();
        return;
    }
    const int year = static_cast<int>(point.x());
    double value = std::numeric_limits<double>::quiet_NaN();
    const QVector<QPointF> points = series->pointsVector();
    for (const QPointF& p : points) {
        if (p.x() == year) {
            value = p.y();
            break;
        }
    }
    QString text = QStringLiteral("%1<br />%2: %3 %4")
                       .arg(label, QString::number(year), NumberText::readable(value), units);
    if (!name.isEmpty())
        text = QStringLiteral("%1<br />%2").arg(name, text);
    _tooltip->setText(text);
    _tooltip->setPos(mapToPosition(point, series) + QPointF(10, -50));
    _tooltip->show();
}
