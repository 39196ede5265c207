#include "report/reportterms.h"

#include "monitor/alarmdetector.h"

#include <cmath>

namespace ReportTerms {

QString kindName(int kind)
{
    static const char *const names[] = {"温度", "电压", "电流", "通讯", "相间温差", "环境温升", "温升速率", "温度预警"};
    return kind >= 1 && kind <= 8 ? QString::fromUtf8(names[kind - 1]) : QString::number(kind);
}

QString levelName(int level)
{
    return level == AlarmDetector::Warning ? QStringLiteral("预警") : QStringLiteral("报警");
}

QString sourceName(ReportSource source)
{
    switch (source) {
    case ReportSource::MinuteFiles:
        return QStringLiteral("分钟记录");
    case ReportSource::HourlyArchive:
        return QStringLiteral("小时归档");
    case ReportSource::None:
        break;
    }
    return QStringLiteral("无可读数据");
}

QString peakSourceName(const ReportAlarm &alarm)
{
    if (qIsNaN(alarm.peak))
        return QString();
    switch (alarm.peakSource) {
    case ReportAlarm::PeakSource::Minutes:
        return QStringLiteral("分钟记录");
    case ReportAlarm::PeakSource::Hours:
        return QStringLiteral("小时归档");
    case ReportAlarm::PeakSource::Journal:
        break;
    }
    return QStringLiteral("报警记录");
}

int quantityDecimals(bool ofCurrent)
{
    return ofCurrent ? 2 : 1;
}

QString peakUnit(int kind)
{
    switch (kind) {
    case AlarmDetector::Voltage:
        return QStringLiteral("mV");
    case AlarmDetector::Current:
        return QStringLiteral("A");
    case AlarmDetector::Link:
        return QString();
    case AlarmDetector::RateOfRise:
        return QStringLiteral("°C/min");
    default:
        return QStringLiteral("°C");
    }
}

int peakDecimals(int kind)
{
    return kind == AlarmDetector::Voltage ? 0 : quantityDecimals(kind == AlarmDetector::Current);
}

QString number(double value, int decimals)
{
    if (!std::isfinite(value))
        return QStringLiteral("—");
    // -0.0 would print as "-0.0".
    const double rounded = std::round(value * std::pow(10.0, decimals)) / std::pow(10.0, decimals);
    return QString::number(rounded == 0 ? 0.0 : rounded, 'f', decimals);
}

QString minutes(qint64 milliseconds)
{
    const qint64 tenths = (milliseconds + (milliseconds >= 0 ? 3000 : -3000)) / 6000;
    return tenths % 10 == 0 ? QString::number(tenths / 10) : number(tenths / 10.0, 1);
}

} // namespace ReportTerms
