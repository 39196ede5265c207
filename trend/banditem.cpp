#include "trend/banditem.h"

#include <QPainter>
#include <qwt_plot.h>
#include <qwt_scale_map.h>
#include <algorithm>
#include <cmath>

BandItem::BandItem(const QColor &colour, int yAxis, int alpha) : fill(colour)
{
    fill.setAlpha(alpha);
    setAxes(QwtPlot::xBottom, yAxis);
    setZ(5);
    setItemAttribute(QwtPlotItem::Legend, false);
}

void BandItem::setSamples(const QVector<TrendDecimation::BandPoint> &band)
{
    samples = band;
}

int BandItem::rtti() const
{
    return QwtPlotItem::Rtti_PlotUserItem + 1;
}

void BandItem::draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                    const QRectF &) const
{
    struct Column
    {
        int x;
        double top;
        double bottom;
    };
    QVector<QRectF> strips;
    QVector<QPolygonF> slopes;
    QPolygonF upper, lower; // the stretch of wide steps being gathered into one polygon
    const auto endSlope = [&] {
        if (upper.size() >= 2) {
            std::reverse(lower.begin(), lower.end());
            slopes.append(upper + lower);
        }
        upper.clear();
        lower.clear();
    };
    bool havePrevious = false;
    Column previous{0, 0, 0};
    const auto close = [&](const Column &column, const Column *next) {
        if (next && next->x - column.x > 3) {
            if (upper.isEmpty()) {
                upper << QPointF(column.x, column.top);
                lower << QPointF(column.x, column.bottom);
            }
            upper << QPointF(next->x, next->top);
            lower << QPointF(next->x, next->bottom);
        } else {
            endSlope();
            const int width = next ? std::max(next->x - column.x, 1) : 1;
            strips.append(QRectF(column.x, column.top, width, column.bottom - column.top));
        }
    };
    for (const TrendDecimation::BandPoint &point : samples) {
        if (std::isnan(point.low) || std::isnan(point.high)) {
            if (havePrevious)
                close(previous, nullptr);
            havePrevious = false;
            continue;
        }
        const Column column{int(std::lround(xMap.transform(point.x))),
                            yMap.transform(point.high), yMap.transform(point.low)};
        if (havePrevious && column.x == previous.x) {
            // Samples within one pixel column are one strip of their union.
            previous.top = std::min(previous.top, column.top);
            previous.bottom = std::max(previous.bottom, column.bottom);
            continue;
        }
        if (havePrevious)
            close(previous, &column);
        previous = column;
        havePrevious = true;
    }
    if (havePrevious)
        close(previous, nullptr);
    endSlope();

    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(fill);
    painter->drawRects(strips);
    for (const QPolygonF &slope : slopes)
        painter->drawPolygon(slope);
    painter->restore();
}
