#pragma once

#include <qwt_plot_curve.h>

// A line that breaks where the decimation left a NaN point, so a stretch without data reads
// as a gap instead of a straight line across it. A piece of one point (a single value between
// two gaps) is drawn as a small square, as a line through it would be nothing.
class GapCurve : public QwtPlotCurve
{
public:
    using QwtPlotCurve::QwtPlotCurve;

    void drawSeries(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
                    const QRectF &canvasRect, int from, int to) const override;
};
