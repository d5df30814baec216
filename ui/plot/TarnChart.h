#pragma once

#include <QChart>
#include <QGraphicsItem>
#include <QLineSeries>
#include <QRectF>
#include <QTextDocument>

#include <QValueAxis>

// A line chart of yearly values against a shared year axis. Each series has a kind that picks
// its value axis (flow, salinity mass or salinity concentration) and the label and units of
// its hover tooltip. Clicking a legend marker hides or shows its series.
class TarnChart : public QtCharts::QChart {
    Q_OBJECT

public:
    enum SeriesKind {
        DiversionKind = 0,
        DepletionKind = 1,
        SalinityMassKind = 2,
        SalinityConcentrationKind = 3
    };

    // The white box that names the hovered series, year, value and units.
    class SeriesTooltip : public QGraphicsItem {
    public:
        explicit SeriesTooltip(QGraphicsItem* parent = nullptr);

        void setText(const QString& html);
        QString text() const { return _text; }

        QRectF boundingRect() const override;
        void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
            QWidget* widget = nullptr) override;

    private:
        QString _text;
        QTextDocument _document;
        QRectF _rect;
    };

    explicit TarnChart(QGraphicsItem* parent = nullptr);

    void addChartSeries(QtCharts::QLineSeries* series, int kind, bool showName);
    // Pads the value axes and rounds them to nice numbers, and hides the value axes no series
    // uses, so that the others have room for their labels; call once after the last series.
    void finishAxes();

    // The legend's font is made smaller (down to a floor) when the longest series name would
    // not fit into the room the chart gives the legend; done again whenever the chart's size
    // changes. A legend under the chart that does not fit there moves to the side.
    void fitLegend();

    SeriesTooltip* tooltip() const { return _tooltip; }
    // Null until made by a series of its kind or by finishAxes().
    QtCharts::QValueAxis* yearAxis() const { return _axes[YearAxis].axis; }
    QtCharts::QValueAxis* flowAxis() const { return _axes[FlowAxis].axis; }
    QtCharts::QValueAxis* massAxis() const { return _axes[MassAxis].axis; }
    QtCharts::QValueAxis* concentrationAxis() const { return _axes[ConcentrationAxis].axis; }
    QtCharts::QValueAxis* valueAxisOfKind(int kind) const;

    static QString kindLabel(int kind);
    static QString kindUnits(int kind);

protected:
    void resizeEvent(QGraphicsSceneResizeEvent* event) override;

public slots:
    void legendMarkerClickedHandler();
    void seriesHoveredHandler(QtCharts::QLineSeries* series, QPointF point, bool state,
        QString name, QString label, QString units);

private:
    enum AxisSlot { YearAxis = 0, FlowAxis, MassAxis, ConcentrationAxis, AxisCount };

    struct AxisState {
        QtCharts::QValueAxis* axis = nullptr;
        // The range covers the points seen so far; an axis that saw none keeps 0 to 0.
        bool seen = false;
        bool used = false; // a series is attached to it
        double min = 0.0;
        double max = 0.0;
    };

    static int slotOfKind(int kind);
    static QString labelFormatFor(const QtCharts::QValueAxis& axis);
    QtCharts::QValueAxis* ensureAxis(AxisSlot slot);
    void widen(AxisSlot slot, double value);
    // The year axis ticks on round years.
    void roundYearTicks();
    void fitLegendUnder();

    SeriesTooltip* _tooltip;
    AxisState _axes[AxisCount];
    qreal _legendPointSize = 0; // the legend font's own size, which fitting never exceeds
};
