#pragma once

#include "report/reportdata.h"
#include "storage/hourlyarchive.h"

#include <QVector>

// One device's readings over a report's period: its minute records, or its archive hours.
// Readings outside the period, kept for the peaks of alarms that cross its edges, count in
// nothing else.
class ReportDeviceHistory
{
public:
    void addMinute(qint64 wallMs, double temperature, double current, bool inPeriod = true);
    void addHour(const ArchiveHour &row, bool inPeriod = true);
    // Puts the minutes in time order (the clock may have been set back), a minute stamped
    // twice kept once (the first written: a clock set back, or a day-boundary tick writing
    // into two files); once all are added.
    void finish();

    bool isEmpty() const; // nothing inside the period
    ReportQuantity temperature() const { return quantity(false); }
    ReportQuantity current() const { return quantity(true); }
    // The highest value (the lowest when `lowest`) stamped fromMs..toMs, both included; of an
    // hour, its maximum (minimum) when the whole hour lies inside them. NaN when there is none.
    double peak(bool ofCurrent, bool lowest, qint64 fromMs, qint64 toMs) const;
    bool isHourly() const { return !hours.isEmpty(); }
    ReportSeries temperatureSeries(int device) const;

private:
    struct Minute
    {
        qint64 ms;
        double temperature;
        double current;
        bool inPeriod;
    };

    ReportQuantity quantity(bool ofCurrent) const;

    QVector<Minute> minutes;
    QVector<ArchiveHour> hours;
    QVector<ArchiveHour> hoursOutside;
};
