#pragma once

#include "report/reportdata.h"
#include "storage/hourlyarchive.h"

#include <QVector>

// One device's readings over a report's period: its minute records, or its archive hours.
class ReportDeviceHistory
{
public:
    // A record stamped as the one before it (the minute a day-boundary tick wrote into two
    // files) counts once.
    void addMinute(qint64 wallMs, double temperature, double current);
    void addHour(const ArchiveHour &row);
    // Puts the minutes in time order (the clock may have been set back); once all are added.
    void finish();

    bool isEmpty() const { return minutes.isEmpty() && hours.isEmpty(); }
    ReportQuantity temperature() const { return quantity(false); }
    ReportQuantity current() const { return quantity(true); }
    // The highest value (the lowest when `lowest`) stamped fromMs..toMs, both included; of an
    // hour, its maximum (minimum) when the hour overlaps them. NaN when there is none.
    double peak(bool ofCurrent, bool lowest, qint64 fromMs, qint64 toMs) const;
    bool isHourly() const { return !hours.isEmpty(); }
    ReportSeries temperatureSeries(int device) const;

private:
    struct Minute
    {
        qint64 ms;
        double temperature;
        double current;
    };

    ReportQuantity quantity(bool ofCurrent) const;

    QVector<Minute> minutes;
    QVector<ArchiveHour> hours;
};
