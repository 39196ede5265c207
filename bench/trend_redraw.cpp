// The trend chart's redraw at the trend window's width: 50 zoom and pan steps, each being
// TrendChart::setView (re-decimation from the full data, hand-over, replot) and a repaint of
// the whole widget (grab). Loads: a week of minutes for 8 devices (temperature alone, then
// with current), and a year of hours for 8 devices with their min..max bands. Reports median
// and worst per step; never fails on time.
//   QT_QPA_PLATFORM=offscreen bench_trend_redraw [STEPS] [PNG_FOLDER]
// With PNG_FOLDER, each load's whole range is also saved there as a picture.

#include "bench/threadcpu.h"
#include "bench/zoomsteps.h"
#include "core/walltime.h"
#include "trend/trendchart.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>
#ifdef Q_OS_UNIX
#include <time.h>
#endif

namespace {

constexpr int kDevices = 8;
constexpr qint64 kStartMs = 1767225600000; // 2026-01-01 00:00 wall time

TrendData makeData(bool hourly)
{
    TrendData data;
    data.hourly = hourly;
    const qint64 stepMs = hourly ? WallTime::kHourMs : 60 * 1000;
    const int points = hourly ? 365 * 24 : 7 * 1440;
    data.fromMs = kStartMs;
    data.toMs = kStartMs + qint64(points) * stepMs;
    quint32 seed = 11;
    for (int d = 0; d < kDevices; ++d) {
        TrendSeries series;
        series.device = d + 1;
        series.label = QStringLiteral("%1 设备%2").arg(d + 1, 3, 10, QLatin1Char('0')).arg(d + 1);
        for (int i = 0; i < points; ++i) {
            // The station was off for a stretch in the middle.
            if (i > points / 2 && i < points / 2 + points / 100)
                continue;
            seed = seed * 1664525u + 1013904223u;
            const double noise = ((seed >> 8) % 1000) / 1000.0;
            const double t = 30 + 5 * d + 8 * std::sin(i * 0.002 + d) + 2 * noise;
            const double a = 100 + 20 * d + 30 * std::sin(i * 0.003 + d) + 5 * noise;
            series.x.append(double(kStartMs + qint64(i) * stepMs));
            series.temperature.append(t);
            series.current.append(a);
            if (hourly) {
                series.temperatureMin.append(t - 1 - noise);
                series.temperatureMax.append(t + 1 + noise);
                series.currentMin.append(a - 5 - noise);
                series.currentMax.append(a + 5 + noise);
            }
        }
        data.series.append(series);
        data.limits.append({d + 1, 80.0 + d, 20.0, 300.0});
    }
    return data;
}


void run(const char *name, const TrendData &data, bool current, int count, const QString &pngs)
{
    TrendChart chart;
    chart.resize(1160, 640);
    chart.show();
    chart.setCurrentShown(current);
    chart.setData(data);
    QApplication::processEvents(); // lets the layout settle before timing
    const QWidget *canvas = chart.findChild<QWidget *>(QStringLiteral("trend_canvas"));
    if (!pngs.isEmpty())
        chart.savePng(QDir(pngs).filePath(QString::fromLatin1(name).replace(' ', '_') + ".png"));

    std::vector<double> times, cpu;
    double points = 0;
    for (const auto &[from, to] : zoomPanSteps(data.fromMs, data.toMs, count)) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = threadCpuMs();
        chart.setView(from, to);
        chart.grab();
        times.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(threadCpuMs() - cpuStart);
        points += chart.plottedPointCount();
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-44s %6d %10.2f %10.2f %10.2f %10.2f %12.0f\n", name,
                canvas ? canvas->width() : -1, times[times.size() / 2], times.back(),
                cpu[cpu.size() / 2], cpu.back(), points / count);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(4, atoi(argv[1])) : 50;
    const QString pngs = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    std::printf("%d zoom/pan steps; per step: setView + grab\n", count);
    std::printf("%-44s %6s %10s %10s %10s %10s %12s\n", "load", "px", "median ms", "worst ms",
                "cpu median", "cpu worst", "points/step");
    const TrendData week = makeData(false);
    const TrendData year = makeData(true);
    run("week of minutes, 8 devices", week, false, count, pngs);
    run("week of minutes, 8 devices + current", week, true, count, pngs);
    run("year of hours, 8 devices, bands", year, false, count, pngs);
    run("year of hours, 8 devices, bands + current", year, true, count, pngs);
    return 0;
}
