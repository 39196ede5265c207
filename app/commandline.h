#pragma once

#include "report/reportperiod.h"

#include <QString>
#include <QStringList>

// What the station was asked to do at start; empty strings keep the usual behaviour.
struct StationOptions
{
    QString dataDirectory;
    QString port;
    bool fullScreen = false;
    // A CSV file of cabinet groups to import into the data folder's database, then exit.
    QString importRules;
    // A report of this day or month into reportOut (empty: the report folder), then exit.
    ReportPeriod report;
    QString reportOut;
    // Help, version or a bad option: print `message` and end with `exitCode`, no window.
    bool exitNow = false;
    int exitCode = 0;
    // stdout when exitCode is 0, else one line for stderr.
    QString message;
};

class CommandLine
{
public:
    // The whole argument list, program name first. Needs no application object, so it runs
    // before anything that could show a window or need a display.
    static StationOptions parse(const QStringList &arguments);
    // The options again as arguments (no program name), for a later start from any folder to
    // run as this one: relative paths made absolute as this start resolves them.
    static QStringList toArguments(const StationOptions &options);
};
