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
    QStringList notes;     // what could not be read, though the report was made
    bool written() const { return files.size() == 2; }
};
Q_DECLARE_METATYPE(ReportOutcome)

// A report's PDF and XLSX for a period, from the data folder into a folder of reports. The
// dialog, the schedule and the command line all make them here. Takes seconds and needs a
// QGuiApplication (the PDF's fonts): call it on a worker thread.
class ReportFiles
{
public:
    static ReportOutcome make(const QString &dataDirectory, const ReportPeriod &period,
                              const QString &stationName, const QString &folder,
                              const QDateTime &now,
                              const std::function<void(int percent)> &progress = {},
                              const std::atomic<bool> *cancel = nullptr);
    // The two files' paths, the PDF first.
    static QStringList paths(const QString &folder, const QString &stationName,
                             const ReportPeriod &period);
    // Both files are there.
    static bool exist(const QString &folder, const QString &stationName, const ReportPeriod &period);
};
