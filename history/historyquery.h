#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

class QDateTime;

// Stored minute records between two stamps, read from the seven history files: one device's
// for the history page, several devices' in one pass for trends and the archive.
// Holds no state and touches no widget, so it runs on a worker thread.
class HistoryQuery
{
public:
    static constexpr int kResultSlots = 10080;
    static constexpr int kProgressEnd = 10079;
    static constexpr int kFirstDevice = 1;
    static constexpr int kLastDevice = 200;

    struct Result
    {
        // Display texts ("ID:007 温度:23.5 ... 时间:2024-05-01 08:00:00;"), oldest first.
        QStringList displayTexts;
        // For each listed record, its five field values without tags ("007", "23.5", ...).
        QVector<QStringList> fieldValues;
        // More than kResultSlots records matched; the later ones are not listed.
        bool dropped = false;
    };

    using RecordSink = std::function<void(int device, const QStringList &fields)>;

    // idText in base 10 (0 if not a number) as "%03d": "7", "07" and "007" give "007".
    static QString deviceText(const QString &idText);

    // Day indexes (Monday 0), oldest first: the day after the one being filled first, the one
    // being filled (min(count, 10079) / 1440) last.
    static QVector<int> dayOrder(int storedCount);

    // A stamp to match against: "yyyy-MM-dd HH:mm:ss" with ASCII digits whatever the locale.
    static QString stamp(const QDateTime &when);

    // The records of device deviceText(idText) stamped head <= stamp <= tail (plain text
    // order) from the seven files in dayOrder, at most kResultSlots. A missing file is skipped
    // with the day's debug message. progress gets increasing values ending at kProgressEnd.
    static Result run(const QString &dataDirectory, const QString &idText, const QString &timeHead,
                      const QString &timeTail, const std::function<void(int)> &progress);

    // One pass over the seven files in dayOrder for several devices: every record of a device
    // in `devices` (1..200; empty = every device) stamped head <= stamp <= tail, handed to
    // sink with its fields as HistoryRecord::parse gives them. A missing file is skipped.
    // `stop` is asked between stretches of lines; true ends the pass and scan returns false.
    static bool scan(const QString &dataDirectory, const QVector<int> &devices, const QString &head,
                     const QString &tail, const RecordSink &sink,
                     const std::function<bool()> &stop = {});
    // The same over the bytes of whole lines.
    static void scanBytes(const QByteArray &bytes, const QVector<int> &devices, const QString &head,
                          const QString &tail, const RecordSink &sink);

    // The matches in the bytes of whole lines, appended to result. Decodes only records whose
    // device digits and stamp could match; falls back to matchLines when the bytes hold a NUL.
    static void matchBytes(const QByteArray &bytes, const QString &device, const QString &head,
                           const QString &tail, Result *result);
    // The same by decoding and parsing every line whole.
    static void matchLines(const QByteArray &bytes, const QString &device, const QString &head,
                           const QString &tail, Result *result);
};
