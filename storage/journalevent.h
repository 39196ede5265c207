#pragma once

#include "core/cabinetgroup.h"

#include <QString>
#include <QtNumeric>

class QSqlQuery;

// One row of the alarm journal, as written and as read back.
struct JournalEvent
{
    int device = 0;        // 1..200, 0 for the whole station
    int kind = 0;          // 1 temperature, 2 voltage, 3 current, 4 link, 5..8 the joint
                           // rules, 0 the whole station
    QString event;         // "alarm", "recovery", "acknowledge", "silence", "clear"
    QString timeText;      // as the alarm table shows it
    qint64 epochMs = 0;    // UTC
    double value = qQNaN();   // NaN is stored as NULL
    double limit = qQNaN();   // NaN is stored as NULL
    QString text;          // "5温度异常"
    qint64 beganMs = 0;    // 0 is stored as NULL
    int level = 1;         // 0 预警, 1 报警; an event of no kind (silence, clear) has none,
                           // stored as NULL
    CabinetGroup group{};  // the group a joint rule judged; no name, stored as NULL, for none

    // "4,5,6,11": the group's phases A, B, C and its ambient device, an empty cell for none.
    static QString groupDevices(const CabinetGroup &group);

    // The row's columns in the order read() takes them, each name after `prefix` ("j.").
    static QString columns(const QString &prefix = QString());
    // The row of a query that selected columns() from firstColumn on.
    static JournalEvent read(const QSqlQuery &query, int firstColumn);
};
