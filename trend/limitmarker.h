#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <qwt_plot_marker.h>

// An alarm limit: a long-dashed line across the plot, named by a label on an opaque ground so
// no line runs through its text. A limit beyond the value axis draws no line: its label, with
// an arrow, sits at the edge the limit lies beyond, so the operator sees that it exists and
// its value while the axis stays fitted to the data. Where the label goes is the chart's
// choice (it knows the other labels).
class LimitMarker : public QwtPlotMarker
{
public:
    enum class Side { Inside, Above, Below };

    LimitMarker(const QColor &colour, double value, const QString &text, int yAxis,
                const QFont &font);

    int rtti() const override;
    // As shown: "005 温度上限 80 ℃", "▲ 005 温度上限 80 ℃" when it lies above the axis.
    QString text() const;
    QColor colour() const;
    Side side() const { return where; }
    void setSide(Side side);
    QSizeF labelSize() const; // the text with its ground's margin
    QRectF labelRect() const { return placed; } // canvas pixels
    void setLabelRect(const QRectF &rect);

protected:
    void drawLines(QPainter *painter, const QRectF &canvasRect, const QPointF &pos) const override;
    void drawLabel(QPainter *painter, const QRectF &canvasRect, const QPointF &pos) const override;

private:
    QString name;
    QColor ink;
    QFont labelFont;
    Side where = Side::Inside;
    QRectF placed;
};
