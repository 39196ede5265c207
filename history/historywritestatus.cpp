#include "history/historywritestatus.h"

#include <QCoreApplication>
#include <QDateTime>

namespace {

QString logLine(const QDateTime &now, const QString &event)
{
    return now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral(" history: ") + event;
}

} // namespace

QString HistoryWriteStatus::take(const HistoryStore::MinuteResult &result, const QDateTime &now)
{
    if (result.failed) {
        const bool started = shownText.isEmpty();
        shownText = result.outOfSpace
                        ? QCoreApplication::translate("HistoryWriteStatus", "磁盘空间不足，历史记录未写入")
                        : QCoreApplication::translate("HistoryWriteStatus", "历史记录未写入：%1")
                              .arg(result.reason);
        return started ? logLine(now, shownText + QStringLiteral(" (") + result.reason + QLatin1Char(')'))
                       : QString();
    }
    if (!result.lineWritten || shownText.isEmpty())
        return QString();
    shownText.clear();
    return logLine(now, QCoreApplication::translate("HistoryWriteStatus", "历史记录恢复写入"));
}
