// How long a trend takes from pressing "显示" to a chart that holds the data and has painted,
// offscreen, with the station's own window and controller. Reports figures only.
//   bench_trend_load WEEK_DIRECTORY [runs] [archive devices]
// WEEK_DIRECTORY: a week of history as bench_make_history_week leaves it (newest line now);
// its files are read once first so they are in the page cache. The archive part fills an
// hourly archive of `archive devices` (4..200, default 200) x 8760 hours ending now in a
// folder of its own and shows a year of 4 devices from it.

#include "core/walltime.h"
#include "storage/hourlyarchive.h"
#include "storage/stationdatabase.h"
#include "trend/trendchart.h"
#include "trend/trendcontroller.h"
#include "trend/trendloader.h"
#include "trend/trendwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

const char *const kDevices = "1,50,100,200";
constexpr int kYearHours = 8760;

struct Run
{
    double shownMs = 0;  // click to data handed to the chart
    double paintedMs = 0; // click to the chart painted with it
    double longestGapMs = 0; // the GUI thread's longest stall meanwhile (5 ms ticks)
    int points = 0;
    int plotted = 0;
};

Run pressShow(TrendController *controller, int preset)
{
    TrendWindow *window = controller->window();
    window->setDeviceText(QString::fromLatin1(kDevices));
    window->setPreset(preset);
    Run run;
    QElapsedTimer clock, gap;
    QEventLoop loop;
    QTimer ticks;
    ticks.setInterval(5);
    QObject::connect(&ticks, &QTimer::timeout, [&]() {
        run.longestGapMs = qMax(run.longestGapMs, gap.nsecsElapsed() / 1e6);
        gap.restart();
    });
    const auto shown = QObject::connect(window, &TrendWindow::dataShown, [&]() {
        run.shownMs = clock.nsecsElapsed() / 1e6;
        window->chart()->repaint();
        run.paintedMs = clock.nsecsElapsed() / 1e6;
        loop.quit();
    });
    ticks.start();
    gap.start();
    clock.start();
    window->findChild<QPushButton *>(QStringLiteral("trend_show_button"))->click();
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(shown);
    for (const TrendSeries &series : window->data().series)
        run.points += series.x.size();
    run.plotted = window->chart()->plottedPointCount();
    return run;
}

void report(const char *what, QVector<Run> runs)
{
    auto median = [&runs](double Run::*field) {
        std::sort(runs.begin(), runs.end(),
                  [field](const Run &a, const Run &b) { return a.*field < b.*field; });
        return runs.at(runs.size() / 2).*field;
    };
    const Run last = runs.last();
    std::printf("%-34s points %6d, plotted %5d   shown median %7.1f ms   painted median %7.1f ms "
                "(min %.1f, max %.1f)   longest GUI stall median %5.1f ms   (%d runs)\n",
                what, last.points, last.plotted, median(&Run::shownMs), median(&Run::paintedMs),
                std::min_element(runs.begin(), runs.end(),
                                 [](const Run &a, const Run &b) { return a.paintedMs < b.paintedMs; })
                    ->paintedMs,
                std::max_element(runs.begin(), runs.end(),
                                 [](const Run &a, const Run &b) { return a.paintedMs < b.paintedMs; })
                    ->paintedMs,
                median(&Run::longestGapMs), int(runs.size()));
}

QVector<Run> timeRuns(const QString &directory, int preset, int runs)
{
    TrendController controller(directory, nullptr);
    controller.open();
    controller.window()->resize(1280, 720);
    QVector<Run> results;
    pressShow(&controller, preset); // warm-up: the first paint loads fonts
    for (int k = 0; k < runs; ++k)
        results << pressShow(&controller, preset);
    return results;
}

bool fillArchive(const QString &directory, int devices)
{
    StationDatabase database(directory);
    QString error;
    if (!database.open(&error)) {
        std::fprintf(stderr, "archive: %s\n", qPrintable(error));
        return false;
    }
    HourlyArchive archive(&database);
    const qint64 newest = WallTime::hourStart(WallTime::wallMs(QDateTime::currentDateTime()));
    const qint64 utcOffset = newest - QDateTime::currentSecsSinceEpoch() / 3600 * 3600;
    for (int device = 1; device <= devices; ++device) {
        QVector<ArchiveHour> rows;
        rows.reserve(kYearHours);
        for (int age = kYearHours - 1; age >= 0; --age) {
            ArchiveHour row;
            row.device = device;
            row.hour = newest - age * 3600LL;
            row.utc = row.hour - utcOffset;
            row.temperatureMinutes = row.currentMinutes = 60;
            const double base = 20 + (device % 17) + (age % 24) * 0.5;
            row.temperatureMin = base - 1.5;
            row.temperatureMean = base;
            row.temperatureMax = base + 2.25;
            row.currentMin = (device % 5) + 0.5;
            row.currentMean = row.currentMin + 1;
            row.currentMax = row.currentMin + 3;
            rows << row;
        }
        if (!archive.write(rows, &error)) {
            std::fprintf(stderr, "archive: %s\n", qPrintable(error));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The per-user settings the window remembers its choice in stay out of the real ones.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    const QStringList args = app.arguments();
    const QString week = args.value(1);
    const int runs = args.size() > 2 ? args.at(2).toInt() : 7;
    const int archiveDevices = args.size() > 3 ? args.at(3).toInt() : 200;
    if (week.isEmpty() || runs <= 0 || archiveDevices < 4 || archiveDevices > 200) {
        std::fprintf(stderr, "usage: %s WEEK_DIRECTORY [runs] [archive devices 4..200]\n", argv[0]);
        return 2;
    }

    qint64 bytes = 0;
    for (const QFileInfo &info : QDir(week).entryInfoList({QStringLiteral("History_*")})) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            bytes += file.readAll().size();
    }
    std::printf("week of history: %.1f MB in %s, read once into the page cache\n", bytes / 1e6,
                qPrintable(week));
    // The reading alone, on this thread, for comparison.
    {
        TrendRequest request;
        request.devices = {1, 50, 100, 200};
        request.toMs = WallTime::wallMs(QDateTime::currentDateTime());
        request.fromMs = request.toMs - TrendLoader::kWeekMs;
        QVector<double> ms;
        int points = 0;
        for (int k = 0; k < runs; ++k) {
            QElapsedTimer timer;
            timer.start();
            const TrendLoad load = TrendLoader::readWeeklyFiles(week, request, request.fromMs);
            ms << timer.nsecsElapsed() / 1e6;
            points = 0;
            for (const TrendSeries &series : load.data.series)
                points += series.x.size();
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-34s points %6d   read median %7.1f ms   (%d runs)\n",
                    "7 days x 4 devices, reading alone:", points, ms.at(ms.size() / 2), runs);
    }
    report("7 days x 4 devices, weekly files:", timeRuns(week, 3, runs));
    report("24 hours x 4 devices, weekly files:", timeRuns(week, 2, runs));

    QTemporaryDir archiveDir;
    QElapsedTimer fill;
    fill.start();
    if (!fillArchive(archiveDir.path(), archiveDevices))
        return 1;
    std::printf("archive: %d devices x %d hours written in %.1f s, %.1f MB\n", archiveDevices,
                kYearHours, fill.elapsed() / 1000.0,
                QFileInfo(QDir(archiveDir.path()).filePath(QStringLiteral("kestro.db"))).size() / 1e6);
    report("1 year x 4 devices, archive:", timeRuns(archiveDir.path(), 5, runs));
    report("30 days x 4 devices, archive:", timeRuns(archiveDir.path(), 4, runs));
    return 0;
}
