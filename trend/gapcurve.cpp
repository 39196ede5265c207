#include "trend/gapcurve.h"

#include <QPainter>
#include <qwt_scale_map.h>
#include <cmath>

void GapCurve::drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                          const QRectF &canvasRect, int from, int to) const
{
    const int size = int(dataSize());
    if (to < 0 || to >= size)
        to = size - 1;
    int start = from;
    for (int i = from; i <= to + 1; ++i) {
        if (i <= to && !std::isnan(sample(i).y()))
            continue;
        if (i - 1 > start) {
            QwtPlotCurve::drawSeries(painter, xMap, yMap, canvasRect, start, i - 1);
        } else if (i - 1 == start) {
            const QPointF point = sample(start);
            const QPointF at(xMap.transform(point.x()), yMap.transform(point.y()));
            painter->fillRect(QRectF(at.x() - 1.5, at.y() - 1.5, 3, 3), pen().color());
        }
        start = i + 1;
    }
}
