// Appends ticks of alarm events to the journal in a loop until killed, and prints the number
// of every tick it knows committed, one line each, as soon as append() has said so.
// Usage: soak_journalwriter DATA_DIRECTORY FIRST_TICK

#include "storage/alarmjournal.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

namespace {

// tst_journalcrash rebuilds the same ticks to compare; keep the two in step.
constexpr qint64 kFirstEpochMs = 1767571200000; // 2026-01-05 00:00:00 UTC

QVector<JournalEvent> tickEvents(qint64 k)
{
    QVector<JournalEvent> events;
    const qint64 epochMs = kFirstEpochMs + k * 1000;
    const QString timeText =
        QDateTime::fromMSecsSinceEpoch(epochMs, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    for (int j = 0; j < 1 + (k * 7) % 6; ++j) {
        JournalEvent event;
        event.device = int((k * 11 + j * 37) % 200) + 1;
        event.kind = 1 + j % 3;
        event.event = j % 2 ? QStringLiteral("recovery") : QStringLiteral("alarm");
        event.timeText = timeText;
        event.epochMs = epochMs;
        if (j != 1) {
            event.value = double(k) + j * 0.25;
            event.limit = 80.0;
        }
        event.text = QString::number(event.device) + QStringLiteral("温度异常");
        event.beganMs = j % 2 ? 0 : epochMs - 3000;
        events << event;
    }
    return events;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: soak_journalwriter DATA_DIRECTORY FIRST_TICK\n", stderr);
        return 2;
    }
    bool ok = false;
    const qint64 first = QByteArray(argv[2]).toLongLong(&ok);
    if (!ok || first < 0)
        return 2;
    StationDatabase database(QString::fromLocal8Bit(argv[1]));
    AlarmJournal journal(database);
    qint64 unprinted = first;
    for (qint64 k = first;; ++k) {
        if (!journal.append(tickEvents(k)))
            continue;
        // A tick that waited went out with this one.
        for (; unprinted <= k; ++unprinted) {
            std::printf("%lld\n", static_cast<long long>(unprinted));
            std::fflush(stdout);
        }
    }
}
