#pragma once

#include <QColor>
#include <QRect>
#include <QStringList>
#include <QVector>
#include <qwt_widget_overlay.h>

// The cursor line and its reading, drawn over the canvas so moving the mouse never replots.
// The reading's box keeps clear of the limit labels where the canvas leaves room.
class CursorOverlay : public QwtWidgetOverlay
{
public:
    explicit CursorOverlay(QWidget *canvas);

    // x in canvas pixels, or -1 for no line; lines[0] is the time, lines[1 + i] series i.
    void showCursor(int x, const QStringList &text, const QVector<QColor> &colours);
    void hideCursor();
    void keepClearOf(const QVector<QRect> &rects);
    QRect readoutRect() const; // empty while there is no line

protected:
    void drawOverlay(QPainter *painter) const override;
    QRegion maskHint() const override;

private:
    QRect textBox() const;

    int lineX = -1;
    QStringList lines;
    QVector<QColor> lineColours;
    QVector<QRect> clearOf;
};
