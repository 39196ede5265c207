#include "report/reportbuilder.h"

#include "config/devicesettingsfile.h"
#include "core/devicereadings.h"
#include "core/walltime.h"
#include "history/historyquery.h"
#include "history/historyrecord.h"
#include "monitor/alarmdetector.h"
#include "report/reportdatabase.h"
#include "report/reportdevicehistory.h"
#include "report/reportjournal.h"
#include "storage/hourlyaggregate.h"
#include "storage/hourlyarchive.h"

#include <QDir>
#include <QHash>
#include <algorithm>
#include <array>

namespace {

constexpr int kHottestShown = 10;

using ReportHistories = std::array<ReportDeviceHistory, kDevices + 1>;

// Progress: the database to 10 %, the history to 90 %, the rest after it.
constexpr int kProgressDatabase = 10;
constexpr int kProgressHistory = 90;

// Minute lines stamped scanFromMs..scanToMs (wall, end excluded); those outside the period
// are kept for the peaks of alarms crossing its edges.
bool readMinuteFiles(const QString &dataDirectory, const ReportPeriod &period, qint64 scanFromMs,
                     qint64 scanToMs, ReportHistories *histories, QVector<qint64> *stamps,
                     const std::function<void(int)> &progress, const std::function<bool()> &stop)
{
    const qint64 fromMs = period.wallFromMs();
    const qint64 toMs = period.wallToMs();
    int shown = kProgressDatabase;
    // The files are read oldest first: how far a stamp is into the period is how far the
    // reading is, but for lines of a clock set back.
    const auto sink = [&](int device, const QStringList &fields) {
        qint64 wallMs = 0;
        if (device < 1 || device > kDevices || fields.size() < 5 ||
            !WallTime::parseStamp(HistoryRecord::timeText(fields), &wallMs))
            return;
        double temperature = qQNaN();
        double current = qQNaN();
        if (!HourlyAggregate::fieldNumber(fields.at(1), &temperature))
            temperature = qQNaN();
        if (!HourlyAggregate::fieldNumber(fields.at(2), &current))
            current = qQNaN();
        (*histories)[size_t(device)].addMinute(wallMs, temperature, current,
                                               wallMs >= fromMs && wallMs < toMs);
        if (stamps->isEmpty() || stamps->last() != wallMs)
            stamps->append(wallMs);
        const int percent = qBound<int>(kProgressDatabase,
                                        kProgressDatabase + int((kProgressHistory - kProgressDatabase) *
                                                                (wallMs - scanFromMs) / (scanToMs - scanFromMs)),
                                        kProgressHistory);
        if (percent > shown && progress) {
            shown = percent;
            progress(percent);
        }
    };
    return HistoryQuery::scan(dataDirectory, {}, WallTime::stamp(scanFromMs), WallTime::stamp(scanToMs - 1000),
                              sink, stop);
}

// The history's value for an alarm of this kind.
bool recordedQuantity(const ReportAlarm &alarm, bool *ofCurrent)
{
    *ofCurrent = alarm.kind == AlarmDetector::Current;
    return alarm.device >= 1 && alarm.device <= kDevices &&
           (alarm.kind == AlarmDetector::Temperature || alarm.kind == AlarmDetector::Current ||
            alarm.kind == AlarmDetector::TemperatureWarning);
}

qint64 utcOfWall(qint64 wallMs)
{
    const QDateTime wall = WallTime::toDateTime(wallMs);
    return QDateTime(wall.date(), wall.time(), Qt::LocalTime).toMSecsSinceEpoch();
}

} // namespace

ReportData ReportBuilder::build(const QString &dataDirectory, const ReportPeriod &period,
                                const QString &stationName, const QDateTime &now,
                                const std::function<void(int)> &progress,
                                const std::atomic<bool> *cancel)
{
    const auto stop = [cancel] { return cancel && cancel->load(); };
    const auto tell = [&progress](int percent) {
        if (progress)
            progress(percent);
    };
    ReportData data;
    data.stationName = stationName;
    data.period = period;
    data.made = now.toLocalTime();
    data.version = QStringLiteral(KESTRO_VERSION);
    data.fromMs = period.wallFromMs();
    data.toMs = qBound(data.fromMs, WallTime::wallMs(now), period.wallToMs());
    ReportJournal::Span span;
    span.fromMs = period.utcFromMs();
    span.madeMs = now.toMSecsSinceEpoch();
    span.toMs = qBound(span.fromMs, span.madeMs, period.utcToMs());
    tell(0);
    if (!period.isValid()) {
        data.notes.append(QStringLiteral("no period"));
        return data;
    }

    QVector<QString> settings;
    DeviceSettingsFile::load(QDir(dataDirectory).filePath(QStringLiteral("save_data.txt")),
                             &settings);
    settings.resize(DeviceSettingsFile::kLineCount);

    ReportDatabase database(dataDirectory);
    data.databaseFound = database.exists();
    QHash<int, QStringList> groupsOf;
    QHash<int, double> alarmMinutes;
    QVector<JournalEvent> events;
    QVector<JournalRun> runs;
    bool journalRead = false;
    if (!database.exists()) {
        data.notes.append(QStringLiteral("no station database (kestro.db): no alarm journal, "
                                         "cabinet groups or hourly archive"));
    } else {
        if (!database.walError().isEmpty())
            data.notes.append(QStringLiteral("the latest rows (kestro.db-wal) not read: ") +
                              database.walError());
        QString error;
        QVector<CabinetGroup> groups;
        if (!database.readGroups(&groups, &error))
            data.notes.append(QStringLiteral("cabinet groups not read: ") + error);
        for (const CabinetGroup &group : groups) {
            for (int device : {group.phases[0], group.phases[1], group.phases[2], group.ambient}) {
                if (device >= 1 && device <= kDevices && !groupsOf[device].contains(group.name))
                    groupsOf[device].append(group.name);
            }
        }
        journalRead = database.readJournal(span.fromMs, period.utcToMs(), &events, &error) &&
                      database.readRuns(span.fromMs, period.utcToMs(), &runs, &error);
        if (journalRead)
            ReportJournal::summarise(events, span, &data, &alarmMinutes);
        else
            data.notes.append(QStringLiteral("alarm journal not read: ") + error);
    }
    tell(kProgressDatabase);
    if (stop()) {
        data.cancelled = true;
        return data;
    }

    // The readings of the alarms that cross the period's edges are read too, for their peaks.
    qint64 scanFromMs = data.fromMs;
    qint64 scanToMs = period.wallToMs();
    QVector<int> crossing;
    for (const ReportAlarm &alarm : qAsConst(data.alarms)) {
        bool ofCurrent = false;
        if (recordedQuantity(alarm, &ofCurrent) && (alarm.startMs < scanFromMs || alarm.endMs >= scanToMs)) {
            scanFromMs = qMin(scanFromMs, alarm.startMs);
            scanToMs = qMax(scanToMs, alarm.endMs + 1000);
            if (!crossing.contains(alarm.device))
                crossing.append(alarm.device);
        }
    }

    ReportHistories histories;
    QVector<qint64> stamps; // every minute line's, wall
    data.source = period.sourceAt(now);
    if (data.source == ReportSource::HourlyArchive) {
        QString error;
        QVector<ArchiveHour> rows;
        if (database.isOpen()) {
            HourlyArchive archive(database.station());
            rows = archive.read({}, data.fromMs / 1000, period.wallToMs() / 1000, &error);
            // Outside the period only the devices of alarms crossing its edges: an alarm open
            // for a year must not read a year of every device.
            if (!crossing.isEmpty() && error.isEmpty())
                rows += archive.read(crossing, WallTime::hourStart(scanFromMs), data.fromMs / 1000, &error);
            if (!crossing.isEmpty() && error.isEmpty())
                rows += archive.read(crossing, period.wallToMs() / 1000, scanToMs / 1000, &error);
        }
        if (!error.isEmpty())
            data.notes.append(QStringLiteral("hourly archive not read: ") + error);
        else if (!database.isOpen() && database.exists())
            data.notes.append(QStringLiteral("hourly archive not read: ") + database.error());
        for (const ArchiveHour &row : rows) {
            if (row.device < 1 || row.device > kDevices)
                continue;
            const bool inPeriod = row.hour * 1000 >= data.fromMs && row.hour * 1000 < period.wallToMs();
            histories[size_t(row.device)].addHour(row, inPeriod);
            if (inPeriod)
                stamps.append(row.hour * 1000 + WallTime::kHourMs - 60000);
        }
        const bool anyHour = std::any_of(histories.cbegin(), histories.cend(),
                                         [](const ReportDeviceHistory &h) { return !h.isEmpty(); });
        // A day the archive does not hold may still be in a copy's minute files.
        if (period.length() == ReportPeriod::Length::Day && !anyHour)
            data.source = ReportSource::MinuteFiles;
        else if (!database.isOpen() || !error.isEmpty())
            data.source = ReportSource::None;
    }
    if (data.source == ReportSource::MinuteFiles &&
        !readMinuteFiles(dataDirectory, period, scanFromMs, scanToMs, &histories, &stamps, progress, stop)) {
        data.cancelled = true;
        return data;
    }
    tell(kProgressHistory);
    if (stop()) {
        data.cancelled = true;
        return data;
    }

    for (ReportDeviceHistory &history : histories)
        history.finish();
    for (ReportAlarm &alarm : data.alarms) {
        bool ofCurrent = false;
        if (!recordedQuantity(alarm, &ofCurrent))
            continue;
        const ReportDeviceHistory &history = histories[size_t(alarm.device)];
        const double peak = history.peak(ofCurrent, alarm.below, alarm.startMs, alarm.endMs);
        if (qIsNaN(peak) || (!qIsNaN(alarm.peak) && (alarm.below ? peak >= alarm.peak : peak <= alarm.peak)))
            continue;
        alarm.peak = peak;
        alarm.peakSource =
            history.isHourly() ? ReportAlarm::PeakSource::Hours : ReportAlarm::PeakSource::Minutes;
    }
    if (journalRead) {
        std::sort(stamps.begin(), stamps.end());
        // The last minute line before a moment, for a station killed before it started again.
        const auto lastRecordBefore = [&stamps](qint64 utcMs) -> qint64 {
            const qint64 wall = WallTime::wallMs(QDateTime::fromMSecsSinceEpoch(utcMs));
            const auto after = std::lower_bound(stamps.cbegin(), stamps.cend(), wall);
            return after == stamps.cbegin() ? 0 : qMin(utcOfWall(*(after - 1)), utcMs);
        };
        data.link = ReportJournal::availability(runs, events, span, lastRecordBefore);
    }

    QVector<int> withTemperature;
    for (int device = 1; device <= kDevices; ++device) {
        const ReportDeviceHistory &history = histories[size_t(device)];
        if (history.isEmpty() && !alarmMinutes.contains(device) &&
            std::none_of(data.alarms.cbegin(), data.alarms.cend(),
                         [device](const ReportAlarm &alarm) { return alarm.device == device; }))
            continue;
        ReportDevice entry;
        entry.device = device;
        entry.name = settings.at(device - 1);
        entry.location = settings.at(kDevices + device - 1);
        entry.cabinetGroups = groupsOf.value(device);
        entry.temperature = history.temperature();
        entry.current = history.current();
        entry.temperatureAlarmMinutes = alarmMinutes.value(device);
        if (entry.temperature.minutes > 0)
            withTemperature.append(data.devices.size());
        data.devices.append(entry);
    }
    // Hottest first; of equal maxima, the lower number.
    std::stable_sort(withTemperature.begin(), withTemperature.end(), [&data](int a, int b) {
        return data.devices.at(a).temperature.max > data.devices.at(b).temperature.max;
    });
    for (int k = 0; k < withTemperature.size() && k < kHottestShown; ++k) {
        const int device = data.devices.at(withTemperature.at(k)).device;
        data.hottest.append(histories[size_t(device)].temperatureSeries(device));
    }
    tell(100);
    return data;
}
