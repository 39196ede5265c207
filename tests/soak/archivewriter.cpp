// Writes history minutes of ten devices, its clock running six minutes a write, and archives
// each hour the clock leaves, after a backfill at start, until killed. It goes on after the
// newest stamp in the files; run with TZ=UTC, so the stamps are the clock's UTC time.
// Usage: soak_archivewriter DATA_DIRECTORY

#include "core/walltime.h"
#include "history/historyquery.h"
#include "history/historyrecord.h"
#include "history/historystore.h"
#include "storage/archiveupdater.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv); // the database driver is a plugin
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QDateTime start(QDate(2026, 1, 5), QTime(0, 0), Qt::UTC);
    qint64 k = 0;
    HistoryQuery::scan(dir, {1}, "0000", "9999", [&](int, const QStringList &f) {
        k = qMax(k, start.secsTo(QDateTime::fromString(HistoryRecord::timeText(f) + 'Z', Qt::ISODate)) / 360 + 1);
    });
    auto hourOf = [&](qint64 step) { return WallTime::hourStart(WallTime::wallMs(start.addSecs(360 * step))); };
    ArchiveUpdater::runPass(dir, ArchiveUpdater::earliestHour(), ArchiveUpdater::latestHour(), hourOf(k));
    for (HistoryStore store(dir);; ++k) {
        DeviceReadings r;
        for (int d = 1; d <= 10; ++d) {
            r.deviceTemperature[d - 1] = k % 11 == d ? qQNaN() : 20 + (k * 7 + d * 13) % 50 * 0.5f;
            r.deviceCurrent[d - 1] = (k + d) % 9 * 0.25f;
        }
        store.recordHistoryMinute(r, start.addSecs(360 * k));
        if (k > 0 && hourOf(k) != hourOf(k - 1))
            ArchiveUpdater::runPass(dir, hourOf(k - 1), hourOf(k), hourOf(k));
    }
}
