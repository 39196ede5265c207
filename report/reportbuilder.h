#pragma once

#include "report/reportdata.h"

#include <QDateTime>
#include <QString>
#include <atomic>
#include <functional>

// Gathers a report's figures from a data folder: the device settings file, the history
// files or the hourly archive, and the station database's journal and cabinet groups, all
// read only, beside a running station or on a folder that has only history files. It takes
// seconds: call it on a worker thread (QtConcurrent::run).
class ReportBuilder
{
public:
    // progress gets rising percentages up to 100; a cancel flag that turns true ends it early
    // with ReportData::cancelled set. now is when the report is made: the end of what a
    // period still running covers, and what decides between the minute files and the archive.
    static ReportData build(const QString &dataDirectory, const ReportPeriod &period,
                            const QString &stationName, const QDateTime &now,
                            const std::function<void(int percent)> &progress = {},
                            const std::atomic<bool> *cancel = nullptr);
};
