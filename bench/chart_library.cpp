// Which chart library redraws a trend fast enough: the same zoom and pan steps drawn with
// Qt Charts and with Qwt, each step being re-decimation from the full data, handing the points
// over, and a full repaint (grab) of a plot about 1100 px wide. Two loads: a week of minutes
// for 8 devices (8 lines), and a year of hours for 8 devices (8 mean lines with min..max
// bands). Reports figures only; never fails on time.
// Bands are drawn as each library's own band (QAreaSeries, QwtPlotIntervalCurve) and, with
// Qwt, also as one rectangle per neighbouring pair of samples ("strips"), as the trend does.
//   QT_QPA_PLATFORM=offscreen bench_chart_library [STEPS [PEN_WIDTH]]   (default 50, 1)

#include "bench/threadcpu.h"
#include "bench/zoomsteps.h"
#include "trend/trenddecimation.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPixmap>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_intervalcurve.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>
#ifdef Q_OS_UNIX
#include <time.h>
#endif

using namespace QtCharts;

namespace {

constexpr int kSeries = 8;
constexpr int kColumns = 1100;
constexpr double kMinuteMs = 60 * 1000.0;
constexpr double kHourMs = 3600 * 1000.0;
double penWidth = 1;

struct Load
{
    const char *name;
    bool band;
    std::vector<double> x;
    std::vector<std::vector<double>> mean, low, high;
};

Load makeLoad(const char *name, bool band, int points, double stepMs)
{
    Load load{name, band, {}, {}, {}, {}};
    const double start = 1767225600000.0; // 2026-01-01 00:00 wall time
    for (int i = 0; i < points; ++i)
        load.x.push_back(start + i * stepMs);
    quint32 seed = 7;
    for (int s = 0; s < kSeries; ++s) {
        std::vector<double> mean(points), low(points), high(points);
        for (int i = 0; i < points; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = ((seed >> 8) % 1000) / 1000.0;
            mean[i] = 30 + 5 * s + 8 * std::sin(i * 0.002 + s) + 2 * noise;
            low[i] = mean[i] - 1 - noise;
            high[i] = mean[i] + 1 + noise;
        }
        load.mean.push_back(mean);
        load.low.push_back(low);
        load.high.push_back(high);
    }
    return load;
}

std::vector<std::pair<double, double>> steps(const Load &load, int count)
{
    return zoomPanSteps(load.x.front(), load.x.back(), count);
}

struct Figures
{
    double median;
    double worst;
    double cpuMedian;
    double cpuWorst;
    double points;
};


Figures measure(const std::vector<std::pair<double, double>> &views,
                const std::function<int(double, double)> &step)
{
    std::vector<double> times, cpu;
    double points = 0;
    step(views.front().first, views.front().second); // first layout and font loading
    for (const auto &view : views) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = threadCpuMs();
        points += step(view.first, view.second);
        times.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    return {times[times.size() / 2], times.back(), cpu[cpu.size() / 2], cpu.back(),
            points / views.size()};
}

// A band drawn as one filled rectangle per pair of neighbouring samples (the trend's own band
// item fills a stretch of wide steps as one polygon instead).
class StripBand : public QwtPlotItem
{
public:
    QVector<TrendDecimation::BandPoint> samples;
    QColor fill;
    void draw(QPainter *painter, const QwtScaleMap &xMap, const QwtScaleMap &yMap,
              const QRectF &) const override
    {
        QVector<QRectF> rects;
        rects.reserve(samples.size());
        for (int i = 0; i + 1 < samples.size(); ++i) {
            const double x0 = xMap.transform(samples[i].x), x1 = xMap.transform(samples[i + 1].x);
            const double y0 = yMap.transform(samples[i].high), y1 = yMap.transform(samples[i].low);
            rects.append(QRectF(x0, y0, x1 - x0, y1 - y0));
        }
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRects(rects);
    }
};

QColor colour(int i)
{
    return QColor::fromHsv((i * 45) % 360, 220, 200);
}

Figures runQtCharts(const Load &load, const std::vector<std::pair<double, double>> &views)
{
    auto *chart = new QChart;
    QChartView view(chart);
    view.resize(kColumns + 140, 650);
    view.show();
    auto *axisX = new QDateTimeAxis;
    axisX->setFormat("MM-dd hh:mm");
    auto *axisY = new QValueAxis;
    chart->addAxis(axisX, Qt::AlignBottom);
    chart->addAxis(axisY, Qt::AlignLeft);
    std::vector<QLineSeries *> lines, lows, highs;
    for (int s = 0; s < kSeries; ++s) {
        auto *line = new QLineSeries;
        line->setPen(QPen(colour(s), penWidth));
        line->setName(QString("%1 device").arg(s + 1, 3, 10, QChar('0')));
        if (load.band) {
            auto *low = new QLineSeries, *high = new QLineSeries;
            auto *area = new QAreaSeries(high, low);
            QColor fill = colour(s);
            fill.setAlpha(50);
            area->setBrush(fill);
            area->setPen(Qt::NoPen);
            chart->addSeries(area);
            area->attachAxis(axisX);
            area->attachAxis(axisY);
            lows.push_back(low);
            highs.push_back(high);
        }
        chart->addSeries(line);
        line->attachAxis(axisX);
        line->attachAxis(axisY);
        lines.push_back(line);
    }
    const int n = int(load.x.size());
    return measure(views, [&](double from, double to) {
        int points = 0;
        double lowest = 1e300, highest = -1e300;
        for (int s = 0; s < kSeries; ++s) {
            const QVector<QPointF> reduced = TrendDecimation::reduce(
                load.x.data(), load.mean[s].data(), n, from, to, kColumns, 1e300);
            lines[s]->replace(reduced);
            points += reduced.size();
            for (const QPointF &p : reduced) {
                lowest = std::min(lowest, p.y());
                highest = std::max(highest, p.y());
            }
            if (load.band) {
                const auto band = TrendDecimation::reduceBand(load.x.data(), load.low[s].data(),
                                                              load.high[s].data(), n, from, to,
                                                              kColumns, 1e300);
                QVector<QPointF> low, high;
                low.reserve(band.size());
                high.reserve(band.size());
                for (const auto &b : band) {
                    low.append(QPointF(b.x, b.low));
                    high.append(QPointF(b.x, b.high));
                    lowest = std::min(lowest, b.low);
                    highest = std::max(highest, b.high);
                }
                lows[s]->replace(low);
                highs[s]->replace(high);
                points += 2 * band.size();
            }
        }
        axisX->setRange(QDateTime::fromMSecsSinceEpoch(qint64(from), Qt::UTC),
                        QDateTime::fromMSecsSinceEpoch(qint64(to), Qt::UTC));
        axisY->setRange(lowest - 1, highest + 1);
        view.grab();
        return points;
    });
}

Figures runQwt(const Load &load, const std::vector<std::pair<double, double>> &views, bool strips)
{
    QwtPlot plot;
    plot.resize(kColumns + 140, 650);
    plot.setCanvasBackground(Qt::white);
    auto *scaleDraw = new QwtDateScaleDraw(Qt::UTC);
    plot.setAxisScaleDraw(QwtPlot::xBottom, scaleDraw);
    plot.setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::UTC));
    plot.insertLegend(new QwtLegend, QwtPlot::BottomLegend);
    auto *grid = new QwtPlotGrid;
    grid->attach(&plot);
    plot.show();
    std::vector<QwtPlotCurve *> lines;
    std::vector<QwtPlotIntervalCurve *> bands;
    std::vector<StripBand *> stripItems;
    for (int s = 0; s < kSeries; ++s) {
        if (load.band) {
            if (strips) {
                auto *strip = new StripBand;
                strip->fill = colour(s);
                strip->fill.setAlpha(50);
                strip->attach(&plot);
                stripItems.push_back(strip);
            } else {
                auto *band = new QwtPlotIntervalCurve;
                QColor fill = colour(s);
                fill.setAlpha(50);
                band->setBrush(fill);
                band->setPen(QPen(Qt::NoPen));
                band->setItemAttribute(QwtPlotItem::Legend, false);
                band->attach(&plot);
                bands.push_back(band);
            }
        }
        auto *line = new QwtPlotCurve(QString("%1 device").arg(s + 1, 3, 10, QChar('0')));
        line->setPen(QPen(colour(s), penWidth));
        line->setPaintAttribute(QwtPlotCurve::ClipPolygons, true);
        line->attach(&plot);
        lines.push_back(line);
    }
    const int n = int(load.x.size());
    return measure(views, [&](double from, double to) {
        int points = 0;
        double lowest = 1e300, highest = -1e300;
        for (int s = 0; s < kSeries; ++s) {
            const QVector<QPointF> reduced = TrendDecimation::reduce(
                load.x.data(), load.mean[s].data(), n, from, to, kColumns, 1e300);
            for (const QPointF &p : reduced) {
                lowest = std::min(lowest, p.y());
                highest = std::max(highest, p.y());
            }
            points += reduced.size();
            lines[s]->setSamples(reduced);
            if (load.band) {
                const auto band = TrendDecimation::reduceBand(load.x.data(), load.low[s].data(),
                                                              load.high[s].data(), n, from, to,
                                                              kColumns, 1e300);
                QVector<QwtIntervalSample> samples;
                samples.reserve(band.size());
                for (const auto &b : band) {
                    samples.append(QwtIntervalSample(b.x, b.low, b.high));
                    lowest = std::min(lowest, b.low);
                    highest = std::max(highest, b.high);
                }
                if (strips)
                    stripItems[s]->samples = band;
                else
                    bands[s]->setSamples(samples);
                points += 2 * band.size();
            }
        }
        plot.setAxisScale(QwtPlot::xBottom, from, to);
        plot.setAxisScale(QwtPlot::yLeft, lowest - 1, highest + 1);
        plot.replot();
        plot.grab();
        return points;
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int count = argc > 1 ? std::max(4, atoi(argv[1])) : 50;
    if (argc > 2)
        penWidth = atof(argv[2]);
    const Load loads[] = {makeLoad("week of minutes, 8 lines", false, 7 * 1440, kMinuteMs),
                          makeLoad("year of hours, 8 lines + bands", true, 365 * 24, kHourMs)};
    std::printf("%d zoom/pan steps, plot %d px wide; per step: decimate + hand over + grab\n",
                count, kColumns);
    std::printf("pen width %.1f\n", penWidth);
    std::printf("%-32s %-14s %10s %10s %10s %10s %12s\n", "load", "library", "median ms",
                "worst ms", "cpu median", "cpu worst", "points/step");
    for (const Load &load : loads) {
        const auto views = steps(load, count);
        const Figures charts = runQtCharts(load, views);
        std::printf("%-32s %-14s %10.2f %10.2f %10.2f %10.2f %12.0f\n", load.name, "Qt Charts",
                    charts.median, charts.worst, charts.cpuMedian, charts.cpuWorst, charts.points);
        const Figures qwt = runQwt(load, views, false);
        std::printf("%-32s %-14s %10.2f %10.2f %10.2f %10.2f %12.0f\n", load.name, "Qwt",
                    qwt.median, qwt.worst, qwt.cpuMedian, qwt.cpuWorst, qwt.points);
        if (load.band) {
            const Figures strips = runQwt(load, views, true);
            std::printf("%-32s %-14s %10.2f %10.2f %10.2f %10.2f %12.0f\n", load.name,
                        "Qwt, strips", strips.median, strips.worst, strips.cpuMedian,
                        strips.cpuWorst, strips.points);
        }
    }
    return 0;
}
