#pragma once

#include "report/reportdata.h"
#include "report/reportperiod.h"

#include <QString>

// The words and number formats a report's PDF and workbook share, so the two never name a
// kind, a level or a unit differently, nor print a figure at another resolution.
namespace ReportTerms {

// 温度, 电压, 电流, 通讯, 相间温差, 环境温升, 温升速率, 温度预警 for the journal's kinds 1..8.
QString kindName(int kind);
QString levelName(int level); // 预警, 报警
QString sourceName(ReportSource source);
// 分钟记录, 小时归档, 报警记录; empty without a peak.
QString peakSourceName(const ReportAlarm &alarm);

// Decimals a device's temperature (0.1 ℃) or current (0.01 A) is measured to.
int quantityDecimals(bool ofCurrent);
// The unit and decimals of an alarm's value by its kind: "°C" (0.1), "mV" (1), "A" (0.01),
// "°C/min" (0.1) for the rate of rise; empty for the link, which has none.
QString peakUnit(int kind);
int peakDecimals(int kind);

// A figure at that many decimals, never in exponent notation; "—" for NaN.
QString number(double value, int decimals);
// Minutes to a tenth, whole ones without a decimal: "12", "12.5", "1828920".
QString minutes(qint64 milliseconds);

} // namespace ReportTerms
