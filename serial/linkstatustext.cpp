#include "serial/linkstatustext.h"

#include "core/servicelog.h"

#include <QCoreApplication>
#include <QLocale>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LinkStatus", text);
}

} // namespace

QString LinkStatusText::stateText(LinkState state, const QString &portName,
                                  const QDateTime &silentSince)
{
    // A concentrator over the network is reached by a connection, not a port.
    const QString line = portName.contains(QLatin1String("://")) ? tr("连接 %1").arg(portName)
                                                                 : tr("串口 %1").arg(portName);
    switch (state) {
    case LinkState::Closed:
        return tr("串口未打开");
    case LinkState::Polling:
        return tr("%1 已打开，等待集中器应答").arg(line);
    case LinkState::Answering:
        return tr("%1：轮询中，集中器应答正常").arg(line);
    case LinkState::Silent:
        return tr("%1：集中器自 %2 起无应答")
            .arg(line, QLocale::c().toString(silentSince, QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    case LinkState::Lost:
        return tr("%1 已断开，正在重新连接…").arg(line);
    }
    return QString();
}

QString LinkStatusText::countersText(const LinkCounters &counters)
{
    return tr("有效应答 %1 │ 无应答 %2 │ 校验错 %3 │ 长度/功能错 %4 │ 迟到丢弃 %5")
        .arg(counters.validAnswers)
        .arg(counters.noAnswer)
        .arg(counters.badCrc)
        .arg(counters.badFrame)
        .arg(counters.lateDropped);
}

QString LinkStatusText::logLine(const QDateTime &when, const QString &event)
{
    return ServiceLog::line(when, "link", event);
}
