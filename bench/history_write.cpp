// Time of one minute write with 200 devices reporting: counter read, line assembly, the
// append (two on a day's last slot) and the atomic counter rewrite. Figures only.
//   bench_history_write [WRITES [DIRECTORY]]   (default 2000 writes in a temporary folder)
// The count starts at 1000, so the run crosses the Monday-Tuesday boundary tick.

#include "history/historystore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int writes = args.size() > 1 ? args.at(1).toInt() : 2000;
    if (writes <= 0) {
        std::fprintf(stderr, "usage: %s [WRITES [DIRECTORY]]\n", argv[0]);
        return 2;
    }
    QTemporaryDir scratch;
    const QString directory = args.size() > 2 ? args.at(2) : scratch.path();
    if (!QDir().mkpath(directory)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(directory));
        return 1;
    }
    QFile counter(QDir(directory).filePath(HistoryStore::counterFileName()));
    if (!counter.open(QIODevice::WriteOnly) || counter.write("1000\r\n") < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(counter.fileName()));
        return 1;
    }
    counter.close();

    DeviceReadings readings;
    for (int index = 0; index < kDevices; ++index) {
        readings.deviceTemperature[index] = 20.0f + index / 10.0f;
        readings.deviceCurrent[index] = 1.25f + index / 100.0f;
        readings.deviceStatusText[index] = QStringLiteral("在线");
    }

    HistoryStore store(directory);
    QDateTime now = QDateTime::currentDateTime();
    std::vector<double> microseconds;
    microseconds.reserve(writes);
    QElapsedTimer clock;
    for (int n = 0; n < writes; ++n) {
        clock.start();
        store.recordHistoryMinute(readings, now);
        microseconds.push_back(clock.nsecsElapsed() / 1000.0);
        now = now.addSecs(60);
    }
    std::vector<double> sorted = microseconds;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double fraction) {
        return sorted[std::min<size_t>(sorted.size() - 1, size_t(fraction * sorted.size()))];
    };
    std::printf("minute write, 200 records, %d writes in %s: median %.0f us, 99th %.0f us, "
                "max %.0f us (budget 5000 us); count now %d\n",
                writes, qPrintable(directory), at(0.5), at(0.99), sorted.back(),
                store.historyLineCount());
    return 0;
}
