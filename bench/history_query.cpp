// How long a history query takes over a full week of files (200 devices every minute, as
// bench_make_history_week leaves them, newest line now), and the longest the GUI thread is
// held up while queries run on a worker thread; then single passes for several devices, as
// trends and the hourly archive make them. Reports figures only; never fails on time.
//   bench_history_query DIRECTORY [runs]   (default 7)

#include "history/historyquery.h"
#include "history/historystore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QSet>
#include <QTimer>
#include <QtConcurrent>
#include <algorithm>
#include <cstdio>

namespace {

void timeQueries(const char *what, const QString &directory, const QString &head,
                 const QString &tail, int runs)
{
    QVector<double> ms;
    HistoryQuery::Result result;
    for (int k = 0; k < runs; ++k) {
        QElapsedTimer timer;
        timer.start();
        result = HistoryQuery::run(directory, QStringLiteral("7"), head, tail, nullptr);
        ms.append(timer.nsecsElapsed() / 1e6);
    }
    bool ordered = true;
    for (int k = 1; k < result.fieldValues.size(); ++k)
        ordered = ordered && result.fieldValues[k - 1].value(4) <= result.fieldValues[k].value(4);
    std::sort(ms.begin(), ms.end());
    std::printf("%-26s %5d records listed%s   min %6.1f ms   median %6.1f ms   (%d runs)\n", what,
                int(result.displayTexts.size()), ordered ? " in time order" : " OUT OF ORDER",
                ms.first(), ms.at(ms.size() / 2), runs);
}

// One scan pass per run; the sink only counts, so this is the cost of finding the records.
void timeScans(const char *what, const QString &directory, const QVector<int> &devices,
               const QString &head, const QString &tail, int runs)
{
    QVector<double> ms;
    int records = 0;
    QSet<int> seen;
    for (int k = 0; k < runs; ++k) {
        records = 0;
        QElapsedTimer timer;
        timer.start();
        HistoryQuery::scan(directory, devices, head, tail, [&](int device, const QStringList &) {
            ++records;
            seen.insert(device);
        });
        ms.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s %6d records of %3d devices   min %6.1f ms   median %6.1f ms   (%d runs)\n",
                what, records, int(seen.size()), ms.first(), ms.at(ms.size() / 2), runs);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString directory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int runs = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 7;
    if (directory.isEmpty() || runs <= 0) {
        std::fprintf(stderr, "usage: %s DIRECTORY [runs]\n", argv[0]);
        return 2;
    }
    qint64 bytes = 0;
    for (int day = 0; day < HistoryStore::kDays; ++day)
        bytes += QFileInfo(QDir(directory).filePath(HistoryStore::dayFileName(day))).size();
    std::printf("querying %.1f MB of history files in %s\n", bytes / 1e6,
                qPrintable(QDir(directory).absolutePath()));

    const QDateTime now = QDateTime::currentDateTime();
    const QString head = HistoryQuery::stamp(now.addDays(-8)), tail = HistoryQuery::stamp(now);
    timeQueries("device 7, whole week:", directory, head, tail, runs);
    timeQueries("device 7, last 24 hours:", directory, HistoryQuery::stamp(now.addDays(-1)), tail,
                runs);
    timeScans("scan of 4 devices, whole week:", directory, {7, 50, 120, 200}, head, tail, runs);
    timeScans("scan of all devices, last 2 hours:", directory, {},
              HistoryQuery::stamp(now.addSecs(-2 * 3600)), tail, runs);
    // A tail ending in a non-ASCII character selects the same 19-character stamps but leaves
    // every record to the parse: the same pass without the stamp prefilter.
    timeScans("same, without the stamp prefilter:", directory, {},
              HistoryQuery::stamp(now.addSecs(-2 * 3600)), tail + QChar(0xFFFF), qMin(runs, 3));

    // The line-by-line path alone, for comparison.
    {
        QElapsedTimer timer;
        timer.start();
        HistoryQuery::Result result;
        for (int day = 0; day < HistoryStore::kDays; ++day) {
            QFile file(QDir(directory).filePath(HistoryStore::dayFileName(day)));
            if (file.open(QIODevice::ReadOnly))
                HistoryQuery::matchLines(file.readAll(), QStringLiteral("007"), head, tail,
                                         &result);
        }
        std::printf(
            "%-26s %5d records listed                 %6.1f ms (decoding and parsing every line)\n",
            "same, line by line:", int(result.displayTexts.size()), timer.nsecsElapsed() / 1e6);
    }

    // Event-loop lateness: a 10 ms tick that arrives late means the GUI thread was busy.
    QElapsedTimer sinceTick;
    qint64 worstStallMs = 0;
    int ticks = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&]() {
        worstStallMs = qMax(worstStallMs, sinceTick.restart() - 10);
        ++ticks;
    });
    int lastProgress = -1;
    int queriesLeft = runs;
    QElapsedTimer wall;
    QFutureWatcher<HistoryQuery::Result> watcher;
    auto start = [&]() {
        watcher.setFuture(QtConcurrent::run([&, directory]() {
            return HistoryQuery::run(directory, QStringLiteral("7"), head, tail, [&](int value) {
                QMetaObject::invokeMethod(
                    &app, [&, value]() { lastProgress = value; }, Qt::QueuedConnection);
            });
        }));
    };
    QObject::connect(&watcher, &QFutureWatcher<HistoryQuery::Result>::finished, [&]() {
        if (--queriesLeft > 0)
            start();
        else
            QTimer::singleShot(50, &app, &QCoreApplication::quit);
    });
    QTimer::singleShot(0, [&]() {
        wall.start();
        sinceTick.start();
        probe.start(10);
        start();
    });
    app.exec();
    std::printf("longest GUI stall seen by a 10 ms probe during %d queries on a worker "
                "(%.2f s, %d ticks): %lld ms; last progress value %d\n",
                runs, wall.elapsed() / 1000.0, ticks, static_cast<long long>(worstStallMs),
                lastProgress);
    return 0;
}
