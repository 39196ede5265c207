#pragma once

#include "report/reportdata.h"

#include <QFont>
#include <QObject>
#include <QTextObjectInterface>
#include <QVector>

class QTextCursor;

// The small trend pictures of a report's hottest devices, painted as lines by the document's
// own painter where the layout puts them, so a PDF holds them as vectors, not as pixels.
class ReportChart : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static constexpr int kObjectType = QTextFormat::UserObject + 1;

    // fromMs..toMs (wall milliseconds) is the width of every picture: the whole period.
    ReportChart(const QVector<ReportSeries> &series, qint64 fromMs, qint64 toMs, const QFont &font,
                QObject *parent = nullptr);

    // Puts the picture of series[index] at the cursor, size in the layout's units.
    static void insert(QTextCursor &cursor, int index, const QSizeF &size);

    // A polyline of the minute values, or each hour's min-max band with its mean; a gap in
    // the data is a gap in the line. Ticks only at the lowest and highest value and at even
    // even steps of the period.
    static void paint(QPainter *painter, const QRectF &rect, const ReportSeries &series, qint64 fromMs,
                      qint64 toMs, const QFont &font);

    QSizeF intrinsicSize(QTextDocument *doc, int posInDocument, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *doc, int posInDocument,
                    const QTextFormat &format) override;

private:
    QVector<ReportSeries> all;
    qint64 from;
    qint64 to;
    QFont labelFont;
};
