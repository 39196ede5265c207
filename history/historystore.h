#pragma once

#include "core/devicereadings.h"

#include <QString>

class QDateTime;

// The rolling week of minute lines in the data directory: seven day files filled in turn
// by line count, whatever the calendar says, and the counter file that carries the
// position across restarts. Files are opened and closed within one minute write.
class HistoryStore
{
public:
    static constexpr int kLinesPerDay = 1440;
    static constexpr int kDays = 7;
    static constexpr int kCycleLines = kLinesPerDay * kDays;

    // What one minute write reached: a line that could not be written whole, or a counter
    // that could not be replaced, is a failure with its reason.
    struct MinuteResult
    {
        bool lineWritten = false;
        bool failed = false;
        bool outOfSpace = false;
        QString reason;
    };

    explicit HistoryStore(const QString &dataDirectory);

    // One tick of the history timer. Reloads the count, truncates a day file when the
    // count reaches its first slot (Monday at the end of the cycle, restarting it), appends
    // the line of every device with a temperature not 0, stamped with now, to the file the
    // count selects (twice on the tick that fills a day's last slot), and stores the count.
    // Failures go to standard output ("Open failed2.", "Open failed1.") and stop nothing;
    // a line that cannot be written whole is taken back, and the count still advances.
    MinuteResult recordHistoryMinute(const DeviceReadings &readings, const QDateTime &now);

    // The count as the last minute write left it; 0 before the first.
    int historyLineCount() const { return lineCount; }

    // "History_Monday_value.txt" for day 0 to "History_Sunday_value.txt" for day 6; empty
    // for any other day.
    static QString dayFileName(int day);
    // "profile.txt": the count as one decimal line.
    static QString counterFileName();

    // The count in the counter file: the last line wins, a line that is not a number
    // gives 0, above a full cycle counts as a full cycle and below 0 as 0. 0 when the file
    // is missing; *readable (when given) tells whether it could be opened. An empty file
    // (left so by older stations on a full disk) gives countFromDayFiles().
    static int readStoredCount(const QString &dataDirectory, bool *readable = nullptr);

    // The count the readers order the day files by, oldest first: the stored one, unless the
    // day after the one it names holds a line as new as that day's last. A kill between the
    // tick that filled a day (and so began the next) and the counter's update leaves that;
    // read by the stored count, the newest line would come first and again last.
    static int orderingCount(const QString &dataDirectory);

    // Where the cycle stands, judged from the day files alone: after the last line of the
    // file whose last line is the newest, a full file counting as 1440 lines.
    static int countFromDayFiles(const QString &dataDirectory);

private:
    QString filePath(const QString &name) const;
    void truncateDay(int day) const;
    void appendLine(int day, const QByteArray &bytes, MinuteResult *result) const;
    void storeCount(MinuteResult *result) const;

    QString directory;
    int lineCount = 0;
};
