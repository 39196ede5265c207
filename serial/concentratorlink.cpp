#include "serial/concentratorlink.h"

#include "serial/linkmemory.h"
#include "serial/networkline.h"
#include "serial/serialline.h"

#include <QMetaType>

ConcentratorLink::ConcentratorLink(QSerialPort *serialPort, QObject *parent)
    : QObject(parent),
      serialLine(new SerialLine(serialPort, this)),
      networkLine(new NetworkLine(this)),
      line(serialLine)
{
    qRegisterMetaType<ModbusFrame::Registers>("ModbusFrame::Registers");
    qRegisterMetaType<LinkCounters>("LinkCounters");
    qRegisterMetaType<LinkState>("LinkState");

    guardTimer.setSingleShot(true);
    guardTimer.setTimerType(Qt::PreciseTimer);
    connect(&guardTimer, &QTimer::timeout, this, [this]() {
        const QByteArray frame = heldRequest;
        heldRequest.clear();
        send(frame);
    });
    reconnectTimer.setInterval(kReconnectMs);
    connect(&reconnectTimer, &QTimer::timeout, this, &ConcentratorLink::retryOpen);
    connect(&collector, &ResponseCollector::responseCollected, this, &ConcentratorLink::onBurst);
    for (LinkLine *each : {static_cast<LinkLine *>(serialLine), static_cast<LinkLine *>(networkLine)}) {
        connect(each, &LinkLine::readyRead, this, &ConcentratorLink::DataReceived);
        connect(each, &LinkLine::failed, this, &ConcentratorLink::onLineFailed);
        connect(each, &LinkLine::connected, this, &ConcentratorLink::onLineConnected);
        // A gateway's answer to an earlier request: late, as on a serial line.
        connect(each, &LinkLine::lateAnswer, this, [this] {
            window.dropPartial();
            emit countersChanged(window.counters());
        });
    }
}

LinkLine *ConcentratorLink::lineFor(const QString &portName) const
{
    return NetworkLine::isNetworkName(portName) ? static_cast<LinkLine *>(networkLine)
                                                : static_cast<LinkLine *>(serialLine);
}

bool ConcentratorLink::isPortOpen() const
{
    return line->isOpen();
}

void ConcentratorLink::setWindowLength(int milliseconds)
{
    guardMs = milliseconds * kGuardPercent / 100;
}

bool ConcentratorLink::isUsablePortName(const QString &portName)
{
    if (portName.isEmpty() || portName.size() > 4096)
        return false;
    for (const QChar c : portName) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

bool ConcentratorLink::open(const QString &portName)
{
    reconnectTimer.stop();
    const bool usable = isUsablePortName(portName);
    if (usable) {
        line->close();
        line = lineFor(portName);
    }
    if (!usable || line->open(portName) == LinkLine::Opening::Failed) {
        // The operator has taken over from any reconnecting; nothing is retried now.
        if (linkState == LinkState::Lost)
            setState(LinkState::Closed, QStringLiteral("gave up reconnecting %1").arg(linkPortName));
        return false;
    }
    linkPortName = portName;
    window.resetCounters();
    LinkMemory::remember(portName);
    startedPolling(QStringLiteral("opened %1").arg(portName));
    return true;
}

void ConcentratorLink::close()
{
    reconnectTimer.stop();
    const bool wasOpen = line->isOpen();
    if (wasOpen)
        line->close();
    endAnswer();
    LinkMemory::forget();
    if (wasOpen || linkState != LinkState::Closed)
        setState(LinkState::Closed, QStringLiteral("closed %1 by the operator").arg(linkPortName));
}

void ConcentratorLink::resume(const QString &portName)
{
    if (!isUsablePortName(portName))
        return;
    linkPortName = portName;
    line = lineFor(portName);
    window.resetCounters();
    if (line->open(portName) != LinkLine::Opening::Failed) {
        startedPolling(QStringLiteral("reopened %1 after a restart").arg(portName));
        return;
    }
    setState(LinkState::Lost, QStringLiteral("%1 not available after a restart, reconnecting")
                                  .arg(portName));
    reconnectTimer.start();
}

void ConcentratorLink::startedPolling(const QString &event)
{
    openedAt = QDateTime::currentDateTime();
    lastValidAnswer = QDateTime();
    guardArmed = false;
    lastWindowAnswered = false;
    setState(LinkState::Polling, event);
    emit countersChanged(window.counters());
}

void ConcentratorLink::request(const QByteArray &frame)
{
    guardTimer.stop();
    heldRequest.clear();
    if (!line->isOpen())
        return;
    if (line->vanished()) {
        onPortLost();
        return;
    }
    const qint64 held = guardArmed ? guardMs - sinceUnansweredWindow.elapsed() : 0;
    if (held > 0) {
        heldRequest = frame;
        guardTimer.start(static_cast<int>(held));
        return;
    }
    send(frame);
}

void ConcentratorLink::send(const QByteArray &frame)
{
    if (!line->isOpen())
        return;
    // Whatever is still arriving began before this request and cannot answer it.
    if (collector.isCollecting())
        window.dropPartial();
    collector.reset();
    line->clearInput();
    windowFollowsAnswer = lastWindowAnswered;
    window.open();
    line->write(frame);
}

bool ConcentratorLink::closeWindow()
{
    guardTimer.stop();
    heldRequest.clear();
    if (!window.isOpen()) {
        emit stepWithoutReading();
        return false;
    }
    const bool gathering = collector.isCollecting();
    const bool reading = window.close(gathering);
    guardArmed = !reading || gathering;
    lastWindowAnswered = !guardArmed;
    if (guardArmed)
        sinceUnansweredWindow.start();
    if (!reading)
        emit stepWithoutReading();

    if (reading && linkState != LinkState::Answering) {
        setState(LinkState::Answering, linkState == LinkState::Silent
                                           ? QStringLiteral("concentrator answering again")
                                           : QStringLiteral("concentrator answering"));
    } else if (!reading && linkState != LinkState::Silent &&
               window.windowsWithoutReading() >= kSilentAfterWindows) {
        setState(LinkState::Silent, QStringLiteral("concentrator silent since %1")
                                        .arg(silentSince().toString(QStringLiteral("hh:mm:ss"))));
    }
    emit countersChanged(window.counters());
    return reading;
}

QDateTime ConcentratorLink::silentSince() const
{
    return lastValidAnswer.isValid() ? lastValidAnswer : openedAt;
}

void ConcentratorLink::DataReceived()
{
    const QByteArray bytes = line->readAll();
    if (!bytes.isEmpty())
        collector.append(bytes);
}

void ConcentratorLink::onBurst(const QByteArray &bytes)
{
    ModbusFrame::Registers registers{};
    if (window.take(bytes, &registers) == AnswerWindow::Burst::Decoded) {
        lastValidAnswer = QDateTime::currentDateTime();
        emit answerDecoded(registers);
        if (windowFollowsAnswer)
            emit answerSettled();
    }
}

void ConcentratorLink::onLineFailed()
{
    if (!line->isOpen() || lossPending)
        return;
    // A failed port keeps reporting from inside its own notifier; close it from the
    // event loop, not from under the notifier.
    lossPending = true;
    QMetaObject::invokeMethod(this, &ConcentratorLink::onPortLost, Qt::QueuedConnection);
}

void ConcentratorLink::onLineConnected()
{
    if (linkState == LinkState::Lost) {
        reconnectTimer.stop();
        startedPolling(QStringLiteral("reopened %1").arg(linkPortName));
    } else {
        emit logEvent(QStringLiteral("connected to %1").arg(linkPortName));
    }
}

void ConcentratorLink::onPortLost()
{
    lossPending = false;
    if (!line->isOpen())
        return;
    const QString reason = line->errorString();
    line->close();
    endAnswer();
    // A reconnect that failed again changes nothing the operator sees.
    setState(LinkState::Lost,
             QStringLiteral("%1 lost (%2), reconnecting").arg(linkPortName, reason));
    reconnectTimer.start();
}

void ConcentratorLink::retryOpen()
{
    // A connection still being made is waited for.
    if (line->isOpen())
        return;
    const LinkLine::Opening opening = line->open(linkPortName);
    if (opening != LinkLine::Opening::Open)
        return;
    reconnectTimer.stop();
    startedPolling(QStringLiteral("reopened %1").arg(linkPortName));
}

void ConcentratorLink::endAnswer()
{
    guardTimer.stop();
    heldRequest.clear();
    collector.reset();
    window.abandon();
    guardArmed = false;
    lastWindowAnswered = false;
}

void ConcentratorLink::setState(LinkState state, const QString &event)
{
    if (state == linkState)
        return;
    linkState = state;
    emit logEvent(event);
    emit stateChanged(state);
}
