#pragma once

#include "report/reportdata.h"
#include "report/reportdatabase.h"
#include "storage/journalevent.h"

#include <QHash>
#include <QVector>
#include <functional>

// The journal's rows turned into what a report lists: each alarm from its alarm row to its
// recovery, its acknowledgement, the counts, the minutes each device spent in a temperature
// alarm, and the link's availability over the time the station ran.
class ReportJournal
{
public:
    // The times a summary is made for, in real UTC milliseconds: the period's first moment,
    // the end of what it covers (its end, or the time the report was made if earlier), and
    // the time the report was made.
    struct Span
    {
        qint64 fromMs = 0;
        qint64 toMs = 0;
        qint64 madeMs = 0;
    };

    // `events` as ReportDatabase::readJournal gives them. Fills data's alarms (their peak the
    // most extreme of the journal's values), alarmCounts and the temperature alarm minutes by
    // device. An alarm open at the period's end is shown with its recovery after it, else as
    // open up to the time the report was made; rows written after that are left out.
    static void summarise(const QVector<JournalEvent> &events, const Span &span, ReportData *data,
                          QHash<int, double> *temperatureAlarmMinutes);

    // The link's figures from the starts and stops (ReportDatabase::readRuns) and the link
    // alarms summarise() listed. lastRecordBefore(ms) is the UTC time of the last minute line
    // (or archive hour) before ms, 0 for none: with the journal row before a start that
    // follows no stop, it tells how long the killed station ran.
    static ReportLink availability(const QVector<JournalRun> &runs, const QVector<JournalEvent> &events,
                                   const Span &span,
                                   const std::function<qint64(qint64)> &lastRecordBefore);
};
