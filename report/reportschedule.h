#pragma once

#include "report/reportperiod.h"

#include <QDateTime>
#include <QString>
#include <QVector>

// When the station's own reports are due and what their files are called.
class ReportSchedule
{
public:
    // The reports that should exist at `now`: from 00:05 the day before, from the 1st at
    // 00:05 the month before. A station that was off at 00:05 finds the one it missed here
    // at its next start.
    static QVector<ReportPeriod> due(const QDateTime &now, bool daily, bool monthly);
    // "kestro-report-<station>-<yyyy-MM-dd>" or "…-<yyyy-MM>", without the extension; the
    // characters no file name takes, on Windows either, replaced by "_".
    static QString fileBase(const QString &station, const ReportPeriod &period);
};
