#pragma once

#include <QString>
#include <QVector>

// What a trend shows, in plain values: one series per chosen device, x in wall milliseconds
// (see TrendTime), ascending. A minute range holds the stored minute values; an hourly range
// (from the archive) holds each hour's mean with its minimum and maximum. NaN marks a value
// that is missing (a record with nan, an hour without a figure of that quantity).
struct TrendSeries
{
    int device = 0;                // 1..200
    QString label;                 // "005 进线柜A相": the number, and the name when there is one
    QVector<double> x;
    QVector<double> temperature;   // minute value, or the hour's mean
    QVector<double> current;
    QVector<double> temperatureMin; // hourly only; empty for minute ranges
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
};
