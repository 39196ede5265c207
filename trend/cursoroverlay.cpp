#include "trend/cursoroverlay.h"

#include <QPainter>
#include <algorithm>

CursorOverlay::CursorOverlay(QWidget *canvas) : QwtWidgetOverlay(canvas)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setMaskMode(QwtWidgetOverlay::MaskHint);
}

void CursorOverlay::showCursor(int x, const QStringList &text, const QVector<QColor> &colours)
{
    lineX = x;
    lines = text;
    lineColours = colours;
    updateOverlay();
}

void CursorOverlay::hideCursor()
{
    showCursor(-1, {}, {});
}

void CursorOverlay::keepClearOf(const QVector<QRect> &rects)
{
    clearOf = rects;
}

QRect CursorOverlay::readoutRect() const
{
    return lineX < 0 ? QRect() : textBox();
}

void CursorOverlay::drawOverlay(QPainter *painter) const
{
    if (lineX < 0)
        return;
    painter->setPen(QPen(QColor(60, 60, 60), 1));
    painter->drawLine(lineX, 0, lineX, height());
    const QRect box = textBox();
    painter->setPen(QColor(160, 160, 160));
    painter->setBrush(QColor(255, 255, 255, 230));
    painter->drawRect(box.adjusted(0, 0, -1, -1));
    const int lineHeight = fontMetrics().height();
    for (int i = 0; i < lines.size(); ++i) {
        painter->setPen(i == 0 || i - 1 >= lineColours.size() ? QColor(Qt::black)
                                                              : lineColours[i - 1]);
        painter->drawText(box.left() + 6, box.top() + 4 + i * lineHeight, box.width() - 8,
                          lineHeight, Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
    }
}

QRegion CursorOverlay::maskHint() const
{
    if (lineX < 0)
        return QRegion();
    return QRegion(lineX, 0, 1, height()) + QRegion(textBox());
}

QRect CursorOverlay::textBox() const
{
    const QFontMetrics metrics = fontMetrics();
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const QSize size(width + 14, lines.size() * metrics.height() + 8);
    int left = lineX + 8;
    if (left + size.width() > this->width())
        left = std::max(0, lineX - 8 - size.width());
    // At the top, or below the labels in its way, or at the bottom; over them only when
    // none of these is free.
    QVector<int> tops{6};
    for (const QRect &label : clearOf)
        tops.append(label.bottom() + 4);
    std::sort(tops.begin() + 1, tops.end());
    tops.append(height() - 6 - size.height());
    for (const int top : tops) {
        const QRect box(QPoint(left, top), size);
        if (top >= 0 && box.bottom() < height()
            && std::none_of(clearOf.cbegin(), clearOf.cend(),
                            [&box](const QRect &label) { return label.intersects(box); }))
            return box;
    }
    return QRect(QPoint(left, 6), size);
}
