#include "storage/archiveupdater.h"

#include "core/servicelog.h"
#include "core/walltime.h"
#include "history/historyquery.h"
#include "storage/hourlyaggregate.h"
#include "storage/hourlyarchive.h"
#include "storage/stationdatabase.h"

#include <QHash>
#include <QSqlDatabase>
#include <QtConcurrent>
#include <algorithm>

namespace {

qint64 wallHourOf(const QDateTime &now)
{
    return WallTime::hourStart(WallTime::wallMs(now));
}

qint64 stampSeconds(const char *stamp)
{
    qint64 ms = 0;
    WallTime::parseStamp(stamp, 19, &ms);
    return ms / 1000;
}

quint64 keyOf(int device, qint64 hour)
{
    return (quint64(hour) << 8) | quint64(device);
}

} // namespace

qint64 ArchiveUpdater::earliestHour()
{
    static const qint64 hour = stampSeconds("0001-01-01 00:00:00");
    return hour;
}

qint64 ArchiveUpdater::latestHour()
{
    static const qint64 hour = stampSeconds("9999-12-31 23:00:00") + 3600;
    return hour;
}

ArchiveUpdater::ArchiveUpdater(const QString &dataDirectory, QObject *parent)
    : QObject(parent), directory(dataDirectory)
{
    connect(&watcher, &QFutureWatcher<PassResult>::finished, this, &ArchiveUpdater::finished);
}

ArchiveUpdater::~ArchiveUpdater()
{
    stopping = true;
    watcher.waitForFinished();
}

void ArchiveUpdater::start(const QDateTime &now)
{
    const qint64 hour = wallHourOf(now);
    backfillWanted = true;
    haveHour = true;
    lastHour = hour;
    launch(hour);
}

void ArchiveUpdater::minuteRecorded(const QDateTime &now)
{
    const qint64 hour = wallHourOf(now);
    pending.insert(hour);
    const bool changed = haveHour && hour != lastHour;
    haveHour = true;
    lastHour = hour;
    if (changed)
        launch(hour);
}

void ArchiveUpdater::launch(qint64 currentHour)
{
    if (running) {
        queued = true;
        queuedHour = currentHour;
        return;
    }
    qint64 from = 0;
    qint64 to = 0;
    inFlight.clear();
    // Hours at or after the clock's stay pending: after a set-back the clock runs through
    // them again, and they are archived once it has left them.
    for (const qint64 hour : qAsConst(pending)) {
        if (hour >= currentHour)
            continue;
        from = inFlight.isEmpty() ? hour : qMin(from, hour);
        to = inFlight.isEmpty() ? hour + 3600 : qMax(to, hour + 3600);
        inFlight.insert(hour);
    }
    backfillRunning = backfillWanted;
    backfillWanted = false;
    if (backfillRunning) {
        from = earliestHour();
        to = latestHour();
    } else if (inFlight.isEmpty()) {
        return;
    }
    running = true;
    const QString dir = directory;
    std::atomic<bool> *stop = &stopping;
    watcher.setFuture(QtConcurrent::run([dir, from, to, currentHour, stop] {
        return runPass(dir, from, to, currentHour, [stop] { return stop->load(); });
    }));
}

void ArchiveUpdater::finished()
{
    running = false;
    const PassResult result = watcher.result();
    if (result.ok && !result.stopped) {
        pending.subtract(inFlight);
        if (!reportedFailure.isEmpty())
            ServiceLog::write("archive", tr("小时归档恢复写入"));
        reportedFailure.clear();
    } else {
        // Retried at the next hour; the files keep the minutes for a week.
        backfillWanted = backfillWanted || backfillRunning;
        if (!result.ok && result.error != reportedFailure) {
            ServiceLog::write("archive", tr("小时归档无法写入：%1").arg(result.error));
            reportedFailure = result.error;
        }
    }
    inFlight.clear();
    backfillRunning = false;
    if (result.rowsWritten > 0)
        emit hoursWritten(result.fromHour, result.toHour);
    emit passFinished(result.ok);
    if (queued && !stopping) {
        queued = false;
        launch(queuedHour);
    }
}

ArchiveUpdater::PassResult ArchiveUpdater::runPass(const QString &dataDirectory, qint64 fromHour,
                                                   qint64 toHour, qint64 currentHour,
                                                   const std::function<bool()> &stop)
{
    PassResult result;
    toHour = qMin(toHour, currentHour);
    if (fromHour >= toHour)
        return result;

    HourlyAggregate aggregate;
    const bool whole = HistoryQuery::scan(
        dataDirectory, {}, WallTime::stamp(fromHour * 1000), WallTime::stamp(toHour * 1000 - 1000),
        [&aggregate](int device, const QStringList &fields) { aggregate.addRecord(device, fields); },
        stop);
    if (!whole) {
        result.stopped = true;
        return result;
    }
    if (aggregate.isEmpty())
        return result;
    const QVector<ArchiveHour> found = aggregate.rows();

    StationDatabase database(dataDirectory);
    {
        // A worker may wait for the GUI thread's journal commits; the GUI never waits long
        // for it, as each transaction here is short.
        QSqlDatabase connection = database.database();
        connection.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!database.open(&result.error)) {
        result.ok = false;
        result.resultCode = database.lastResultCode();
        return result;
    }
    HourlyArchive archive(&database);

    // What the archive holds already, read hour run by hour run: stray stamps far apart in
    // the files must not make it read years of rows.
    QVector<qint64> hours;
    QVector<int> devices;
    bool device[256] = {};
    for (const ArchiveHour &row : found) {
        hours.append(row.hour);
        if (!device[row.device]) {
            device[row.device] = true;
            devices.append(row.device);
        }
    }
    std::sort(hours.begin(), hours.end());
    hours.erase(std::unique(hours.begin(), hours.end()), hours.end());
    QHash<quint64, int> archived;
    for (int k = 0; k < hours.size();) {
        int end = k + 1;
        while (end < hours.size() && hours.at(end) - hours.at(end - 1) <= 24 * 3600)
            ++end;
        QString error;
        const QVector<ArchiveHour> rows =
            archive.read(devices, hours.at(k), hours.at(end - 1) + 3600, &error);
        if (!error.isEmpty()) {
            result.ok = false;
            result.error = error;
            result.resultCode = archive.lastResultCode();
            return result;
        }
        for (const ArchiveHour &row : rows)
            archived.insert(keyOf(row.device, row.hour), row.temperatureMinutes + row.currentMinutes);
        k = end;
    }

    // Hour by hour, so a pass cut short has archived whole hours.
    QVector<ArchiveHour> changed;
    for (const ArchiveHour &row : found) {
        const auto held = archived.constFind(keyOf(row.device, row.hour));
        if (held == archived.cend() || row.temperatureMinutes + row.currentMinutes > *held)
            changed.append(row);
    }
    std::stable_sort(changed.begin(), changed.end(),
                     [](const ArchiveHour &a, const ArchiveHour &b) { return a.hour < b.hour; });
    for (int k = 0; k < changed.size(); k += kRowsPerTransaction) {
        if (stop && stop()) {
            result.stopped = true;
            break;
        }
        const QVector<ArchiveHour> chunk = changed.mid(k, kRowsPerTransaction);
        if (!archive.write(chunk, &result.error)) {
            result.ok = false;
            result.resultCode = archive.lastResultCode();
            break;
        }
        result.fromHour = result.rowsWritten == 0 ? chunk.first().hour
                                                  : qMin(result.fromHour, chunk.first().hour);
        result.toHour = qMax(result.toHour, chunk.last().hour + 3600);
        result.rowsWritten += chunk.size();
    }
    return result;
}
