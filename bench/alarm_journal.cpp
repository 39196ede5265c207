// What the alarm journal costs the GUI thread: an empty tick, one event, a flood of 600
// alarms committed with full sync, a backlog of 100000 waiting events going out at once,
// and, for information, filling the journal to a million events and opening it again
// (the quick check reads the whole file). Figures only.
//   bench_alarm_journal [REPETITIONS [DIRECTORY]]   (default 50, a temporary folder)

#include "storage/alarmjournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QVector<JournalEvent> flood(int count, qint64 epochMs)
{
    QVector<JournalEvent> events;
    for (int n = 0; n < count; ++n) {
        const int device = n % 200 + 1;
        events << JournalEvent{device, 1 + n / 200, QStringLiteral("alarm"),
                               QStringLiteral("2026-03-02 08:00:00"), epochMs, 95.5, 80.0,
                               QString::number(device) + QStringLiteral("温度异常"), epochMs - 5000};
    }
    return events;
}

struct Figures
{
    double median;
    double max;
};

Figures figures(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.back()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int repetitions = args.size() > 1 ? args.at(1).toInt() : 50;
    if (repetitions <= 0) {
        std::fprintf(stderr, "usage: %s [REPETITIONS [DIRECTORY]]\n", argv[0]);
        return 2;
    }
    QTemporaryDir scratch;
    const QString directory = args.size() > 2 ? args.at(2) : scratch.path();
    const QDir dir(directory);
    if (!QDir().mkpath(dir.filePath(QStringLiteral("flood")))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(directory));
        return 1;
    }
    std::printf("alarm journal in %s\n", qPrintable(directory));

    StationDatabase floodDatabase(dir.filePath(QStringLiteral("flood")));
    AlarmJournal journal(floodDatabase);
    if (!journal.fault().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(journal.fault()));
        return 1;
    }
    QElapsedTimer clock;
    constexpr int kEmpty = 1000000;
    clock.start();
    for (int n = 0; n < kEmpty; ++n)
        journal.append({});
    std::printf("empty tick: %.1f ns per append (%d appends)\n", double(clock.nsecsElapsed()) / kEmpty, kEmpty);

    const QVector<JournalEvent> one = flood(1, 1000);
    const QVector<JournalEvent> tick = flood(600, 2000);
    std::vector<double> single;
    std::vector<double> floods;
    for (int n = 0; n < repetitions; ++n) {
        clock.start();
        journal.append(one);
        single.push_back(clock.nsecsElapsed() / 1e6);
        clock.start();
        journal.append(tick);
        floods.push_back(clock.nsecsElapsed() / 1e6);
    }
    const Figures singleFigures = figures(single);
    const Figures floodFigures = figures(floods);
    std::printf("one event, committed: median %.2f ms, max %.2f ms (%d ticks)\n", singleFigures.median,
                singleFigures.max, repetitions);
    std::printf("flood of 600 alarms in one tick, committed: median %.2f ms, max %.2f ms (%d ticks)\n",
                floodFigures.median, floodFigures.max, repetitions);

    // A folder that is not there yet holds the events back until it is made.
    const QString late = dir.filePath(QStringLiteral("late"));
    {
        StationDatabase lateDatabase(late);
        AlarmJournal waiting(lateDatabase, nullptr, 3600000);
        for (int n = 0; n < AlarmJournal::kDefaultPendingLimit / 500 - 1; ++n)
            waiting.append(flood(500, 3000 + n));
        QDir().mkpath(late);
        const int pending = waiting.pendingCount() + one.size();
        // The first slice goes with the next tick, the rest from the event loop.
        QElapsedTimer total;
        total.start();
        clock.start();
        waiting.append(one);
        std::vector<double> slices{clock.nsecsElapsed() / 1e6};
        while (waiting.pendingCount() > 0 && waiting.fault().isEmpty()) {
            clock.start();
            QCoreApplication::processEvents();
            slices.push_back(clock.nsecsElapsed() / 1e6);
        }
        const Figures sliceFigures = figures(slices);
        std::printf("backlog of %d waiting events written once the folder is there: %.0f ms in all, "
                    "%d event-loop passes, median %.1f ms, longest %.1f ms%s\n",
                    pending, total.nsecsElapsed() / 1e6, int(slices.size()), sliceFigures.median,
                    sliceFigures.max, waiting.pendingCount() == 0 ? "" : " (FAILED)");
    }

    constexpr int kMillion = 1000000;
    const QString big = dir.filePath(QStringLiteral("million"));
    QDir().mkpath(big);
    {
        StationDatabase bigDatabase(big);
        AlarmJournal filling(bigDatabase);
        clock.start();
        int events = 0;
        for (qint64 k = 0; events < kMillion; ++k) {
            const QVector<JournalEvent> next = flood(qMin(600, kMillion - events), 10000 + k * 1000);
            filling.append(next);
            events += next.size();
        }
        std::printf("fill to %d events in ticks of 600 (event building included): %.1f s\n", events,
                    clock.nsecsElapsed() / 1e9);
    }
    StationDatabase reopened(big);
    clock.start();
    const bool opened = reopened.open();
    std::printf("open of that file, quick check included: %.0f ms%s; file %.1f MB\n", clock.nsecsElapsed() / 1e6,
                opened ? "" : " (FAILED)",
                QFileInfo(reopened.filePath()).size() / 1048576.0);
    return 0;
}
