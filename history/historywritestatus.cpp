#include "history/historywritestatus.h"

#include "core/servicelog.h"

#include <QCoreApplication>
#include <QDateTime>

QString HistoryWriteStatus::take(const HistoryStore::MinuteResult &result, const QDateTime &now)
{
    if (result.failed) {
        const bool started = shownText.isEmpty();
        shownText = result.outOfSpace
                        ? QCoreApplication::translate("HistoryWriteStatus", "磁盘空间不足，历史记录未写入")
                        : QCoreApplication::translate("HistoryWriteStatus", "历史记录未写入：%1")
                              .arg(result.reason);
        return started ? ServiceLog::line(now, "history", shownText + QStringLiteral(" (") + result.reason + QLatin1Char(')'))
                       : QString();
    }
    if (!result.lineWritten || shownText.isEmpty())
        return QString();
    shownText.clear();
    return ServiceLog::line(now, "history", QCoreApplication::translate("HistoryWriteStatus", "历史记录恢复写入"));
}
