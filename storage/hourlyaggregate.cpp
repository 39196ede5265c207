#include "storage/hourlyaggregate.h"

#include "core/walltime.h"

#include <QDateTime>
#include <QHash>
#include <charconv>
#include <cmath>

namespace {

constexpr int kLastDevice = 200;

bool isSpace(ushort c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

void HourlyAggregate::Quantity::add(double value)
{
    if (!std::isfinite(value))
        return;
    if (minutes == 0) {
        min = max = value;
    } else {
        min = qMin(min, value);
        max = qMax(max, value);
    }
    sum += value;
    ++minutes;
}

bool HourlyAggregate::fieldNumber(const QString &field, double *value)
{
    const int colon = field.indexOf(QLatin1Char(':'));
    int begin = colon < 0 ? 0 : colon + 1;
    int end = field.size();
    while (begin < end && isSpace(field.at(begin).unicode()))
        ++begin;
    while (end > begin && isSpace(field.at(end - 1).unicode()))
        --end;
    if (begin < end && field.at(begin) == QLatin1Char('+'))
        ++begin;
    char text[64];
    const int size = end - begin;
    if (size <= 0 || size > int(sizeof text))
        return false;
    for (int k = 0; k < size; ++k) {
        const ushort c = field.at(begin + k).unicode();
        if (c >= 0x80)
            return false;
        text[k] = char(c);
    }
    // Locale-free: the files hold "." whatever the system's decimal sign.
    const auto parsed = std::from_chars(text, text + size, *value);
    return parsed.ec == std::errc() && parsed.ptr == text + size;
}

void HourlyAggregate::addRecord(int device, const QStringList &fields)
{
    if (device < 1 || device > kLastDevice || fields.size() < 5)
        return;
    // The stamp as HistoryRecord::timeText cuts it, read in place: this runs for every
    // record of a week's backfill.
    const QString &timeField = fields.at(4);
    constexpr int kTag = 3; // "时间:"
    char stamp[19];
    qint64 wallMs = 0;
    for (int k = 0; k < 19; ++k) {
        const ushort c = kTag + k < timeField.size() ? timeField.at(kTag + k).unicode() : 0;
        stamp[k] = c < 0x80 ? char(c) : 0;
    }
    if (!WallTime::parseStamp(stamp, 19, &wallMs))
        return;
    double temperature = qQNaN();
    double current = qQNaN();
    if (!fieldNumber(fields.at(1), &temperature))
        temperature = qQNaN();
    if (!fieldNumber(fields.at(2), &current))
        current = qQNaN();
    add(device, wallMs / 1000, temperature, current);
}

void HourlyAggregate::add(int device, qint64 wallSeconds, double temperature, double current)
{
    if (device < 1 || device > kLastDevice)
        return;
    if (seen[device] && lastStamp[device] == wallSeconds)
        return;
    const qint64 hour = WallTime::hourStart(wallSeconds * 1000);
    Sums *entry = lastSums[device];
    if (!seen[device] || lastHour[device] != hour) {
        entry = &sums[Key(device, hour)];
        lastSums[device] = entry;
        lastHour[device] = hour;
    }
    seen[device] = true;
    lastStamp[device] = wallSeconds;
    entry->temperature.add(temperature);
    entry->current.add(current);
}

QVector<ArchiveHour> HourlyAggregate::rows() const
{
    QVector<ArchiveHour> out;
    out.reserve(int(sums.size()));
    QHash<qint64, qint64> utcs;
    for (const auto &entry : sums) {
        ArchiveHour row;
        row.device = entry.first.first;
        row.hour = entry.first.second;
        auto utc = utcs.find(row.hour);
        if (utc == utcs.end())
            utc = utcs.insert(row.hour, utcOfHour(row.hour));
        row.utc = *utc;
        const Sums &s = entry.second;
        row.temperatureMinutes = s.temperature.minutes;
        if (s.temperature.minutes > 0) {
            row.temperatureMin = s.temperature.min;
            row.temperatureMean = s.temperature.sum / s.temperature.minutes;
            row.temperatureMax = s.temperature.max;
        }
        row.currentMinutes = s.current.minutes;
        if (s.current.minutes > 0) {
            row.currentMin = s.current.min;
            row.currentMean = s.current.sum / s.current.minutes;
            row.currentMax = s.current.max;
        }
        out.append(row);
    }
    return out;
}

qint64 HourlyAggregate::utcOfHour(qint64 wallHour)
{
    // The offsets in force around that time; one of them put the clock on this hour, unless
    // it was jumped over.
    qint64 first = 0;
    qint64 jump = 0;
    bool found = false;
    bool any = false;
    for (const qint64 shift : {-86400LL, 0LL, 86400LL}) {
        const int offset = QDateTime::fromSecsSinceEpoch(wallHour + shift, Qt::UTC)
                               .toLocalTime()
                               .offsetFromUtc();
        const qint64 candidate = wallHour - offset;
        const qint64 shown = WallTime::wallMs(QDateTime::fromSecsSinceEpoch(candidate, Qt::UTC)) / 1000;
        if (shown == wallHour && (!found || candidate < first)) {
            first = candidate;
            found = true;
        }
        // A skipped hour: the offset before the jump places it where the jump happened.
        if (!any || candidate > jump)
            jump = candidate;
        any = true;
    }
    return found ? first : jump;
}
