#pragma once

#include <QString>

// Which reports the station makes by itself and where they go: per user in the station's
// settings, group "report".
struct ReportSettings
{
    bool daily = true;   // at 00:05, the day before
    bool monthly = true; // on the 1st at 00:05, the month before
    QString folder;      // empty: "reports" in the data folder; relative: from the data folder

    static ReportSettings load();
    // False, with the operator's text in *problem, when they could not be written: the
    // settings stored stay as they were.
    bool save(QString *problem = nullptr) const;
    // The folder the reports of the station on dataDirectory are written to.
    QString folderPath(const QString &dataDirectory) const;
};
