#include "trend/trendchart.h"

#include "trend/banditem.h"
#include "trend/cursoroverlay.h"
#include "trend/gapcurve.h"
#include "trend/timescaledraw.h"
#include "trend/trenddecimation.h"
#include "trend/trendtime.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPixmap>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <qwt_date_scale_engine.h>
#include <qwt_legend.h>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_scale_map.h>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kMinuteGapMs = 5 * 60 * 1000.0;
constexpr double kHourlyGapMs = 2 * 3600 * 1000.0;
constexpr double kSmallestSpanMs = 10 * 1000.0;
constexpr double kDayMs = 24 * 3600 * 1000.0;
constexpr int kBandAlpha = 50;
// Lighter, so the temperature band stays the one that reads first.
constexpr int kCurrentBandAlpha = 28;
// A limit line several series share belongs to none of their colours.
constexpr QRgb kSharedLimitColour = 0xff323232;

QPen seriesPen(const QColor &colour, Qt::PenStyle style)
{
    // One pixel: a wider pen is stroked, which costs several times as much per redraw.
    QPen pen(colour, 1);
    if (style == Qt::DashLine)
        pen.setDashPattern({4, 3});
    return pen;
}

// A limit: a long-dashed line across the plot, named at its right end, since the
// temperature and the current limits of one device share its colour.
QwtPlotMarker *limitMarker(const QColor &colour, double value, const QString &text, int yAxis)
{
    auto *marker = new QwtPlotMarker;
    QPen pen(colour, 1);
    pen.setDashPattern({10, 5});
    marker->setLineStyle(QwtPlotMarker::HLine);
    marker->setLinePen(pen);
    marker->setYValue(value);
    marker->setAxes(QwtPlot::xBottom, yAxis);
    marker->setZ(15);
    QwtText label(text);
    label.setColor(colour);
    QFont font = label.font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label.setFont(font);
    marker->setLabel(label);
    marker->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
    return marker;
}

struct LimitLine
{
    int yAxis;
    double value;
    QString text;
    QColor colour;
};

// Series whose limit of one kind has the same value share one line, named once with all
// their numbers: one label per series would overprint into a smear, which is common as the
// devices mostly keep the station's default limits. A line of one series keeps its colour.
QVector<LimitLine> limitLines(const TrendData &data)
{
    struct Kind
    {
        double TrendLimits::*value;
        int yAxis;
        const char *single;
        const char *shared;
    };
    static const Kind kinds[] = {
        {&TrendLimits::upperTemperature, QwtPlot::yLeft,
         QT_TRANSLATE_NOOP("TrendChart", "%1 温度上限 %2 ℃"),
         QT_TRANSLATE_NOOP("TrendChart", "温度上限 %1 ℃：%2")},
        {&TrendLimits::lowerTemperature, QwtPlot::yLeft,
         QT_TRANSLATE_NOOP("TrendChart", "%1 温度下限 %2 ℃"),
         QT_TRANSLATE_NOOP("TrendChart", "温度下限 %1 ℃：%2")},
        {&TrendLimits::upperCurrent, QwtPlot::yRight,
         QT_TRANSLATE_NOOP("TrendChart", "%1 电流上限 %2 A"),
         QT_TRANSLATE_NOOP("TrendChart", "电流上限 %1 A：%2")}};
    const int count = std::min(data.series.size(), data.limits.size());
    const auto number = [&](int i) {
        return data.series[i].label.section(QLatin1Char(' '), 0, 0);
    };
    QVector<LimitLine> lines;
    for (const Kind &kind : kinds) {
        QVector<bool> taken(count, false);
        for (int i = 0; i < count; ++i) {
            if (taken[i])
                continue;
            const double value = data.limits[i].*kind.value;
            QStringList numbers;
            for (int j = i; j < count; ++j) {
                if (!taken[j] && data.limits[j].*kind.value == value) {
                    taken[j] = true;
                    numbers << number(j);
                }
            }
            if (numbers.size() == 1)
                lines.append({kind.yAxis, value,
                              TrendChart::tr(kind.single).arg(numbers.first()).arg(value),
                              TrendChart::seriesColour(i)});
            else
                lines.append(
                    {kind.yAxis, value,
                     TrendChart::tr(kind.shared).arg(value).arg(numbers.join(QLatin1Char(' '))),
                     QColor(kSharedLimitColour)});
        }
    }
    return lines;
}

// Labels of distinct limits lying close together would still overprint: each label, from the
// top down, takes the first place on its line (right, left or middle end; above or below it)
// where no label placed before it lies within a label's height.
void placeLimitLabels(const QVector<QwtPlotMarker *> &markers, int height,
                      const QPair<double, double> &left, const QPair<double, double> &right)
{
    static const Qt::Alignment places[] = {
        Qt::AlignRight | Qt::AlignTop,   Qt::AlignRight | Qt::AlignBottom,
        Qt::AlignLeft | Qt::AlignTop,    Qt::AlignLeft | Qt::AlignBottom,
        Qt::AlignHCenter | Qt::AlignTop, Qt::AlignHCenter | Qt::AlignBottom};
    QVector<QPair<double, QwtPlotMarker *>> drawn;
    for (QwtPlotMarker *marker : markers) {
        const QPair<double, double> &axis = marker->yAxis() == QwtPlot::yRight ? right : left;
        const double y =
            (axis.second - marker->yValue()) / (axis.second - axis.first) * height;
        if (marker->isVisible() && y >= 0 && y <= height)
            drawn.append({y, marker});
    }
    std::stable_sort(drawn.begin(), drawn.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    struct Taken
    {
        Qt::Alignment end;
        double top;
    };
    QVector<Taken> taken;
    for (const auto &[y, marker] : drawn) {
        const double labelHeight = QFontMetricsF(marker->label().font()).height() + 2;
        const auto topOf = [&, y = y](Qt::Alignment place) {
            return place & Qt::AlignTop ? y - labelHeight : y;
        };
        const Qt::Alignment *chosen = std::find_if(
            std::begin(places), std::end(places), [&](Qt::Alignment place) {
                return std::none_of(taken.begin(), taken.end(), [&](const Taken &other) {
                    return (other.end & Qt::AlignHorizontal_Mask)
                               == (place & Qt::AlignHorizontal_Mask)
                           && std::abs(other.top - topOf(place)) < labelHeight;
                });
            });
        const Qt::Alignment place = chosen == std::end(places) ? places[0] : *chosen;
        marker->setLabelAlignment(place);
        taken.append({place, topOf(place)});
    }
}

// Widens lowest..highest to the axis range that shows it with a margin.
QPair<double, double> fitted(double lowest, double highest, double emptyHigh)
{
    if (!(lowest <= highest))
        return {0, emptyHigh};
    const double margin = std::max((highest - lowest) * 0.05, 0.5);
    return {lowest - margin, highest + margin};
}

struct Extent
{
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();
    void take(double x, double from, double to, double low, double high)
    {
        // The points beyond the edges are only there so the line reaches them.
        if (x < from || x > to || std::isnan(low))
            return;
        lowest = std::min(lowest, low);
        highest = std::max(highest, high);
    }
};

int usable(const TrendSeries &series, const QVector<double> &values)
{
    return std::min(series.x.size(), values.size());
}

// The sample nearest to x within `reach`, or -1.
int nearest(const QVector<double> &xs, double x, double reach)
{
    const auto after = std::lower_bound(xs.begin(), xs.end(), x);
    int best = -1;
    double bestDistance = reach;
    for (auto it : {after - 1, after}) {
        if (it < xs.begin() || it >= xs.end())
            continue;
        const double distance = std::abs(*it - x);
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = int(it - xs.begin());
        }
    }
    return best;
}

QString valueAt(const QVector<double> &values, int index, int decimals)
{
    if (index < 0 || index >= values.size() || std::isnan(values[index]))
        return QStringLiteral("--");
    return QString::number(values[index], 'f', decimals);
}

} // namespace

TrendChart::TrendChart(QWidget *parent) : QWidget(parent)
{
    plot = new QwtPlot(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot);

    auto *canvas = new QwtPlotCanvas;
    canvas->setObjectName(QStringLiteral("trend_canvas"));
    canvas->setFrameStyle(QFrame::Box | QFrame::Plain);
    canvas->setLineWidth(1);
    canvas->setMouseTracking(true);
    plot->setCanvas(canvas);
    plot->setCanvasBackground(Qt::white);
    plot->setAutoReplot(false);
    plot->setContentsMargins(4, 4, 12, 4);

    timeScale = new TimeScaleDraw;
    plot->setAxisScaleDraw(QwtPlot::xBottom, timeScale);
    plot->setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::UTC));
    plot->setAxisMaxMajor(QwtPlot::xBottom, 7);
    plot->setAxisTitle(QwtPlot::yLeft, tr("温度 (℃)"));
    plot->setAxisTitle(QwtPlot::yRight, tr("电流 (A)，虚线"));
    plot->enableAxis(QwtPlot::yRight, false);
    plot->insertLegend(new QwtLegend, QwtPlot::TopLegend);

    auto *grid = new QwtPlotGrid;
    grid->setMajorPen(QColor(225, 225, 225), 1);
    grid->attach(plot);

    cursorOverlay = new CursorOverlay(canvas);

    // Two ways to the rubber band, as the left button alone pans.
    const auto makeBand = [this, canvas](Qt::MouseButton button, Qt::KeyboardModifiers keys) {
        auto *picker = new QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::RectRubberBand,
                                         QwtPicker::AlwaysOff, canvas);
        picker->setStateMachine(new QwtPickerDragRectMachine);
        picker->setMousePattern(QwtEventPattern::MouseSelect1, button, keys);
        picker->setRubberBandPen(QPen(QColor(40, 40, 40), 1, Qt::DashLine));
        connect(picker, static_cast<void (QwtPicker::*)(const QPolygon &)>(&QwtPicker::selected),
                this, [this](const QPolygon &points) {
                    if (points.size() >= 2)
                        zoomToRubberBand(QRect(points.first(), points.last()).normalized());
                });
    };
    makeBand(Qt::RightButton, Qt::NoModifier);
    makeBand(Qt::LeftButton, Qt::ShiftModifier);
    canvas->installEventFilter(this);

    setMinimumSize(400, 250);
    redraw();
}

TrendChart::~TrendChart() = default;

QColor TrendChart::seriesColour(int index)
{
    // Dark enough to read on white, apart in hue, and none easily taken for another.
    static const QColor colours[] = {
        QColor(0x1f, 0x5f, 0xbf), QColor(0xd6, 0x27, 0x28), QColor(0x2a, 0x9d, 0x2a),
        QColor(0xe6, 0x7e, 0x00), QColor(0x8e, 0x44, 0xad), QColor(0x8c, 0x56, 0x4b),
        QColor(0xc2, 0x18, 0x7a), QColor(0x00, 0x83, 0x8f)};
    constexpr int count = int(sizeof colours / sizeof colours[0]);
    return colours[((index % count) + count) % count];
}

void TrendChart::setData(const TrendData &data)
{
    shown = data;
    rebuildItems();
    yFixed = false;
    range = {double(data.fromMs), double(data.toMs)};
    if (!(range.second > range.first))
        range.second = range.first + kSmallestSpanMs;
    redraw();
    emit viewChanged(range.first, range.second);
}

void TrendChart::updateData(const TrendData &data)
{
    const bool showedWhole = range.first <= shown.fromMs && range.second >= shown.toMs;
    const bool showedEnd = range.second >= shown.toMs;
    const double shift = double(data.toMs - shown.toMs);
    QPair<double, double> wanted = range;
    if (showedWhole)
        wanted = {double(data.fromMs), double(data.toMs)};
    else if (showedEnd)
        wanted = {range.first + shift, range.second + shift};
    shown = data;
    // Rebuilt every time: a handful of items, and the names and limits may have changed.
    rebuildItems();
    if (wanted != range && wanted.second > wanted.first)
        moveView(wanted.first, wanted.second);
    else
        redraw();
}

void TrendChart::setCurrentShown(bool show)
{
    if (show == currentShown)
        return;
    currentShown = show;
    applyCurrentShown();
    redraw();
}

void TrendChart::resetView()
{
    const bool wasFixed = yFixed;
    yFixed = false;
    const QPair<double, double> whole{double(shown.fromMs), double(shown.toMs)};
    if (whole != range && whole.second > whole.first)
        moveView(whole.first, whole.second);
    else if (wasFixed)
        redraw();
}

void TrendChart::setView(double fromMs, double toMs)
{
    moveView(fromMs, toMs);
}

QPair<double, double> TrendChart::view() const
{
    return range;
}

void TrendChart::setCursorAt(double xMs)
{
    cursorSet = true;
    cursorMs = xMs;
    const QwtScaleMap map = plot->canvasMap(QwtPlot::xBottom);
    const bool inside = xMs >= range.first && xMs <= range.second;
    QVector<QColor> colours;
    for (int i = 0; i < shown.series.size(); ++i)
        colours.append(seriesColour(i));
    cursorOverlay->show(inside ? int(std::lround(map.transform(xMs))) : -1,
                        cursorText().split(QLatin1Char('\n')), colours);
}

QString TrendChart::cursorText() const
{
    if (!cursorSet)
        return QString();
    QStringList lines{TrendTime::stamp(std::llround(cursorMs))};
    const double reach = maxGap() / 2;
    for (const TrendSeries &series : shown.series) {
        const int at = nearest(series.x, cursorMs, reach);
        QString line = series.label + QStringLiteral("  ") + valueAt(series.temperature, at, 1)
                       + QStringLiteral(" ℃");
        if (shown.hourly && at >= 0 && at < series.temperatureMin.size()
            && at < series.temperatureMax.size() && !std::isnan(series.temperature.value(at)))
            line += QStringLiteral(" (%1~%2)").arg(valueAt(series.temperatureMin, at, 1),
                                                  valueAt(series.temperatureMax, at, 1));
        if (currentShown)
            line += QStringLiteral("  ") + valueAt(series.current, at, 2) + QStringLiteral(" A");
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

int TrendChart::plottedPointCount() const
{
    return plottedPoints;
}

bool TrendChart::savePng(const QString &path) const
{
    return plot->grab().save(path, "PNG");
}

bool TrendChart::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != plot->canvas())
        return QWidget::eventFilter(watched, event);
    const QwtScaleMap map = plot->canvasMap(QwtPlot::xBottom);
    switch (event->type()) {
    case QEvent::Resize:
        redraw();
        break;
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && !(mouse->modifiers() & Qt::ShiftModifier)) {
            panning = true;
            panStart = mouse->pos();
            panStartView = range;
            plot->canvas()->setCursor(Qt::ClosedHandCursor);
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (panning) {
            const double msPerPixel = (panStartView.second - panStartView.first) / columns();
            const double shift = -(mouse->pos().x() - panStart.x()) * msPerPixel;
            moveView(panStartView.first + shift, panStartView.second + shift);
        }
        setCursorAt(map.invTransform(mouse->pos().x()));
        break;
    }
    case QEvent::MouseButtonRelease:
        if (panning && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            panning = false;
            plot->canvas()->unsetCursor();
        }
        break;
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            resetView();
            return true;
        }
        break;
    case QEvent::Wheel: {
        const auto *wheel = static_cast<QWheelEvent *>(event);
#if QT_VERSION >= QT_VERSION_CHECK(5, 14, 0)
        const double x = wheel->position().x();
#else
        const double x = wheel->pos().x();
#endif
        const double steps = wheel->angleDelta().y() / 120.0;
        if (steps == 0)
            break;
        const double factor = std::pow(0.8, steps);
        const double centre = map.invTransform(x);
        moveView(centre - (centre - range.first) * factor,
                 centre + (range.second - centre) * factor);
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TrendChart::rebuildItems()
{
    qDeleteAll(temperatureLines);
    qDeleteAll(currentLines);
    qDeleteAll(temperatureBands);
    qDeleteAll(currentBands);
    qDeleteAll(temperatureLimits);
    qDeleteAll(currentLimits);
    temperatureLines.clear();
    currentLines.clear();
    temperatureBands.clear();
    currentBands.clear();
    temperatureLimits.clear();
    currentLimits.clear();

    for (int i = 0; i < shown.series.size(); ++i) {
        const QColor colour = seriesColour(i);
        if (shown.hourly) {
            auto *band = new BandItem(colour, QwtPlot::yLeft, kBandAlpha);
            band->attach(plot);
            temperatureBands.append(band);
            auto *currentBand = new BandItem(colour, QwtPlot::yRight, kCurrentBandAlpha);
            currentBand->attach(plot);
            currentBands.append(currentBand);
        }
        auto *line = new GapCurve(shown.series[i].label);
        line->setPen(seriesPen(colour, Qt::SolidLine));
        line->setZ(20);
        line->setLegendAttribute(QwtPlotCurve::LegendShowLine, true);
        line->setLegendIconSize(QSize(24, 8));
        line->attach(plot);
        temperatureLines.append(line);

        auto *current = new GapCurve(shown.series[i].label);
        current->setPen(seriesPen(colour, Qt::DashLine));
        current->setZ(19);
        current->setItemAttribute(QwtPlotItem::Legend, false);
        current->setAxes(QwtPlot::xBottom, QwtPlot::yRight);
        current->attach(plot);
        currentLines.append(current);
    }
    for (const LimitLine &limit : limitLines(shown)) {
        QwtPlotMarker *marker = limitMarker(limit.colour, limit.value, limit.text, limit.yAxis);
        marker->attach(plot);
        (limit.yAxis == QwtPlot::yRight ? currentLimits : temperatureLimits).append(marker);
    }
    applyCurrentShown();
}

void TrendChart::applyCurrentShown()
{
    plot->enableAxis(QwtPlot::yRight, currentShown);
    for (QwtPlotCurve *line : qAsConst(currentLines))
        line->setVisible(currentShown);
    for (BandItem *band : qAsConst(currentBands))
        band->setVisible(currentShown);
    for (QwtPlotMarker *marker : qAsConst(currentLimits))
        marker->setVisible(currentShown);
}

void TrendChart::moveView(double fromMs, double toMs)
{
    if (!(toMs > fromMs) || !std::isfinite(fromMs) || !std::isfinite(toMs))
        return;
    const double whole = std::max(double(shown.toMs - shown.fromMs), kDayMs);
    const double span = std::clamp(toMs - fromMs, kSmallestSpanMs, 4 * whole);
    const double middle = (fromMs + toMs) / 2;
    if (span != toMs - fromMs) {
        fromMs = middle - span / 2;
        toMs = middle + span / 2;
    }
    if (QPair<double, double>(fromMs, toMs) == range)
        return;
    range = {fromMs, toMs};
    redraw();
    emit viewChanged(fromMs, toMs);
}

void TrendChart::zoomToRubberBand(const QRect &pixels)
{
    if (pixels.width() < 3 || pixels.height() < 3)
        return;
    const QwtScaleMap x = plot->canvasMap(QwtPlot::xBottom);
    const QwtScaleMap left = plot->canvasMap(QwtPlot::yLeft);
    const QwtScaleMap right = plot->canvasMap(QwtPlot::yRight);
    yFixed = true;
    leftRange = {left.invTransform(pixels.bottom()), left.invTransform(pixels.top())};
    rightRange = {right.invTransform(pixels.bottom()), right.invTransform(pixels.top())};
    const QPair<double, double> before = range;
    moveView(x.invTransform(pixels.left()), x.invTransform(pixels.right()));
    if (range == before)
        redraw();
}

double TrendChart::maxGap() const
{
    return shown.hourly ? kHourlyGapMs : kMinuteGapMs;
}

int TrendChart::columns() const
{
    return std::max(1, plot->canvas()->contentsRect().width());
}

void TrendChart::redraw()
{
    const double from = range.first, to = range.second;
    const int width = columns();
    const double gap = maxGap();
    Extent left, right;
    plottedPoints = 0;
    const auto line = [&](const TrendSeries &series, const QVector<double> &values,
                          QwtPlotCurve *curve, Extent &extent) {
        const QVector<QPointF> points = TrendDecimation::reduce(
            series.x.constData(), values.constData(), usable(series, values), from, to, width, gap);
        for (const QPointF &point : points)
            extent.take(point.x(), from, to, point.y(), point.y());
        plottedPoints += points.size();
        // Smoothing costs little where there are few points, and a zoomed-in line shows its steps.
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, points.size() * 4 < width);
        curve->setSamples(points);
    };
    const auto band = [&](const TrendSeries &series, const QVector<double> &low,
                          const QVector<double> &high, BandItem *item, Extent &extent) {
        const int count = std::min(usable(series, low), usable(series, high));
        const QVector<TrendDecimation::BandPoint> points = TrendDecimation::reduceBand(
            series.x.constData(), low.constData(), high.constData(), count, from, to, width, gap);
        for (const TrendDecimation::BandPoint &point : points)
            extent.take(point.x, from, to, point.low, point.high);
        plottedPoints += points.size();
        item->setSamples(points);
    };
    for (int i = 0; i < temperatureLines.size(); ++i) {
        const TrendSeries &series = shown.series[i];
        line(series, series.temperature, temperatureLines[i], left);
        if (shown.hourly)
            band(series, series.temperatureMin, series.temperatureMax, temperatureBands[i], left);
        if (currentShown) {
            line(series, series.current, currentLines[i], right);
            if (shown.hourly)
                band(series, series.currentMin, series.currentMax, currentBands[i], right);
        } else {
            currentLines[i]->setSamples(QVector<QPointF>());
            if (shown.hourly)
                currentBands[i]->setSamples({});
        }
    }

    const QPair<double, double> leftAxis = yFixed ? leftRange : fitted(left.lowest, left.highest, 100);
    const QPair<double, double> rightAxis =
        yFixed ? rightRange : fitted(right.lowest, right.highest, 10);
    timeScale->setSpan(to - from);
    plot->setAxisScale(QwtPlot::xBottom, from, to);
    plot->setAxisScale(QwtPlot::yLeft, leftAxis.first, leftAxis.second);
    plot->setAxisScale(QwtPlot::yRight, rightAxis.first, rightAxis.second);
    placeLimitLabels(temperatureLimits + currentLimits, plot->canvas()->contentsRect().height(),
                     leftAxis, rightAxis);
    plot->replot();
    if (cursorSet)
        setCursorAt(cursorMs);
}
