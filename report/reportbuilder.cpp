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

bool readMinuteFiles(const QString &dataDirectory, const ReportPeriod &period,
                     ReportHistories *histories, const std::function<void(int)> &progress,
                     const std::function<bool()> &stop)
{
    const qint64 fromMs = period.wallFromMs();
    const qint64 spanMs = period.wallToMs() - fromMs;
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
        (*histories)[size_t(device)].addMinute(wallMs, temperature, current);
        const int percent = kProgressDatabase + int((kProgressHistory - kProgressDatabase) *
                                                    (wallMs - fromMs) / spanMs);
        if (percent > shown && progress) {
            shown = percent;
            progress(percent);
        }
    };
    return HistoryQuery::scan(dataDirectory, {}, WallTime::stamp(fromMs),
                              WallTime::stamp(period.wallToMs() - 1000), sink, stop);
}

// The history's value for an alarm of this kind, and whether the extreme is its lowest.
bool recordedQuantity(const ReportAlarm &alarm, bool *ofCurrent, bool *lowest)
{
    *ofCurrent = alarm.kind == AlarmDetector::Current;
    // An under-temperature alarm's reading lies below its limit: its extreme is the lowest.
    *lowest = alarm.kind == AlarmDetector::Temperature && alarm.peak < alarm.limit;
    return alarm.device >= 1 && alarm.device <= kDevices &&
           (alarm.kind == AlarmDetector::Temperature || alarm.kind == AlarmDetector::Current ||
            alarm.kind == AlarmDetector::TemperatureWarning);
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
    const qint64 utcFromMs = period.utcFromMs();
    const qint64 utcToMs = qBound(utcFromMs, now.toMSecsSinceEpoch(), period.utcToMs());
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
    if (!database.exists()) {
        data.notes.append(QStringLiteral("no station database (kestro.db): no alarm journal, "
                                         "cabinet groups or hourly archive"));
    } else {
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
        QVector<JournalEvent> events;
        if (database.readJournal(utcFromMs, period.utcToMs(), &events, &error))
            ReportJournal::summarise(events, utcFromMs, utcToMs, &data, &alarmMinutes);
        else
            data.notes.append(QStringLiteral("alarm journal not read: ") + error);
    }
    tell(kProgressDatabase);
    if (stop()) {
        data.cancelled = true;
        return data;
    }

    ReportHistories histories;
    data.source = period.sourceAt(now);
    if (data.source == ReportSource::MinuteFiles) {
        if (!readMinuteFiles(dataDirectory, period, &histories, progress, stop)) {
            data.cancelled = true;
            return data;
        }
    } else if (!database.isOpen()) {
        data.source = ReportSource::None;
        if (database.exists())
            data.notes.append(QStringLiteral("hourly archive not read: ") + database.error());
    } else {
        QString error;
        const QVector<ArchiveHour> rows =
            HourlyArchive(database.station())
                .read({}, data.fromMs / 1000, period.wallToMs() / 1000, &error);
        if (!error.isEmpty()) {
            data.source = ReportSource::None;
            data.notes.append(QStringLiteral("hourly archive not read: ") + error);
        }
        for (const ArchiveHour &row : rows) {
            if (row.device >= 1 && row.device <= kDevices)
                histories[size_t(row.device)].addHour(row);
        }
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
        bool lowest = false;
        if (!recordedQuantity(alarm, &ofCurrent, &lowest))
            continue;
        const ReportDeviceHistory &history = histories[size_t(alarm.device)];
        const double peak = history.peak(ofCurrent, lowest, alarm.startMs, alarm.endMs);
        if (qIsNaN(peak))
            continue;
        alarm.peak = peak;
        alarm.peakSource =
            history.isHourly() ? ReportAlarm::PeakSource::Hours : ReportAlarm::PeakSource::Minutes;
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
