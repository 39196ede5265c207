#pragma once

#include "trend/trenddecimation.h"

#include <QColor>
#include <QVector>
#include <qwt_plot_item.h>

// A min..max band. Where neighbouring samples lie within a few pixels, as decimated data
// always does, it is drawn as one rectangle per pixel column: filling a polygon of thousands
// of zigzag edges costs several times as much (bench_chart_library). A stretch of wider
// steps is filled as one polygon, so a zoomed-in band keeps its slopes.
class BandItem : public QwtPlotItem
{
public:
    BandItem(const QColor &colour, int yAxis, int alpha);

    void setSamples(const QVector<TrendDecimation::BandPoint> &band);
    int rtti() const override;
    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &canvasRect) const override;

private:
    QColor fill;
    QVector<TrendDecimation::BandPoint> samples;
};
