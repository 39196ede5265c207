#pragma once

#include "report/reportdata.h"
#include "storage/journalevent.h"

#include <QHash>
#include <QVector>

// The journal's rows turned into what a report lists: each alarm from its alarm row to its
// recovery, its acknowledgement, the counts, the link's outages and the minutes each device
// spent in a temperature alarm.
class ReportJournal
{
public:
    // `events` as ReportDatabase::readJournal gives them; the report covers utcFromMs..utcToMs
    // in real time, data->fromMs..data->toMs in wall time (an alarm open at the end is
    // counted and shown up to there). Fills data's alarms (their peak the journal's value),
    // alarmCounts and link, and the temperature alarm minutes by device.
    static void summarise(const QVector<JournalEvent> &events, qint64 utcFromMs, qint64 utcToMs,
                          ReportData *data, QHash<int, double> *temperatureAlarmMinutes);
};
