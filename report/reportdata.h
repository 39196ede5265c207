#pragma once

#include "report/reportperiod.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtNumeric>

// Everything a daily or monthly report shows, in plain values, so a writer (PDF, XLSX) needs
// nothing else. Times are wall milliseconds (see WallTime: the local date and time as the
// station's clock showed it, counted as UTC; WallTime::stamp() gives its text); durations are
// real milliseconds. NaN is a figure that has no value.

// One quantity of one device over the period; from the archive, the time of the maximum is
// the start of the hour it was reached in. The figures are at the resolution the quantity is
// measured in (ReportTerms::quantityDecimals), the mean rounded from the same numbers as the
// lowest and highest, so min <= mean <= max holds as printed.
struct ReportQuantity
{
    int minutes = 0; // minutes with a finite value, a minute stamped twice counted once
    double min = qQNaN();
    double mean = qQNaN();
    double max = qQNaN();
    qint64 maxMs = 0; // the first time the maximum was reached; 0 without one
};

struct ReportDevice
{
    int device = 0; // 1..200
    QString name;   // from save_data.txt
    QString location;
    QStringList cabinetGroups;  // the joint rules' groups it is a phase or the ambient of
    ReportQuantity temperature; // ℃
    ReportQuantity current;     // A
    // Journalled temperature alarms (kind 1) within the period, up to its end or the time the
    // report was made, whichever came first.
    double temperatureAlarmMinutes = 0;
};

// The figures a small trend picture needs for one device: the minute values (minutes), or
// each hour's mean with its minimum and maximum (hourly).
struct ReportSeries
{
    int device = 0;
    bool hourly = false;
    QVector<qint64> x;     // wall milliseconds, ascending
    QVector<double> value; // the minute's value, or the hour's mean
    QVector<double> min;   // hourly only
    QVector<double> max;   // hourly only
};

// One alarm of the journal that was open during the period, from its alarm row to its
// recovery row. The operator's clear raises an open alarm again: that is the same alarm.
struct ReportAlarm
{
    // Where the peak came from: the minute values during the alarm, the maxima of the archive
    // hours that lie wholly inside it, or the journal's own values where those are not more
    // extreme (or the kind is not recorded).
    enum class PeakSource
    {
        Minutes,
        Hours,
        Journal
    };

    int device = 0; // 0 for the link and a cabinet group's phase difference
    int kind = 0;   // the journal's kind: 1 temperature ... 8 temperature warning
    int level = 1;  // 0 预警, 1 报警
    QString group;  // the cabinet group a joint rule judged, else empty
    QString text;   // the alarm row's text, "5温度异常"
    double limit = qQNaN();
    qint64 startMs = 0;
    bool beganBefore = false; // raised before the period began
    bool endedAfter = false;  // recovered after the period's end (endMs is then after it)
    bool open = false;        // no recovery by the time the report was made
    qint64 endMs = 0;         // the recovery; for an open alarm the time the report was made
    qint64 durationMs = 0;    // its whole length: from its start to endMs
    // Raised by a reading below its limit (under-voltage, under-temperature): its peak is the
    // lowest reading, else the highest.
    bool below = false;
    // The reading furthest past the limit, over the whole alarm.
    double peak = qQNaN();
    PeakSource peakSource = PeakSource::Journal;
    bool acknowledged = false;
    qint64 acknowledgedMs = 0;
};

struct ReportAlarmCount
{
    int kind = 0;
    int level = 1;
    int count = 0; // alarms of this kind and level listed, those raised before the period too
};

// The link to the concentrator over the time the station ran in the period, from the
// journal's starts and stops and its link alarms (kind 4): an outage lasts from the last valid
// answer to the first valid one again.
struct ReportLink
{
    bool known = false;   // false without a readable journal
    qint64 runningMs = 0; // the station ran, up to the period's end or the time the report was made
    // Before the first start the journal holds: whether the station ran is not known.
    qint64 unknownMs = 0;
    qint64 outageMs = 0;  // within the running time
    double availableShare = qQNaN(); // 1 - outage / running; NaN when it never ran
    int outages = 0;
    qint64 longestOutageMs = 0;
    qint64 longestOutageStartMs = 0; // wall: the last valid answer before it
};

struct ReportData
{
    QString stationName;
    ReportPeriod period;
    QDateTime made;  // local time
    QString version; // the station's
    ReportSource source = ReportSource::None;
    // Wall milliseconds the figures cover: the period, cut at the time the report was made.
    qint64 fromMs = 0;
    qint64 toMs = 0;
    bool databaseFound = false; // kestro.db exists; without it no journal, groups or archive
    QStringList notes;          // what could not be read, and why, one line each

    QVector<ReportDevice> devices; // devices with history or journal rows, by number
    QVector<ReportSeries> hottest; // up to ten devices by maximum temperature, hottest first
    QVector<ReportAlarmCount> alarmCounts; // by kind, then level
    QVector<ReportAlarm> alarms;           // by start
    ReportLink link;
    bool cancelled = false; // stopped before it was complete: show nothing of it
};
