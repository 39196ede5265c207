#pragma once

#include <QDateTime>
#include <QString>

// The time base of the history stamps, the archive and the trend: "wall" time, the local date and time as the clock showed it and as
// the history stamps hold it, counted as if it were UTC. It never needs a zone lookup, and
// an hour the clock went through twice overlaps itself, as the stamps do. Axes show it with
// Qt::UTC, so their labels read as the stamps.
namespace WallTime {

// now's local date and time as wall milliseconds.
qint64 wallMs(const QDateTime &now);
// A "yyyy-MM-dd hh:mm:ss" stamp (exactly 19 ASCII characters, a real date and time) as wall
// milliseconds; false for anything else.
bool parseStamp(const char *text, int size, qint64 *wallMs);
bool parseStamp(const QString &stamp, qint64 *wallMs);
// The stamp text of wall milliseconds, "yyyy-MM-dd hh:mm:ss", ASCII digits.
QString stamp(qint64 wallMs);
// Wall milliseconds as a QDateTime in Qt::UTC, for axes and editors.
QDateTime toDateTime(qint64 wallMs);
// The start of the hour holding wallMs, in wall seconds (the archive's hour key).
qint64 hourStart(qint64 wallMs);

constexpr qint64 kHourMs = 3600 * 1000;

} // namespace WallTime
