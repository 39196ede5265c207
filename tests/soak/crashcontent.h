#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

// What the crash writer writes at step k; the test rebuilds the expected bytes from these
// values on its own, without the station's writers.
namespace CrashContent {

// Lengths vary with k, so a file cut at the old size is never mistaken for the new one.
inline QString settingsLine(qint64 k, int line)
{
    return QStringLiteral("%1:%2 设备").arg(k).arg(line)
        + QString(int((k * 7 + line) % 23), QChar(0x6E29));
}

// Up to 60 records: the longest lines span more than one 4 KiB page.
inline int recordCount(qint64 k) { return 1 + int((k * 37) % 60); }
// Whole numbers plus a half and a quarter, so their text is known without formatting code.
inline int temperatureWhole(qint64 k, int index) { return 20 + int((k + index) % 40); }
inline int currentWhole(int index) { return index % 10; }

inline QDateTime minute(qint64 k)
{
    return QDateTime(QDate(2026, 1, 5), QTime(0, 0), Qt::UTC).addSecs(60 * k);
}

} // namespace CrashContent
