#pragma once

#include <QString>
#include <QVector>

// What a trend shows, in plain values: one series per chosen device, x in wall milliseconds
// (see WallTime), ascending. A minute range holds the stored minute values; an hourly range
// (from the archive) holds each hour's mean with its minimum and maximum. A minute range the
// weekly files no longer hold whole starts with archive hours, then goes on in minutes: the
// minimum and maximum vectors are as long as that run of hours. NaN marks a value that is
// missing (a record with nan, an hour without a figure of that quantity).
struct TrendSeries
{
    int device = 0;                // 1..200
    QString label;                 // "005 进线柜A相": the number, and the name when there is one
    QVector<double> x;
    QVector<double> temperature;   // minute value, or the hour's mean
    QVector<double> current;
    QVector<double> temperatureMin; // the leading hours only; empty for minutes alone
    QVector<double> temperatureMax;
    QVector<double> currentMin;
    QVector<double> currentMax;
};

struct TrendLimits
{
    int device = 0;
    double upperTemperature = 0;
    double lowerTemperature = 0;
    double upperCurrent = 0;
};

struct TrendData
{
    qint64 fromMs = 0; // the requested range, wall milliseconds
    qint64 toMs = 0;
    bool hourly = false;
    QVector<TrendSeries> series;
    QVector<TrendLimits> limits; // one per series, same order
    // A minute range starting before the oldest minute the weekly files held: fromMs up to
    // this came from the archive (0: nothing did), or could not, and why.
    qint64 archivedToMs = 0;
    QString archiveError;
};

// How many of the series' first points are archive hours.
inline int hourCount(const TrendSeries &series)
{
    return qMin(series.temperatureMin.size(), series.x.size());
}
