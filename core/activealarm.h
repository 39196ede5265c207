#pragma once

#include "core/cabinetgroup.h"

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
    int level = 1;     // 0 预警, 1 报警
    CabinetGroup group{}; // the group a joint rule judged, if any
};
