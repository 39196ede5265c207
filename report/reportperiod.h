#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// Where a report's figures come from: the weekly minute files (exact), the hourly archive
// (minimum and maximum exact per hour, mean weighted by minutes), or nothing readable.
enum class ReportSource
{
    MinuteFiles,
    HourlyArchive,
    None
};

// The calendar day or month a report covers, in the station's local time.
class ReportPeriod
{
public:
    enum class Length
    {
        Day,
        Month
    };

    ReportPeriod() = default;
    static ReportPeriod day(const QDate &date);
    static ReportPeriod month(int year, int month);
    // "yyyy-MM-dd" for a day, "yyyy-MM" for a month; false for anything else.
    static bool parse(const QString &text, ReportPeriod *period);

    bool isValid() const { return first.isValid(); }
    Length length() const { return periodLength; }
    QString text() const; // as parse() takes it
    QDate firstDay() const { return first; }
    QDate endDay() const; // the day after the last

    // Wall milliseconds (see WallTime) of the first moment and of the one after the last.
    qint64 wallFromMs() const;
    qint64 wallToMs() const;
    // The same moments in real UTC milliseconds, as the journal's epoch_ms counts.
    qint64 utcFromMs() const;
    qint64 utcToMs() const;

    // The weekly files hold the last seven days whole: a day starting within them is read
    // there; an older day, and any month, from the archive.
    ReportSource sourceAt(const QDateTime &now) const;

private:
    QDate first;
    Length periodLength = Length::Day;
};
