#include "report/reportdevicehistory.h"

#include "core/walltime.h"

#include <algorithm>

void ReportDeviceHistory::addMinute(qint64 wallMs, double temperature, double current)
{
    if (!minutes.isEmpty() && minutes.last().ms == wallMs)
        return;
    minutes.append({wallMs, temperature, current});
}

void ReportDeviceHistory::addHour(const ArchiveHour &row)
{
    hours.append(row);
}

void ReportDeviceHistory::finish()
{
    std::stable_sort(minutes.begin(), minutes.end(),
                     [](const Minute &a, const Minute &b) { return a.ms < b.ms; });
    std::stable_sort(hours.begin(), hours.end(),
                     [](const ArchiveHour &a, const ArchiveHour &b) { return a.hour < b.hour; });
}

ReportQuantity ReportDeviceHistory::quantity(bool ofCurrent) const
{
    ReportQuantity result;
    double sum = 0;
    const auto take = [&result](double low, double high, qint64 highMs) {
        if (result.minutes == 0 || low < result.min)
            result.min = low;
        if (result.minutes == 0 || high > result.max) {
            result.max = high;
            result.maxMs = highMs;
        }
    };
    for (const Minute &minute : minutes) {
        const double value = ofCurrent ? minute.current : minute.temperature;
        if (!qIsFinite(value))
            continue;
        take(value, value, minute.ms);
        sum += value;
        ++result.minutes;
    }
    for (const ArchiveHour &hour : hours) {
        const int count = ofCurrent ? hour.currentMinutes : hour.temperatureMinutes;
        if (count <= 0)
            continue;
        take(ofCurrent ? hour.currentMin : hour.temperatureMin,
             ofCurrent ? hour.currentMax : hour.temperatureMax, hour.hour * 1000);
        sum += (ofCurrent ? hour.currentMean : hour.temperatureMean) * count;
        result.minutes += count;
    }
    if (result.minutes > 0)
        result.mean = sum / result.minutes;
    return result;
}

double ReportDeviceHistory::peak(bool ofCurrent, bool lowest, qint64 fromMs, qint64 toMs) const
{
    double best = qQNaN();
    const auto take = [&best, lowest](double value) {
        if (qIsFinite(value) && (qIsNaN(best) || (lowest ? value < best : value > best)))
            best = value;
    };
    for (const Minute &minute : minutes) {
        if (minute.ms >= fromMs && minute.ms <= toMs)
            take(ofCurrent ? minute.current : minute.temperature);
    }
    for (const ArchiveHour &hour : hours) {
        const qint64 startMs = hour.hour * 1000;
        if (startMs > toMs || startMs + WallTime::kHourMs <= fromMs)
            continue;
        if (ofCurrent)
            take(lowest ? hour.currentMin : hour.currentMax);
        else
            take(lowest ? hour.temperatureMin : hour.temperatureMax);
    }
    return best;
}

ReportSeries ReportDeviceHistory::temperatureSeries(int device) const
{
    ReportSeries series;
    series.device = device;
    series.hourly = isHourly();
    for (const Minute &minute : minutes) {
        series.x.append(minute.ms);
        series.value.append(qIsFinite(minute.temperature) ? minute.temperature : qQNaN());
    }
    for (const ArchiveHour &hour : hours) {
        series.x.append(hour.hour * 1000);
        series.value.append(hour.temperatureMean);
        series.min.append(hour.temperatureMin);
        series.max.append(hour.temperatureMax);
    }
    return series;
}
