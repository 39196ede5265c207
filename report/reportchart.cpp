#include "report/reportchart.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFormat>
#include <cmath>

namespace {

constexpr int kChartIndex = QTextFormat::UserProperty + 1;
constexpr int kChartWidth = QTextFormat::UserProperty + 2;
constexpr int kChartHeight = QTextFormat::UserProperty + 3;
constexpr qint64 kChartMinuteMs = 60 * 1000;
constexpr qint64 kChartHourMs = 3600 * 1000;
constexpr qint64 kChartDayMs = 24 * kChartHourMs;

// Index ranges [first, last] of points with finite values and no missing step between them.
QVector<QPair<int, int>> chartRuns(const ReportSeries &series)
{
    const qint64 step = series.hourly ? kChartHourMs : kChartMinuteMs;
    QVector<QPair<int, int>> runs;
    int first = -1;
    for (int i = 0; i < series.x.size(); ++i) {
        const bool finite = std::isfinite(series.value.at(i));
        if (first >= 0 && (!finite || series.x.at(i) - series.x.at(i - 1) > step + step / 2)) {
            runs.append({first, i - 1});
            first = -1;
        }
        if (finite && first < 0)
            first = i;
    }
    if (first >= 0)
        runs.append({first, int(series.x.size()) - 1});
    return runs;
}

double chartAt(const QVector<double> &values, int i, double fallback)
{
    return i < values.size() && std::isfinite(values.at(i)) ? values.at(i) : fallback;
}

} // namespace

ReportChart::ReportChart(const QVector<ReportSeries> &series, qint64 fromMs, qint64 toMs, const QFont &font,
                         QObject *parent)
    : QObject(parent), all(series), from(fromMs), to(toMs), labelFont(font)
{
}

void ReportChart::insert(QTextCursor &cursor, int index, const QSizeF &size)
{
    QTextCharFormat format;
    format.setObjectType(kObjectType);
    format.setProperty(kChartIndex, index);
    format.setProperty(kChartWidth, size.width());
    format.setProperty(kChartHeight, size.height());
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
}

QSizeF ReportChart::intrinsicSize(QTextDocument *, int, const QTextFormat &format)
{
    return {format.doubleProperty(kChartWidth), format.doubleProperty(kChartHeight)};
}

void ReportChart::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int, const QTextFormat &format)
{
    const int index = format.intProperty(kChartIndex);
    if (index >= 0 && index < all.size())
        paint(painter, rect, all.at(index), from, to, labelFont);
}

void ReportChart::paint(QPainter *painter, const QRectF &rect, const ReportSeries &series, qint64 fromMs, qint64 toMs,
                        const QFont &font)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const qreal pt = painter->device()->logicalDpiY() / 72.0;
    QFont small(font);
    small.setPointSizeF(5.5);
    painter->setFont(small);
    const QFontMetricsF metrics(small, painter->device());

    const QVector<QPair<int, int>> runs = chartRuns(series);
    double low = qInf(), high = -qInf();
    for (const auto &run : runs) {
        for (int i = run.first; i <= run.second; ++i) {
            const double v = series.value.at(i);
            low = std::min(low, series.hourly ? chartAt(series.min, i, v) : v);
            high = std::max(high, series.hourly ? chartAt(series.max, i, v) : v);
        }
    }
    const QString lowText = runs.isEmpty() ? QString() : QString::number(low, 'f', 1);
    const QString highText = runs.isEmpty() ? QString() : QString::number(high, 'f', 1);
    const qreal labelWidth = std::max(metrics.horizontalAdvance(lowText), metrics.horizontalAdvance(highText));
    const QRectF plot = rect.adjusted(labelWidth + 3 * pt, metrics.height() / 2, -2 * pt,
                                      -(metrics.height() + 1.5 * pt));
    painter->setPen(QPen(QColor(150, 150, 150), 0.4 * pt));
    painter->drawRect(plot);
    painter->setPen(QPen(QColor(70, 70, 70), 0.4 * pt));

    const qint64 span = std::max<qint64>(1, toMs - fromMs);
    const auto xAt = [&](qint64 ms) { return plot.left() + plot.width() * double(ms - fromMs) / double(span); };
    // A day in quarters, a month by weeks.
    const bool day = span <= kChartDayMs + kChartHourMs;
    for (int k = 0; day ? k <= 4 : k * 7 * kChartDayMs < span; ++k) {
        const qint64 ms = fromMs + (day ? k * span / 4 : k * 7 * kChartDayMs);
        const QString label = day ? QString("%1:00").arg(k * 6, 2, 10, QChar('0')) : QString("%1日").arg(k * 7 + 1);
        const qreal x = xAt(ms);
        painter->drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 1.2 * pt));
        const qreal w = metrics.horizontalAdvance(label);
        const qreal left = std::min(std::max(x - w / 2, rect.left()), rect.right() - w);
        painter->drawText(QPointF(left, plot.bottom() + 1.2 * pt + metrics.ascent()), label);
    }
    if (runs.isEmpty()) {
        painter->drawText(plot, Qt::AlignCenter, QStringLiteral("无数据"));
        painter->restore();
        return;
    }

    // A flat line sits in the middle rather than on the frame.
    const double pad = high - low < 0.1 ? 1.0 : (high - low) * 0.08;
    const double bottom = low - pad, top = high + pad;
    const auto yAt = [&](double v) { return plot.bottom() - plot.height() * (v - bottom) / (top - bottom); };
    for (const auto &[value, text] : {qMakePair(low, lowText), qMakePair(high, highText)}) {
        const qreal y = yAt(value);
        painter->drawLine(QPointF(plot.left() - 1.2 * pt, y), QPointF(plot.left(), y));
        painter->drawText(QRectF(rect.left(), y - metrics.height() / 2, labelWidth + pt, metrics.height()),
                          Qt::AlignRight | Qt::AlignVCenter, text);
    }

    painter->setClipRect(plot.adjusted(-pt, -pt, pt, pt));
    const QColor line(190, 40, 30);
    // An hour's values drawn at its middle.
    const qint64 shift = series.hourly ? kChartHourMs / 2 : 0;
    for (const auto &run : runs) {
        QPolygonF values;
        for (int i = run.first; i <= run.second; ++i)
            values << QPointF(xAt(series.x.at(i) + shift), yAt(series.value.at(i)));
        if (series.hourly) {
            QPolygonF band;
            for (int i = run.first; i <= run.second; ++i)
                band << QPointF(xAt(series.x.at(i) + shift), yAt(chartAt(series.max, i, series.value.at(i))));
            for (int i = run.second; i >= run.first; --i)
                band << QPointF(xAt(series.x.at(i) + shift), yAt(chartAt(series.min, i, series.value.at(i))));
            painter->setPen(QPen(QColor(230, 150, 140), 0.3 * pt));
            painter->setBrush(QColor(240, 180, 170));
            painter->drawPolygon(band);
        }
        painter->setPen(QPen(line, 0.6 * pt, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        if (values.size() == 1)
            painter->drawPoint(values.first());
        else
            painter->drawPolyline(values);
    }
    painter->restore();
}
