#pragma once

#include <QString>
#include <qwt_scale_draw.h>

// Time labels read as the stamps (wall time shown as UTC), as fine as the visible span needs:
// seconds when zoomed to minutes, the year only when the view spans months.
class TimeScaleDraw : public QwtScaleDraw
{
public:
    void setSpan(double spanMs);
    QwtText label(double value) const override;

private:
    QString format = QStringLiteral("MM-dd hh:mm");
};
