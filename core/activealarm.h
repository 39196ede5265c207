#pragma once

#include <QDateTime>
#include <QString>

// An alarm still open, as the alarm list shows it: what the site link reports as standing.
struct ActiveAlarm
{
    int device = 0;
    int kind = 0;
    QString text;
    QString state;     // as the alarm list shows it, "未确认"
    QDateTime since;
};
