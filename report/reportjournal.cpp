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

qint64 wallOf(qint64 utcMs)
{
    return WallTime::wallMs(QDateTime::fromMSecsSinceEpoch(utcMs));
}

// The time the alarm table showed, as the history stamps hold it.
qint64 journalWallMs(const JournalEvent &event)
{
    qint64 wall = 0;
    if (WallTime::parseStamp(event.timeText, &wall))
        return wall;
    return wallOf(event.epochMs);
}

struct JournalSpan
{
    ReportAlarm alarm;
    qint64 utcStart = 0;
    qint64 utcEnd = 0;
};

void takePeak(ReportAlarm *alarm, double value)
{
    if (!qIsFinite(value))
        return;
    if (qIsNaN(alarm->peak) || (alarm->below ? value < alarm->peak : value > alarm->peak))
        alarm->peak = value;
}

struct Interval
{
    qint64 from;
    qint64 to;
};

} // namespace

void ReportJournal::summarise(const QVector<JournalEvent> &events, const Span &span,
                              ReportData *data, QHash<int, double> *temperatureAlarmMinutes)
{
    QVector<JournalSpan> spans;
    std::map<JournalAlarmKey, int> open;
    std::map<JournalAlarmKey, int> latest;
    for (const JournalEvent &event : events) {
        // Written after the report's time (by a station still running): not yet, for it.
        if (event.epochMs > span.madeMs)
            continue;
        const bool afterPeriod = event.epochMs >= span.toMs;
        const JournalAlarmKey key = journalKeyOf(event);
        const auto openSpan = open.find(key);
        if (event.event == QLatin1String("alarm")) {
            // The operator's clear enters an open alarm again: the same alarm, its value one
            // more reading of it.
            if (openSpan != open.end()) {
                takePeak(&spans[openSpan->second].alarm, event.value);
                continue;
            }
            if (afterPeriod)
                continue;
            JournalSpan entry;
            ReportAlarm &alarm = entry.alarm;
            alarm.device = event.device;
            alarm.kind = event.kind;
            alarm.level = event.level;
            alarm.group = event.group.name;
            alarm.text = event.text;
            alarm.limit = event.limit;
            alarm.below = event.value < event.limit;
            takePeak(&alarm, event.value);
            alarm.startMs = journalWallMs(event);
            alarm.beganBefore = event.epochMs < span.fromMs;
            alarm.open = true;
            entry.utcStart = event.epochMs;
            open[key] = latest[key] = spans.size();
            spans.append(entry);
        } else if (event.event == QLatin1String("recovery")) {
            if (openSpan == open.end())
                continue;
            JournalSpan &entry = spans[openSpan->second];
            entry.alarm.open = false;
            entry.alarm.endedAfter = afterPeriod;
            entry.alarm.endMs = journalWallMs(event);
            entry.utcEnd = event.epochMs;
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

    std::map<std::pair<int, int>, int> counts;
    for (JournalSpan &entry : spans) {
        ReportAlarm &alarm = entry.alarm;
        if (alarm.open) {
            entry.utcEnd = qMax(span.madeMs, entry.utcStart);
            alarm.endMs = qMax(wallOf(span.madeMs), alarm.startMs);
        }
        alarm.durationMs = qMax<qint64>(0, entry.utcEnd - entry.utcStart);
        const qint64 within =
            qMax<qint64>(0, qMin(entry.utcEnd, span.toMs) - qMax(entry.utcStart, span.fromMs));
        if (alarm.kind == AlarmDetector::Temperature && alarm.device > 0)
            (*temperatureAlarmMinutes)[alarm.device] += within / 60000.0;
        ++counts[{alarm.kind, alarm.level}];
        data->alarms.append(alarm);
    }
    for (const auto &count : counts)
        data->alarmCounts.append({count.first.first, count.first.second, count.second});
    std::stable_sort(
        data->alarms.begin(), data->alarms.end(),
        [](const ReportAlarm &a, const ReportAlarm &b) { return a.startMs < b.startMs; });
}

ReportLink ReportJournal::availability(const QVector<JournalRun> &runs,
                                       const QVector<JournalEvent> &events, const Span &span,
                                       const std::function<qint64(qint64)> &lastRecordBefore)
{
    ReportLink link;
    link.known = true;
    // The times the station ran, within the period: from a start to its stop; to the last
    // sign of it before a start that followed no stop (a kill); to the end while it runs.
    QVector<Interval> running;
    const auto ran = [&running, &span](qint64 from, qint64 to) {
        from = qMax(from, span.fromMs);
        to = qMin(to, span.toMs);
        if (to > from)
            running.append({from, to});
    };
    bool known = false;
    bool up = false;
    qint64 since = span.fromMs;
    for (const JournalRun &run : runs) {
        if (run.epochMs > span.madeMs)
            break;
        if (run.epochMs < span.fromMs) {
            known = true;
            up = run.started;
            continue;
        }
        if (!known) {
            link.unknownMs += qMin(run.epochMs, span.toMs) - span.fromMs;
            known = true;
        } else if (up && run.started) {
            const qint64 lastSign = qMax(run.previousRowMs, lastRecordBefore ? lastRecordBefore(run.epochMs) : 0);
            ran(since, qBound(since, lastSign, run.epochMs));
        } else if (up) {
            ran(since, run.epochMs);
        }
        up = run.started;
        since = run.epochMs;
        if (run.epochMs >= span.toMs)
            break;
    }
    if (!known)
        link.unknownMs = span.toMs - span.fromMs;
    else if (up && since < span.toMs)
        ran(since, span.toMs);
    for (const Interval &interval : running)
        link.runningMs += interval.to - interval.from;

    // Outages, from the last valid answer (the link alarm's beginning) to the first valid
    // answer again (its recovery), counted where the station ran.
    QVector<Interval> outages;
    std::map<int, int> openOutage; // level: index in outages
    for (const JournalEvent &event : events) {
        if (event.kind != AlarmDetector::Link || event.epochMs > span.madeMs)
            continue;
        const auto found = openOutage.find(event.level);
        if (event.event == QLatin1String("alarm") && found == openOutage.end()) {
            openOutage[event.level] = outages.size();
            outages.append({event.beganMs > 0 ? qMin(event.beganMs, event.epochMs) : event.epochMs,
                            span.toMs});
        } else if (event.event == QLatin1String("recovery") && found != openOutage.end()) {
            outages[found->second].to = event.epochMs;
            openOutage.erase(found);
        }
    }
    for (const Interval &outage : outages) {
        qint64 length = 0;
        for (const Interval &interval : running)
            length += qMax<qint64>(0, qMin(outage.to, interval.to) - qMax(outage.from, interval.from));
        if (length <= 0)
            continue;
        link.outageMs += length;
        ++link.outages;
        if (length > link.longestOutageMs) {
            link.longestOutageMs = length;
            link.longestOutageStartMs = wallOf(outage.from);
        }
    }
    if (link.runningMs > 0)
        link.availableShare = 1.0 - double(link.outageMs) / link.runningMs;
    return link;
}
