#include "testsupport.h"
#include "trend/trendchart.h"
#include "trend/trenddecimation.h"

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <qwt_plot.h>
#include <qwt_scale_div.h>

using Points = QVector<QPointF>;
using Band = QVector<TrendDecimation::BandPoint>;
Q_DECLARE_METATYPE(Band)
using LimitsList = QVector<TrendLimits>;
Q_DECLARE_METATYPE(LimitsList)

namespace {
const double kNaN = std::nan("");
const qint64 kStart = 1767225600000; // 2026-01-01 00:00:00 wall time
const qint64 kMinute = 60000;

// QTest::mouseMove moves the real cursor for widgets; the chart needs the event itself.
void moveMouse(QWidget *widget, const QPoint &to, Qt::MouseButtons held)
{
    QMouseEvent move(QEvent::MouseMove, to, widget->mapToGlobal(to), Qt::NoButton, held,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

bool same(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

QString describe(const Points &points)
{
    QStringList parts;
    for (const QPointF &p : points)
        parts << QStringLiteral("(%1,%2)").arg(p.x()).arg(p.y());
    return parts.join(' ');
}
} // namespace

class tst_trendchart : public QObject
{
    Q_OBJECT

private slots:
    void reduce_data();
    void reduce();
    void reduceBand_data();
    void reduceBand();
    void chartDrawsZoomsAndReads();
    void limitLabels_data();
    void limitLabels();
};

void tst_trendchart::reduce_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("columns");
    QTest::addColumn<double>("maxGap");
    QTest::addColumn<Points>("expected");

    QTest::newRow("lowest and highest per column, in their order")
        << QVector<double>{0, 1, 2, 3, 4, 5, 6, 7} << QVector<double>{5, 1, 9, 3, 2, 8, 0, 4}
        << 0.0 << 8.0 << 2 << 10.0 << Points{{1, 1}, {2, 9}, {5, 8}, {6, 0}};
    QTest::newRow("one point beyond each edge, columns of one point")
        << QVector<double>{0, 10, 20, 30, 40, 50} << QVector<double>{1, 2, 3, 4, 5, 6} << 15.0
        << 35.0 << 4 << 100.0 << Points{{10, 2}, {20, 3}, {30, 4}, {40, 5}};
    QTest::newRow("equal values keep the first")
        << QVector<double>{0, 1, 2} << QVector<double>{4, 4, 4} << 0.0 << 3.0 << 1 << 10.0
        << Points{{0, 4}};
    QTest::newRow("NaN breaks the line")
        << QVector<double>{0, 1, 2, 3, 4, 5} << QVector<double>{1, 2, kNaN, 4, 5, 6} << 0.0 << 6.0
        << 6 << 10.0 << Points{{0, 1}, {1, 2}, {2, kNaN}, {3, 4}, {4, 5}, {5, 6}};
    QTest::newRow("NaNs in a row are one break, none at the start")
        << QVector<double>{0, 1, 2, 3, 4} << QVector<double>{kNaN, 1, kNaN, kNaN, 4} << 0.0 << 5.0
        << 5 << 10.0 << Points{{1, 1}, {2, kNaN}, {4, 4}};
    QTest::newRow("a wide step breaks halfway")
        << QVector<double>{0, 1, 2, 10, 11} << QVector<double>{1, 2, 3, 4, 5} << 0.0 << 12.0
        << 12 << 3.0 << Points{{0, 1}, {1, 2}, {2, 3}, {6, kNaN}, {10, 4}, {11, 5}};
    QTest::newRow("a gap inside a column reduces each side")
        << QVector<double>{0, 1, 5, 6} << QVector<double>{5, 1, 9, 3} << 0.0 << 8.0 << 1 << 1.5
        << Points{{0, 5}, {1, 1}, {3, kNaN}, {5, 9}, {6, 3}};
    QTest::newRow("a NaN just beyond the edge: the line starts inside")
        << QVector<double>{0, 1, 2, 3} << QVector<double>{7, kNaN, 8, 9} << 1.5 << 2.5 << 1
        << 10.0 << Points{{2, 8}, {3, 9}};
    QTest::newRow("an empty range gives nothing")
        << QVector<double>{0, 1} << QVector<double>{1, 2} << 1.0 << 1.0 << 4 << 10.0 << Points{};
}

void tst_trendchart::reduce()
{
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, columns);
    QFETCH(double, maxGap);
    QFETCH(Points, expected);
    const Points got = TrendDecimation::reduce(x.constData(), y.constData(), x.size(), from, to,
                                               columns, maxGap);
    bool equal = got.size() == expected.size();
    for (int i = 0; equal && i < got.size(); ++i)
        equal = same(got[i].x(), expected[i].x()) && same(got[i].y(), expected[i].y());
    QVERIFY2(equal, qPrintable(describe(got) + " instead of " + describe(expected)));
}

void tst_trendchart::reduceBand_data()
{
    QTest::addColumn<QVector<double>>("low");
    QTest::addColumn<QVector<double>>("high");
    QTest::addColumn<int>("columns");
    QTest::addColumn<Band>("expected");
    // x is 0, 1, 2, 3 over 0..4.
    QTest::newRow("lowest low and highest high at the column's first and last x")
        << QVector<double>{1, 0, 2, 1} << QVector<double>{3, 4, 3, 5} << 1
        << Band{{0, 0, 5}, {3, 0, 5}};
    QTest::newRow("two columns")
        << QVector<double>{1, 0, 2, 1} << QVector<double>{3, 4, 3, 5} << 2
        << Band{{0, 0, 4}, {1, 0, 4}, {2, 1, 5}, {3, 1, 5}};
    QTest::newRow("a NaN bound breaks the band")
        << QVector<double>{1, kNaN, 2, 1} << QVector<double>{3, 4, 3, 5} << 4
        << Band{{0, 1, 3}, {1, kNaN, kNaN}, {2, 2, 3}, {3, 1, 5}};
}

void tst_trendchart::reduceBand()
{
    QFETCH(QVector<double>, low);
    QFETCH(QVector<double>, high);
    QFETCH(int, columns);
    QFETCH(Band, expected);
    const QVector<double> x{0, 1, 2, 3};
    const Band got = TrendDecimation::reduceBand(x.constData(), low.constData(), high.constData(),
                                                 4, 0, 4, columns, 10);
    QCOMPARE(got.size(), expected.size());
    for (int i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].x, expected[i].x);
        QVERIFY2(same(got[i].low, expected[i].low) && same(got[i].high, expected[i].high),
                 qPrintable(QStringLiteral("sample %1").arg(i)));
    }
}

// Two weeks of minutes for one device and three literal minutes for another.
void tst_trendchart::chartDrawsZoomsAndReads()
{
    TrendData data;
    data.fromMs = kStart;
    data.toMs = kStart + 14 * 1440 * kMinute;
    TrendSeries busy;
    busy.device = 1;
    busy.label = QStringLiteral("001 进线柜");
    for (int i = 0; i < 14 * 1440; ++i) {
        busy.x << double(kStart + i * kMinute);
        busy.temperature << 30 + i % 7;
        busy.current << 100 + i % 5;
    }
    TrendSeries few;
    few.device = 2;
    few.label = QStringLiteral("002 出线柜");
    few.x = {double(kStart), double(kStart + kMinute), double(kStart + 2 * kMinute)};
    few.temperature = {41.5, 42.2, 43};
    few.current = {12.5, 13, kNaN};
    data.series = {busy, few};
    data.limits = {{1, 80, 10, 300}, {2, 85, 15, 250}};

    TrendChart chart;
    chart.resize(800, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QSignalSpy changes(&chart, &TrendChart::viewChanged);
    chart.setData(data);
    QCOMPARE(chart.view(), qMakePair(double(data.fromMs), double(data.toMs)));
    QVERIFY(chart.plottedPointCount() > 3);
    QVERIFY2(chart.plottedPointCount() <= 2 * 800 * 2, qPrintable(QString::number(chart.plottedPointCount())));

    QWidget *canvas = chart.findChild<QWidget *>(QStringLiteral("trend_canvas"));
    QVERIFY(canvas);
    const QPoint middle = canvas->rect().center();

    changes.clear();
    chart.setView(kStart + 1440 * kMinute, kStart + 2 * 1440 * kMinute);
    QCOMPARE(chart.view(), qMakePair(double(kStart + 1440 * kMinute), double(kStart + 2 * 1440 * kMinute)));
    QCOMPARE(changes.size(), 1);

    // The wheel zooms around the time under the mouse.
    const QPair<double, double> before = chart.view();
    QWheelEvent wheel(QPointF(middle), QPointF(canvas->mapToGlobal(middle)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    const double span = chart.view().second - chart.view().first;
    QVERIFY(std::abs(span - 0.8 * (before.second - before.first)) < 1);
    QVERIFY(chart.view().first > before.first && chart.view().second < before.second);
    QCOMPARE(changes.size(), 2);

    // Dragging to the right shows earlier times.
    const QPair<double, double> zoomed = chart.view();
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, middle);
    moveMouse(canvas, middle + QPoint(100, 0), Qt::LeftButton);
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, middle + QPoint(100, 0));
    QVERIFY(chart.view().first < zoomed.first);
    QVERIFY(std::abs((chart.view().second - chart.view().first) - span) < 1);
    QVERIFY(changes.size() >= 3);

    // The right button draws a rubber band over the left half.
    const QPair<double, double> panned = chart.view();
    QTest::mousePress(canvas, Qt::RightButton, Qt::NoModifier, QPoint(0, 10));
    moveMouse(canvas, QPoint(middle.x(), 100), Qt::RightButton);
    QTest::mouseRelease(canvas, Qt::RightButton, Qt::NoModifier, QPoint(middle.x(), 100));
    QVERIFY(std::abs(chart.view().first - panned.first) < span / 100);
    QVERIFY(std::abs(chart.view().second - (panned.first + panned.second) / 2) < span / 100);
    // So does Shift with the left button, which then does not pan.
    const QPair<double, double> banded = chart.view();
    const double bandedSpan = banded.second - banded.first;
    const QPoint right(canvas->contentsRect().right(), 100);
    QTest::mousePress(canvas, Qt::LeftButton, Qt::ShiftModifier, QPoint(middle.x(), 10));
    moveMouse(canvas, right, Qt::LeftButton);
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::ShiftModifier, right);
    QVERIFY(std::abs(chart.view().first - (banded.first + banded.second) / 2) < bandedSpan / 100);
    QVERIFY(std::abs(chart.view().second - banded.second) < bandedSpan / 100);

    changes.clear();
    QTest::mouseDClick(canvas, Qt::LeftButton, Qt::NoModifier, middle);
    QCOMPARE(chart.view(), qMakePair(double(data.fromMs), double(data.toMs)));
    QCOMPARE(changes.size(), 1);

    chart.setCursorAt(kStart + kMinute);
    QCOMPARE(chart.cursorText(), QStringLiteral("2026-01-01 00:01:00\n"
                                                "001 进线柜  31.0 ℃\n"
                                                "002 出线柜  42.2 ℃"));
    QwtPlot *plot = chart.findChild<QwtPlot *>();
    QVERIFY(!plot->axisEnabled(QwtPlot::yRight));
    chart.setCurrentShown(true);
    QVERIFY(plot->axisEnabled(QwtPlot::yRight));
    chart.setCursorAt(kStart + 2 * kMinute);
    QCOMPARE(chart.cursorText(), QStringLiteral("2026-01-01 00:02:00\n"
                                                "001 进线柜  32.0 ℃  102.00 A\n"
                                                "002 出线柜  43.0 ℃  -- A"));
    chart.setCurrentShown(false);
    QVERIFY(!plot->axisEnabled(QwtPlot::yRight));

    // Live data a minute on: the whole view slides; a zoom in the middle stays.
    TrendData later = data;
    later.fromMs += kMinute;
    later.toMs += kMinute;
    chart.updateData(later);
    QCOMPARE(chart.view(), qMakePair(double(later.fromMs), double(later.toMs)));
    chart.setView(kStart + 1440 * kMinute, kStart + 2 * 1440 * kMinute);
    chart.updateData(data);
    QCOMPARE(chart.view(), qMakePair(double(kStart + 1440 * kMinute), double(kStart + 2 * 1440 * kMinute)));

    // The read-out comes with the mouse and goes when it leaves; a picture never holds it,
    // and has its title line above the plot.
    moveMouse(canvas, middle, Qt::NoButton);
    QVERIFY(!chart.readoutRect().isEmpty());
    const QImage hovered = canvas->grab().toImage();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trend.png"));
    QVERIFY(chart.savePng(path, QStringLiteral("站 趋势")));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(canvas, &leave);
    QVERIFY(chart.readoutRect().isEmpty());
    QCOMPARE(chart.cursorText(), QString());
    QVERIFY(canvas->grab().toImage() != hovered);
    const QString clean = dir.filePath(QStringLiteral("clean.png"));
    QVERIFY(chart.savePng(clean, QStringLiteral("站 趋势")));
    const QImage image(path);
    QCOMPARE(image, QImage(clean));
    QVERIFY(image.height() > plot->height() + 10);
    int ink = 0;
    for (int x = 0; x < image.width(); ++x)
        ink += image.pixel(x, 12) != image.pixel(0, 0);
    QVERIFY2(ink > 5, qPrintable(QString::number(ink)));
    int busyPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            busyPixels += QColor(image.pixel(x, y)) == TrendChart::seriesColour(0);
    }
    QVERIFY2(busyPixels > 200, qPrintable(QString::number(busyPixels)));
}

void tst_trendchart::limitLabels_data()
{
    // Each label with its colour: the series' own, or "grey" for a dark neutral one. 61 and
    // 299 lie close to 60 and 300: their labels must not overprint the shared ones. Data at
    // 20..30 ℃ and 0..10 A leaves most limits off the axes, which stay fitted to the data.
    QTest::addColumn<LimitsList>("limits");
    QTest::addColumn<double>("highest"); // the data run from highest - 10 (0 for 90)
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("four share the defaults")
        << LimitsList{{1, 60, 10, 300}, {50, 60, 10, 300}, {100, 60, 10, 300}, {200, 60, 10, 300}}
        << 90.0
        << QStringList{"温度上限 60 ℃：001 050 100 200 grey", "温度下限 10 ℃：001 050 100 200 grey",
                       "电流上限 300 A：001 050 100 200 grey"};
    QTest::newRow("mixed") << LimitsList{{7, 60, 10, 300}, {8, 60, 5, 300}, {9, 61, 10, 299}} << 90.0
                           << QStringList{"温度上限 60 ℃：007 008 grey", "009 温度上限 61 ℃ #2a9d2a",
                                          "温度下限 10 ℃：007 009 grey", "008 温度下限 5 ℃ #d62728",
                                          "电流上限 300 A：007 008 grey", "009 电流上限 299 A #2a9d2a"};
    QTest::newRow("beyond the data")
        << LimitsList{{5, 80, -40, 50}, {6, 90, -40, 50}, {7, 28, -40, 50}} << 30.0
        << QStringList{"▲ 005 温度上限 80 ℃ #1f5fbf", "▲ 006 温度上限 90 ℃ #d62728",
                       "007 温度上限 28 ℃ #2a9d2a", "▼ 温度下限 -40 ℃：005 006 007 grey",
                       "▲ 电流上限 50 A：005 006 007 grey"};
}

void tst_trendchart::limitLabels()
{
    QFETCH(LimitsList, limits);
    QFETCH(double, highest);
    QFETCH(QStringList, expected);
    TrendData data;
    data.fromMs = kStart;
    data.toMs = kStart + 60 * kMinute;
    data.limits = limits;
    const double lowest = highest > 80 ? 0 : highest - 10;
    for (const TrendLimits &limit : limits)
        data.series.append({limit.device, QStringLiteral("%1 柜").arg(limit.device, 3, 10, QChar('0')),
                            {double(kStart), double(kStart + kMinute)}, {lowest, highest},
                            {0, highest > 80 ? 310.0 : 10.0}, {}, {}, {}, {}});
    TrendChart chart;
    chart.resize(800, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.setCurrentShown(true);
    chart.setData(data);
    const QwtPlot *plot = chart.findChild<QwtPlot *>();
    QVERIFY(plot->axisScaleDiv(QwtPlot::yLeft).upperBound() < highest + 5);
    const QRect canvas = chart.findChild<QWidget *>(QStringLiteral("trend_canvas"))->contentsRect();
    chart.setCursorAt(kStart + kMinute / 2);
    const QRect readout = chart.readoutRect();
    QVERIFY(!readout.isEmpty());
    const QVector<TrendChart::LimitLabel> labels = chart.limitLabels();
    QStringList drawn;
    for (int i = 0; i < labels.size(); ++i) {
        const QRect rect = labels[i].rect;
        QVERIFY2(canvas.contains(rect) && !rect.intersects(readout), qPrintable(labels[i].text));
        for (int j = i + 1; j < labels.size(); ++j)
            QVERIFY2(!rect.intersects(labels[j].rect),
                     qPrintable(labels[i].text + " / " + labels[j].text));
        const QColor colour = labels[i].colour;
        const bool grey = colour.saturation() == 0 && colour.lightness() < 100;
        drawn << labels[i].text + (grey ? QStringLiteral(" grey") : ' ' + colour.name());
    }
    drawn.sort();
    expected.sort();
    QCOMPARE(drawn, expected);
}

KESTRO_TEST_MAIN(tst_trendchart)
#include "tst_trendchart.moc"
