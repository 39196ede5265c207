#pragma once

#include "report/reportperiod.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

// What making a report's files came to.
struct ReportOutcome
{
    ReportPeriod period;
    QStringList files;     // written, the PDF first
    QString error;         // why not both were written
    bool cancelled = false;
    bool empty = false;    // nothing recorded in the period: nothing written
    bool notBegun = false; // the period begins after the report's time: nothing written
    QStringList notes;     // what could not be read, though the report was made
    bool written() const { return files.size() == 2; }
};
Q_DECLARE_METATYPE(ReportOutcome)

// A report's PDF and XLSX for a period, from the data folder into a folder of reports. The
// dialog, the schedule and the command line all make them here. Takes seconds and needs a
// QGuiApplication (the PDF's fonts): call it on a worker thread.
//
// The two are one report: both are written whole under temporary names in a hidden folder
// beside them, given the time the report was made as their modification time, and only then
// put in place, one after the other. A kill between the two leaves a pair whose times differ,
// which state() tells apart. One report is made into a folder at a time (a lock file there),
// and what a killed one left is removed by the next.
class ReportFiles
{
public:
    enum class State
    {
        Missing,    // one or both files are not there
        Mixed,      // the two were made at different times
        Unfinished, // made while its period was still running
        Complete
    };

    static ReportOutcome make(const QString &dataDirectory, const ReportPeriod &period,
                              const QString &stationName, const QString &folder,
                              const QDateTime &now,
                              const std::function<void(int percent)> &progress = {},
                              const std::atomic<bool> *cancel = nullptr);
    // The two files' paths, the PDF first.
    static QStringList paths(const QString &folder, const QString &stationName,
                             const ReportPeriod &period);
    static State state(const QString &folder, const QString &stationName, const ReportPeriod &period);
    // Removes what a report killed while being made left in folder, unless one is being made
    // there now.
    static void removeLeftovers(const QString &folder);
};
