#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

// One device's stored minute records between two stamps, read from the seven history files.
// Holds no state and touches no widget, so it runs on a worker thread.
class HistoryQuery
{
public:
    static constexpr int kResultSlots = 10080;
    static constexpr int kProgressEnd = 10079;

    struct Result
    {
        // Display texts ("ID:007 温度:23.5 ... 时间:2024-05-01 08:00:00;"), oldest first.
        QStringList displayTexts;
        // For each listed record, its five field values without tags ("007", "23.5", ...).
        QVector<QStringList> fieldValues;
        // More than kResultSlots records matched; the later ones are not listed.
        bool dropped = false;
    };

    // idText in base 10 (0 if not a number) as "%03d": "7", "07" and "007" give "007".
    static QString deviceText(const QString &idText);

    // Day indexes (Monday 0), oldest first: the day after the one being filled first, the one
    // being filled (min(count, 10079) / 1440) last.
    static QVector<int> dayOrder(int storedCount);

    // The records of device deviceText(idText) stamped head <= stamp <= tail (plain text
    // order) from the seven files in dayOrder, at most kResultSlots. A missing file is skipped
    // with the day's debug message. progress gets increasing values ending at kProgressEnd.
    static Result run(const QString &dataDirectory, const QString &idText, const QString &timeHead,
                      const QString &timeTail, const std::function<void(int)> &progress);

    // The matches in the bytes of whole lines, appended to result. Decodes only records whose
    // device digits could match; falls back to matchLines when the bytes hold a NUL.
    static void matchBytes(const QByteArray &bytes, const QString &device, const QString &head,
                           const QString &tail, Result *result);
    // The same by decoding and parsing every line whole.
    static void matchLines(const QByteArray &bytes, const QString &device, const QString &head,
                           const QString &tail, Result *result);
};
