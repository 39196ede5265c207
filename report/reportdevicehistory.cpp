#include "report/reportdevicehistory.h"

#include "core/walltime.h"
#include "report/reportterms.h"

#include <algorithm>
#include <cmath>

void ReportDeviceHistory::addMinute(qint64 wallMs, double temperature, double current, bool inPeriod)
{
    minutes.append({wallMs, temperature, current, inPeriod});
}

void ReportDeviceHistory::addHour(const ArchiveHour &row, bool inPeriod)
{
    (inPeriod ? hours : hoursOutside).append(row);
}

void ReportDeviceHistory::finish()
{
    std::stable_sort(minutes.begin(), minutes.end(),
                     [](const Minute &a, const Minute &b) { return a.ms < b.ms; });
    minutes.erase(std::unique(minutes.begin(), minutes.end(),
                              [](const Minute &a, const Minute &b) { return a.ms == b.ms; }),
                  minutes.end());
    std::stable_sort(hours.begin(), hours.end(),
                     [](const ArchiveHour &a, const ArchiveHour &b) { return a.hour < b.hour; });
}

bool ReportDeviceHistory::isEmpty() const
{
    return hours.isEmpty() &&
           std::none_of(minutes.cbegin(), minutes.cend(), [](const Minute &m) { return m.inPeriod; });
}

ReportQuantity ReportDeviceHistory::quantity(bool ofCurrent) const
{
    // In steps of the resolution, as whole numbers: the sum is exact, and a mean rounded
    // from it cannot leave the lowest and highest, which are whole steps too.
    const double steps = std::pow(10.0, ReportTerms::quantityDecimals(ofCurrent));
    const auto step = [steps](double value) { return double(std::llround(value * steps)); };
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
        if (!minute.inPeriod || !qIsFinite(value))
            continue;
        take(step(value), step(value), minute.ms);
        sum += step(value);
        ++result.minutes;
    }
    for (const ArchiveHour &hour : hours) {
        const int count = ofCurrent ? hour.currentMinutes : hour.temperatureMinutes;
        if (count <= 0)
            continue;
        take(step(ofCurrent ? hour.currentMin : hour.temperatureMin),
             step(ofCurrent ? hour.currentMax : hour.temperatureMax), hour.hour * 1000);
        sum += (ofCurrent ? hour.currentMean : hour.temperatureMean) * steps * count;
        result.minutes += count;
    }
    if (result.minutes == 0)
        return result;
    // The archive's means are of unrounded minutes: kept within the rounded extremes.
    result.mean = qBound(result.min, std::round(sum / result.minutes), result.max) / steps;
    result.min /= steps;
    result.max /= steps;
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
    // An hour's extreme may come from before the alarm began or after it ended: only hours
    // wholly inside it.
    for (const QVector<ArchiveHour> *list : {&hours, &hoursOutside}) {
        for (const ArchiveHour &hour : *list) {
            const qint64 startMs = hour.hour * 1000;
            if (startMs < fromMs || startMs + WallTime::kHourMs > toMs)
                continue;
            if (ofCurrent)
                take(lowest ? hour.currentMin : hour.currentMax);
            else
                take(lowest ? hour.temperatureMin : hour.temperatureMax);
        }
    }
    return best;
}

ReportSeries ReportDeviceHistory::temperatureSeries(int device) const
{
    ReportSeries series;
    series.device = device;
    series.hourly = isHourly();
    for (const Minute &minute : minutes) {
        if (!minute.inPeriod)
            continue;
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
