#pragma once

#include "serial/linkcounters.h"
#include "serial/linkstate.h"

#include <QDateTime>
#include <QString>

// What the status bar and the service log say about the link.
class LinkStatusText
{
public:
    // silentSince is used only for the silent state.
    static QString stateText(LinkState state, const QString &portName, const QDateTime &silentSince);
    static QString countersText(const LinkCounters &counters);
    // "yyyy-MM-dd hh:mm:ss link: <event>"
    static QString logLine(const QDateTime &when, const QString &event);
};
