#pragma once

#include <QColor>
#include <QStringList>
#include <QVector>
#include <qwt_widget_overlay.h>

// The cursor line and its reading, drawn over the canvas so moving the mouse never replots.
class CursorOverlay : public QwtWidgetOverlay
{
public:
    explicit CursorOverlay(QWidget *canvas);

    // x in canvas pixels, or -1 for no line; lines[0] is the time, lines[1 + i] series i.
    void show(int x, const QStringList &text, const QVector<QColor> &colours);

protected:
    void drawOverlay(QPainter *painter) const override;
    QRegion maskHint() const override;

private:
    QRect textBox() const;

    int lineX = -1;
    QStringList lines;
    QVector<QColor> lineColours;
};
