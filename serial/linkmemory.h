#pragma once

#include <QString>

// Which port the operator left open, so that a restart after a power cut polls
// again without anyone pressing "打开串口". Kept in the per-user settings.
class LinkMemory
{
public:
    static void remember(const QString &portName);
    static void forget();
    // Empty unless a port was open when the station last stopped.
    static QString portToResume();
};
