#include "report/reportperiod.h"

#include "core/walltime.h"

#include <QRegularExpression>
#include <QTime>

ReportPeriod ReportPeriod::day(const QDate &date)
{
    ReportPeriod period;
    period.first = date;
    period.periodLength = Length::Day;
    return period;
}

ReportPeriod ReportPeriod::month(int year, int month)
{
    ReportPeriod period;
    period.first = QDate(year, month, 1);
    period.periodLength = Length::Month;
    return period;
}

bool ReportPeriod::parse(const QString &text, ReportPeriod *period)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{4})-([0-9]{2})(?:-([0-9]{2}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    const int year = match.captured(1).toInt();
    const int month = match.captured(2).toInt();
    const bool isDay = !match.captured(3).isEmpty();
    const QDate date(year, month, isDay ? match.captured(3).toInt() : 1);
    if (!date.isValid())
        return false;
    *period = isDay ? day(date) : ReportPeriod::month(year, month);
    return true;
}

QString ReportPeriod::text() const
{
    return first.toString(periodLength == Length::Day ? QStringLiteral("yyyy-MM-dd")
                                                      : QStringLiteral("yyyy-MM"));
}

QDate ReportPeriod::endDay() const
{
    return periodLength == Length::Day ? first.addDays(1) : first.addMonths(1);
}

qint64 ReportPeriod::wallFromMs() const
{
    return QDateTime(first, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
}

qint64 ReportPeriod::wallToMs() const
{
    return QDateTime(endDay(), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
}

qint64 ReportPeriod::utcFromMs() const
{
    return QDateTime(first, QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
}

qint64 ReportPeriod::utcToMs() const
{
    return QDateTime(endDay(), QTime(0, 0), Qt::LocalTime).toMSecsSinceEpoch();
}

ReportSource ReportPeriod::sourceAt(const QDateTime &now) const
{
    constexpr qint64 kWeekMs = 7LL * 24 * 3600 * 1000;
    if (periodLength == Length::Day && wallFromMs() >= WallTime::wallMs(now) - kWeekMs)
        return ReportSource::MinuteFiles;
    return ReportSource::HourlyArchive;
}
