#include "trend/timescaledraw.h"

#include "core/walltime.h"

#include <QLocale>
#include <cmath>

void TimeScaleDraw::setSpan(double spanMs)
{
    QString wanted;
    if (spanMs <= 15 * 60 * 1000.0)
        wanted = QStringLiteral("hh:mm:ss");
    else if (spanMs <= 24 * 3600 * 1000.0)
        wanted = QStringLiteral("hh:mm");
    else if (spanMs <= 62 * 24 * 3600 * 1000.0)
        wanted = QStringLiteral("MM-dd hh:mm");
    else
        wanted = QStringLiteral("yyyy-MM-dd");
    if (wanted != format) {
        format = wanted;
        invalidateCache();
    }
}

QwtText TimeScaleDraw::label(double value) const
{
    return QLocale::c().toString(WallTime::toDateTime(qint64(std::llround(value))), format);
}
