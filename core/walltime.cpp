#include "core/walltime.h"

#include <QDate>

namespace {

// Days from 1970-01-01, whose Julian day is 2440588.
qint64 daysFromEpoch(const QDate &date)
{
    return date.toJulianDay() - 2440588;
}

bool digits(const char *text, int count, int *value)
{
    int v = 0;
    for (int k = 0; k < count; ++k) {
        const char c = text[k];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

} // namespace

namespace WallTime {

qint64 wallMs(const QDateTime &now)
{
    const QDateTime local = now.toLocalTime();
    const QDate date = local.date();
    const qint64 days = daysFromEpoch(date);
    return days * 86400000 + local.time().msecsSinceStartOfDay();
}

bool parseStamp(const char *text, int size, qint64 *wallMs)
{
    if (size != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':'
        || text[16] != ':')
        return false;
    int year, month, day, hour, minute, second;
    if (!digits(text, 4, &year) || !digits(text + 5, 2, &month) || !digits(text + 8, 2, &day)
        || !digits(text + 11, 2, &hour) || !digits(text + 14, 2, &minute)
        || !digits(text + 17, 2, &second))
        return false;
    if (!QDate::isValid(year, month, day) || hour > 23 || minute > 59 || second > 59)
        return false;
    *wallMs = (daysFromEpoch(QDate(year, month, day)) * 86400 + hour * 3600 + minute * 60 + second) * 1000;
    return true;
}

bool parseStamp(const QString &stamp, qint64 *wallMs)
{
    if (stamp.size() != 19)
        return false;
    char bytes[19];
    for (int k = 0; k < 19; ++k) {
        const ushort c = stamp.at(k).unicode();
        if (c >= 0x80)
            return false;
        bytes[k] = static_cast<char>(c);
    }
    return parseStamp(bytes, 19, wallMs);
}

QDateTime toDateTime(qint64 wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(wallMs, Qt::UTC);
}

QString stamp(qint64 wallMs)
{
    const QDateTime when = toDateTime(wallMs);
    const QDate date = when.date();
    const QTime time = when.time();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second());
}

qint64 hourStart(qint64 wallMs)
{
    const qint64 seconds = wallMs >= 0 ? wallMs / 1000 : (wallMs - 999) / 1000;
    return seconds - ((seconds % 3600) + 3600) % 3600;
}

} // namespace WallTime
