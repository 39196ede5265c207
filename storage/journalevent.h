#pragma once

#include <QString>
#include <QtNumeric>

class QSqlQuery;

// One row of the alarm journal, as written and as read back.
struct JournalEvent
{
    int device = 0;        // 1..200, 0 for the whole station
    int kind = 0;          // 1 temperature, 2 voltage, 3 current, 0 the whole station
    QString event;         // "alarm", "recovery", "acknowledge", "silence", "clear"
    QString timeText;      // as the alarm table shows it
    qint64 epochMs = 0;    // UTC
    double value = qQNaN();   // NaN is stored as NULL
    double limit = qQNaN();   // NaN is stored as NULL
    QString text;          // "5温度异常"
    qint64 beganMs = 0;    // 0 is stored as NULL

    // The row's columns in the order read() takes them, each name after `prefix` ("j.").
    static QString columns(const QString &prefix = QString());
    // The row of a query that selected columns() from firstColumn on.
    static JournalEvent read(const QSqlQuery &query, int firstColumn);
};
