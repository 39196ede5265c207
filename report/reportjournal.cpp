#include "report/reportjournal.h"

#include "core/walltime.h"
#include "monitor/alarmdetector.h"

#include <QDateTime>
#include <algorithm>
#include <map>
#include <tuple>

namespace {

// An alarm is one (device, kind, level, group): its alarm row, acknowledgement and
// recovery carry the same four.
using JournalAlarmKey = std::tuple<int, int, int, QString>;

JournalAlarmKey journalKeyOf(const JournalEvent &event)
{
    return JournalAlarmKey(event.device, event.kind, event.level, event.group.name);
}

// The time the alarm table showed, as the history stamps hold it.
qint64 journalWallMs(const JournalEvent &event)
{
    qint64 wall = 0;
    if (WallTime::parseStamp(event.timeText, &wall))
        return wall;
    return WallTime::wallMs(QDateTime::fromMSecsSinceEpoch(event.epochMs));
}

struct JournalSpan
{
    ReportAlarm alarm;
    qint64 utcStart = 0;
    qint64 utcEnd = 0;
};

} // namespace

void ReportJournal::summarise(const QVector<JournalEvent> &events, qint64 utcFromMs, qint64 utcToMs,
                              ReportData *data, QHash<int, double> *temperatureAlarmMinutes)
{
    QVector<JournalSpan> spans;
    std::map<JournalAlarmKey, int> open;
    std::map<JournalAlarmKey, int> latest;
    for (const JournalEvent &event : events) {
        const JournalAlarmKey key = journalKeyOf(event);
        const auto openSpan = open.find(key);
        if (event.event == QLatin1String("alarm")) {
            if (openSpan != open.end())
                continue;
            JournalSpan span;
            ReportAlarm &alarm = span.alarm;
            alarm.device = event.device;
            alarm.kind = event.kind;
            alarm.level = event.level;
            alarm.group = event.group.name;
            alarm.text = event.text;
            alarm.limit = event.limit;
            alarm.peak = event.value;
            alarm.startMs = journalWallMs(event);
            alarm.beganBefore = event.epochMs < utcFromMs;
            alarm.open = true;
            span.utcStart = event.epochMs;
            open[key] = latest[key] = spans.size();
            spans.append(span);
        } else if (event.event == QLatin1String("recovery")) {
            if (openSpan == open.end())
                continue;
            JournalSpan &span = spans[openSpan->second];
            span.alarm.open = false;
            span.alarm.endMs = journalWallMs(event);
            span.utcEnd = event.epochMs;
            open.erase(openSpan);
        } else if (event.event == QLatin1String("acknowledge")) {
            const auto acknowledged = latest.find(key);
            if (acknowledged == latest.end() || spans[acknowledged->second].alarm.acknowledged)
                continue;
            ReportAlarm &alarm = spans[acknowledged->second].alarm;
            alarm.acknowledged = true;
            alarm.acknowledgedMs = journalWallMs(event);
        }
    }

    data->link = ReportLink();
    data->link.known = true;
    data->link.coveredMs = qMax<qint64>(0, utcToMs - utcFromMs);
    std::map<std::pair<int, int>, int> counts;
    for (JournalSpan &span : spans) {
        ReportAlarm &alarm = span.alarm;
        if (alarm.open) {
            alarm.endMs = data->toMs;
            span.utcEnd = qMax(utcToMs, span.utcStart);
        }
        alarm.durationMs = qMax<qint64>(0, span.utcEnd - span.utcStart);
        const qint64 within =
            qMax<qint64>(0, qMin(span.utcEnd, utcToMs) - qMax(span.utcStart, utcFromMs));
        if (alarm.kind == AlarmDetector::Temperature && alarm.device > 0)
            (*temperatureAlarmMinutes)[alarm.device] += within / 60000.0;
        if (alarm.kind == AlarmDetector::Link) {
            ReportLink &link = data->link;
            link.outageMs += within;
            ++link.outages;
            if (within > link.longestOutageMs) {
                link.longestOutageMs = within;
                link.longestOutageStartMs = alarm.startMs;
            }
        }
        ++counts[{alarm.kind, alarm.level}];
        data->alarms.append(alarm);
    }
    if (data->link.coveredMs > 0)
        data->link.availableShare = 1.0 - double(data->link.outageMs) / data->link.coveredMs;
    for (const auto &count : counts)
        data->alarmCounts.append({count.first.first, count.first.second, count.second});
    std::stable_sort(
        data->alarms.begin(), data->alarms.end(),
        [](const ReportAlarm &a, const ReportAlarm &b) { return a.startMs < b.startMs; });
}
