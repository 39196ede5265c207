#pragma once

#include "trend/trenddata.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

// What a trend plots, as a CSV file in the station's CSV form: UTF-8 with a byte-order mark,
// fields quoted where CSV needs it, each row ending in CR LF.
class TrendExport
{
public:
    // The heading "时间", then per series "<label> 温度" (and "<label> 电流" when withCurrent);
    // hourly data gives "<label> 温度最小值", "<label> 温度平均值", "<label> 温度最大值" (and
    // the same for 电流). Then one row per time stamp in fromMs..toMs (both included), oldest
    // first, with every value at full resolution. A series without a point at that stamp, or
    // with a missing value (NaN), leaves its fields empty, so a spreadsheet skips them.
    // Minutes behind archive hours (see TrendData) take the hourly heading: a minute's row
    // has its value as the mean and leaves the minimum and maximum empty.
    static QByteArray document(const TrendData &data, qint64 fromMs, qint64 toMs,
                               bool withCurrent);

    // The exported picture's title: "<station> 趋势 │ 005 进线柜A相，006 │ <from> 至 <to>".
    static QString pictureTitle(const QString &station, const TrendData &data, qint64 fromMs,
                                qint64 toMs);

    // trend-005-006-yyyyMMdd-hhmmss.<suffix>: the devices shown and the time of the export.
    static QString fileName(const QVector<int> &devices, const QDateTime &when,
                            const QString &suffix);
};
