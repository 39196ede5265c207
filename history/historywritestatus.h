#pragma once

#include "history/historystore.h"

#include <QString>

class QDateTime;

// Whether the minute lines reach the disk, as the operator is told: a status text for as
// long as they do not, and one log line when that starts and one when it ends, however
// many minutes it lasts.
class HistoryWriteStatus
{
public:
    // Takes one minute write; returns the line to log when it starts or ends a run of
    // failures, else nothing. A minute with no line to write changes nothing unless it
    // failed.
    QString take(const HistoryStore::MinuteResult &result, const QDateTime &now);

    bool failing() const { return !shownText.isEmpty(); }
    // "磁盘空间不足，历史记录未写入", or "历史记录未写入：" and the reason; empty while
    // lines are written.
    QString statusText() const { return shownText; }

private:
    QString shownText;
};
