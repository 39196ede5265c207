#include "trend/trendchart.h"

#include "core/walltime.h"
#include "trend/banditem.h"
#include "trend/cursoroverlay.h"
#include "trend/gapcurve.h"
#include "trend/limitmarker.h"
#include "trend/timescaledraw.h"
#include "trend/trenddecimation.h"

#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
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

// A limit is named by its label, as one device's temperature and current limits share its
// colour. Labels of limits lying close together would overprint: each label, from the top
// down, takes the first place on its line (right, left or middle end; above or below it) that
// lies inside the canvas and clear of the labels placed before it; failing that, the place
// that moves least from its line, kept inside or stacked past the labels in its way. A limit
// beyond the axis has its label inside the edge it lies beyond.
void placeLimitLabels(const QVector<LimitMarker *> &markers, const QRectF &canvas,
                      const QwtScaleMap &left, const QwtScaleMap &right)
{
    static const Qt::Alignment places[] = {
        Qt::AlignRight | Qt::AlignTop,   Qt::AlignRight | Qt::AlignBottom,
        Qt::AlignLeft | Qt::AlignTop,    Qt::AlignLeft | Qt::AlignBottom,
        Qt::AlignHCenter | Qt::AlignTop, Qt::AlignHCenter | Qt::AlignBottom};
    constexpr double inset = 4;
    QVector<QPair<double, LimitMarker *>> drawn;
    for (LimitMarker *marker : markers) {
        marker->setLabelRect(QRectF());
        if (!marker->isVisible())
            continue;
        const QwtScaleMap &map = marker->yAxis() == QwtPlot::yRight ? right : left;
        const double value = marker->yValue();
        const auto side = value > std::max(map.s1(), map.s2())   ? LimitMarker::Side::Above
                          : value < std::min(map.s1(), map.s2()) ? LimitMarker::Side::Below
                                                                 : LimitMarker::Side::Inside;
        marker->setSide(side);
        drawn.append({side == LimitMarker::Side::Above   ? canvas.top()
                      : side == LimitMarker::Side::Below ? canvas.bottom()
                                                         : map.transform(value),
                      marker});
    }
    std::stable_sort(drawn.begin(), drawn.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QVector<QRectF> taken;
    const auto inside = [&canvas](const QRectF &r) {
        return r.top() >= canvas.top() + 1 && r.bottom() <= canvas.bottom() - 1;
    };
    const auto blocking = [&taken](const QRectF &r) {
        return std::find_if(taken.cbegin(), taken.cend(), [&r](const QRectF &label) {
            return label.adjusted(-1, -1, 1, 1).intersects(r);
        });
    };
    for (const auto &[y, marker] : drawn) {
        const QSizeF size(std::min(marker->labelSize().width(), canvas.width() - 2),
                          marker->labelSize().height());
        QRectF best;
        double bestMove = std::numeric_limits<double>::infinity();
        for (const Qt::Alignment place : places) {
            const bool above = place & Qt::AlignTop;
            // Off the axis, the label can only lie inside from its edge.
            if ((marker->side() == LimitMarker::Side::Above && above)
                || (marker->side() == LimitMarker::Side::Below && !above))
                continue;
            const double x = place & Qt::AlignRight  ? canvas.right() - inset - size.width()
                             : place & Qt::AlignLeft ? canvas.left() + inset
                                                     : canvas.center().x() - size.width() / 2;
            QRectF r(QPointF(std::max(x, canvas.left() + 1), 0), size);
            if (above)
                r.moveBottom(y - 2);
            else
                r.moveTop(y + 2);
            const double natural = r.top();
            r.moveTop(std::clamp(r.top(), canvas.top() + 1, canvas.bottom() - 1 - size.height()));
            for (int k = 0; k < taken.size() && blocking(r) != taken.cend(); ++k) {
                const QRectF &in = *blocking(r);
                if (above)
                    r.moveBottom(in.top() - 2);
                else
                    r.moveTop(in.bottom() + 2);
            }
            const double move = std::abs(r.top() - natural);
            if (blocking(r) == taken.cend() && inside(r) && move < bestMove) {
                best = r;
                bestMove = move;
                if (move == 0)
                    break;
            }
        }
        // A canvas too small for every label: the last ones overlap rather than vanish.
        if (best.isNull()) {
            best = QRectF(QPointF(canvas.right() - inset - size.width(), 0), size);
            best.moveTop(std::clamp(y - size.height() / 2, canvas.top() + 1,
                                    canvas.bottom() - 1 - size.height()));
        }
        marker->setLabelRect(best);
        taken.append(best);
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

// The sample among xs[begin..end) nearest to x within `reach`, or -1.
int nearest(const QVector<double> &xs, int begin, int end, double x, double reach)
{
    const auto first = xs.begin() + begin, last = xs.begin() + end;
    const auto after = std::lower_bound(first, last, x);
    int best = -1;
    double bestDistance = reach;
    for (auto it : {after - 1, after}) {
        if (it < first || it >= last)
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

void TrendChart::setData(const TrendData &loaded)
{
    shown = loaded;
    rebuildItems();
    yFixed = false;
    range = {double(loaded.fromMs), double(loaded.toMs)};
    if (!(range.second > range.first))
        range.second = range.first + kSmallestSpanMs;
    redraw();
    emit viewChanged(range.first, range.second);
}

void TrendChart::updateData(const TrendData &loaded)
{
    const bool showedWhole = range.first <= shown.fromMs && range.second >= shown.toMs;
    const bool showedEnd = range.second >= shown.toMs;
    const double shift = double(loaded.toMs - shown.toMs);
    QPair<double, double> wanted = range;
    if (showedWhole)
        wanted = {double(loaded.fromMs), double(loaded.toMs)};
    else if (showedEnd)
        wanted = {range.first + shift, range.second + shift};
    shown = loaded;
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
    cursorOverlay->showCursor(inside ? int(std::lround(map.transform(xMs))) : -1,
                              cursorText().split(QLatin1Char('\n')), colours);
}

void TrendChart::hideCursor()
{
    cursorSet = false;
    cursorOverlay->hideCursor();
}

QString TrendChart::cursorText() const
{
    if (!cursorSet)
        return QString();
    QStringList lines{WallTime::stamp(std::llround(cursorMs))};
    for (const TrendSeries &series : shown.series) {
        // Hours and minutes each within half their own gap; the nearer one reads.
        const int hours = hourCount(series);
        int at = nearest(series.x, 0, hours, cursorMs, kHourlyGapMs / 2);
        const int minute = nearest(series.x, hours, series.x.size(), cursorMs, kMinuteGapMs / 2);
        if (minute >= 0
            && (at < 0 || std::abs(series.x[minute] - cursorMs) <= std::abs(series.x[at] - cursorMs)))
            at = minute;
        QString line = series.label + QStringLiteral("  ") + valueAt(series.temperature, at, 1)
                       + QStringLiteral(" ℃");
        if (at >= 0 && at < hours && at < series.temperatureMax.size()
            && !std::isnan(series.temperature.value(at)))
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

QVector<TrendChart::LimitLabel> TrendChart::limitLabels() const
{
    QVector<LimitLabel> labels;
    for (const LimitMarker *marker : limitMarkers) {
        if (marker->isVisible() && !marker->labelRect().isEmpty())
            labels.append({marker->text(), marker->colour(), marker->labelRect().toAlignedRect()});
    }
    return labels;
}

QRect TrendChart::readoutRect() const
{
    return cursorOverlay->readoutRect();
}

bool TrendChart::savePng(const QString &path, const QString &title) const
{
    // The read-out follows the mouse; it is no part of the picture.
    const bool readout = !cursorOverlay->isHidden();
    cursorOverlay->hide();
    const QPixmap chart = plot->grab();
    cursorOverlay->setVisible(readout);
    if (title.isEmpty())
        return chart.save(path, "PNG");

    const qreal ratio = chart.devicePixelRatio();
    const int width = qRound(chart.width() / ratio);
    const int height = qRound(chart.height() / ratio);
    constexpr int margin = 8;
    QFont font = plot->font();
    font.setBold(true);
    // Wrapped, not cut, when eight long names make it longer than the picture is wide.
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
    const QRect text = QFontMetrics(font).boundingRect(
        QRect(margin, margin, width - 2 * margin, 10 * height), flags, title);
    const int top = text.height() + 2 * margin;
    QImage image(QSize(width, top + height) * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(plot->palette().color(QPalette::Window));
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(plot->palette().color(QPalette::WindowText));
    painter.drawText(QRect(margin, margin, width - 2 * margin, text.height()), flags, title);
    painter.drawPixmap(0, top, chart);
    painter.end();
    return image.save(path, "PNG");
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
    case QEvent::Leave:
        hideCursor();
        break;
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
    qDeleteAll(limitMarkers);
    temperatureLines.clear();
    currentLines.clear();
    temperatureBands.clear();
    currentBands.clear();
    limitMarkers.clear();

    for (int i = 0; i < shown.series.size(); ++i) {
        const QColor colour = seriesColour(i);
        // Hourly data has its band; minutes may begin with archive hours, which have theirs.
        auto *band = new BandItem(colour, QwtPlot::yLeft, kBandAlpha);
        band->attach(plot);
        temperatureBands.append(band);
        auto *currentBand = new BandItem(colour, QwtPlot::yRight, kCurrentBandAlpha);
        currentBand->attach(plot);
        currentBands.append(currentBand);
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
    QFont labelFont = font();
    labelFont.setPointSizeF(labelFont.pointSizeF() * 0.85);
    for (const LimitLine &limit : limitLines(shown)) {
        auto *marker = new LimitMarker(limit.colour, limit.value, limit.text, limit.yAxis, labelFont);
        marker->attach(plot);
        limitMarkers.append(marker);
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
    for (LimitMarker *marker : qAsConst(limitMarkers)) {
        if (marker->yAxis() == QwtPlot::yRight)
            marker->setVisible(currentShown);
    }
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

int TrendChart::columns() const
{
    return std::max(1, plot->canvas()->contentsRect().width());
}

QPair<double, double> TrendChart::withEdgeRoom(const QPair<double, double> &axis, int yAxis) const
{
    double row = 0;
    bool above = false, below = false;
    for (const LimitMarker *marker : limitMarkers) {
        if (!marker->isVisible() || marker->yAxis() != yAxis)
            continue;
        row = std::max(row, marker->labelSize().height() + 4);
        above = above || marker->yValue() > axis.second;
        below = below || marker->yValue() < axis.first;
    }
    const double height = plot->canvas()->contentsRect().height();
    const double rows = (above ? row : 0) + (below ? row : 0);
    if (rows == 0 || rows > height / 3)
        return axis;
    const double perPixel = (axis.second - axis.first) / (height - rows);
    return {axis.first - (below ? row * perPixel : 0), axis.second + (above ? row * perPixel : 0)};
}

void TrendChart::redraw()
{
    const double from = range.first, to = range.second;
    const int width = columns();
    Extent left, right;
    plottedPoints = 0;
    const auto line = [&](const TrendSeries &series, const QVector<double> &values,
                          QwtPlotCurve *curve, Extent &extent) {
        const int count = usable(series, values);
        const int hours = std::min(hourCount(series), count);
        QVector<QPointF> points = TrendDecimation::reduce(
            series.x.constData(), values.constData(), hours, from, to, width, kHourlyGapMs);
        const QVector<QPointF> minutes =
            TrendDecimation::reduce(series.x.constData() + hours, values.constData() + hours,
                                    count - hours, from, to, width, kMinuteGapMs);
        // Archive hours run on into the minutes, unless they stop well before them.
        if (!points.isEmpty() && !minutes.isEmpty()
            && minutes.first().x() - points.last().x() > kHourlyGapMs)
            points.append({(points.last().x() + minutes.first().x()) / 2, qQNaN()});
        points += minutes;
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
        const QVector<TrendDecimation::BandPoint> points =
            TrendDecimation::reduceBand(series.x.constData(), low.constData(), high.constData(),
                                        count, from, to, width, kHourlyGapMs);
        for (const TrendDecimation::BandPoint &point : points)
            extent.take(point.x, from, to, point.low, point.high);
        plottedPoints += points.size();
        item->setSamples(points);
    };
    for (int i = 0; i < temperatureLines.size(); ++i) {
        const TrendSeries &series = shown.series[i];
        line(series, series.temperature, temperatureLines[i], left);
        band(series, series.temperatureMin, series.temperatureMax, temperatureBands[i], left);
        if (currentShown) {
            line(series, series.current, currentLines[i], right);
            band(series, series.currentMin, series.currentMax, currentBands[i], right);
        } else {
            currentLines[i]->setSamples(QVector<QPointF>());
            currentBands[i]->setSamples({});
        }
    }

    const QPair<double, double> leftAxis =
        yFixed ? leftRange : withEdgeRoom(fitted(left.lowest, left.highest, 100), QwtPlot::yLeft);
    const QPair<double, double> rightAxis =
        yFixed ? rightRange
               : withEdgeRoom(fitted(right.lowest, right.highest, 10), QwtPlot::yRight);
    timeScale->setSpan(to - from);
    plot->setAxisScale(QwtPlot::xBottom, from, to);
    plot->setAxisScale(QwtPlot::yLeft, leftAxis.first, leftAxis.second);
    plot->setAxisScale(QwtPlot::yRight, rightAxis.first, rightAxis.second);
    // The labels go where the scales just set put their lines.
    plot->updateAxes();
    placeLimitLabels(limitMarkers, plot->canvas()->contentsRect(), plot->canvasMap(QwtPlot::yLeft),
                     plot->canvasMap(QwtPlot::yRight));
    QVector<QRect> labels;
    for (const LimitLabel &label : limitLabels())
        labels.append(label.rect);
    cursorOverlay->keepClearOf(labels);
    plot->replot();
    if (cursorSet)
        setCursorAt(cursorMs);
}
