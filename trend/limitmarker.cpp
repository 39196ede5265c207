#include "trend/limitmarker.h"

#include <QFontMetricsF>
#include <QPainter>
#include <qwt_plot.h>

namespace {

constexpr qreal kPadX = 4;
constexpr qreal kPadY = 1;

} // namespace

LimitMarker::LimitMarker(const QColor &colour, double value, const QString &text, int yAxis,
                         const QFont &font)
    : name(text), ink(colour), labelFont(font)
{
    QPen pen(colour, 1);
    pen.setDashPattern({10, 5});
    setLineStyle(QwtPlotMarker::HLine);
    setLinePen(pen);
    setYValue(value);
    setAxes(QwtPlot::xBottom, yAxis);
    setZ(15);
}

int LimitMarker::rtti() const
{
    return QwtPlotItem::Rtti_PlotUserItem + 2;
}

QString LimitMarker::text() const
{
    switch (where) {
    case Side::Above:
        return QStringLiteral("▲ ") + name;
    case Side::Below:
        return QStringLiteral("▼ ") + name;
    case Side::Inside:
        break;
    }
    return name;
}

QColor LimitMarker::colour() const
{
    return ink;
}

void LimitMarker::setSide(Side side)
{
    where = side;
}

QSizeF LimitMarker::labelSize() const
{
    const QFontMetricsF metrics(labelFont);
    return {metrics.horizontalAdvance(text()) + 2 * kPadX, metrics.height() + 2 * kPadY};
}

void LimitMarker::setLabelRect(const QRectF &rect)
{
    placed = rect;
}

void LimitMarker::drawLines(QPainter *painter, const QRectF &canvasRect, const QPointF &pos) const
{
    if (where == Side::Inside)
        QwtPlotMarker::drawLines(painter, canvasRect, pos);
}

void LimitMarker::drawLabel(QPainter *painter, const QRectF &, const QPointF &) const
{
    if (placed.isEmpty())
        return;
    painter->save();
    painter->setPen(QPen(ink, 1));
    painter->setBrush(Qt::white);
    painter->drawRect(placed.adjusted(0.5, 0.5, -0.5, -0.5));
    painter->setFont(labelFont);
    // Elided rather than cut where the canvas is narrower than the label.
    const QRectF inner = placed.adjusted(kPadX, kPadY, -kPadX, -kPadY);
    painter->drawText(inner, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(labelFont).elidedText(text(), Qt::ElideRight, inner.width()));
    painter->restore();
}
