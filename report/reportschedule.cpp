#include "report/reportschedule.h"

#include <QRegularExpression>

QVector<ReportPeriod> ReportSchedule::due(const QDateTime &now, bool daily, bool monthly)
{
    // Five minutes after midnight the day before is whole on disk, its last minute written.
    const QDate today = now.addSecs(-5 * 60).date();
    QVector<ReportPeriod> periods;
    if (daily)
        periods << ReportPeriod::day(today.addDays(-1));
    if (monthly) {
        const QDate before = today.addMonths(-1);
        periods << ReportPeriod::month(before.year(), before.month());
    }
    return periods;
}

QString ReportSchedule::fileBase(const QString &station, const ReportPeriod &period)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString name = station.trimmed();
    name.replace(forbidden, QStringLiteral("_"));
    return QStringLiteral("kestro-report-%1-%2").arg(name, period.text());
}
