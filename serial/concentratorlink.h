#pragma once

#include "serial/answerwindow.h"
#include "serial/linkcounters.h"
#include "serial/linkstate.h"
#include "serial/modbusframe.h"
#include "serial/responsecollector.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class LinkLine;
class NetworkLine;
class QSerialPort;
class SerialLine;

// Everything about the line to the concentrator: the port (a serial port, or a TCP connection
// named "tcp://HOST:PORT" or "mbtcp://HOST:PORT"), the gathering of answers, the answer
// windows with their guard, reconnection and the counters. Knows nothing of widgets; tells
// the rest of the station by signals.
class ConcentratorLink : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultWindowMs = 1000;
    // Share of a window that the next request is held back after a window closed
    // without its answer, so that an answer late by up to this much is dropped.
    static constexpr int kGuardPercent = 30;
    static constexpr int kReconnectMs = 2000;
    // One polling cycle's worth of windows without a reading.
    static constexpr int kSilentAfterWindows = 8;

    // No port is named with control characters; such a name (a NUL typed into the port
    // box) is refused before the serial library sees it, where it is not handled safely.
    static bool isUsablePortName(const QString &portName);

    // Takes ownership of the serial port, whose line settings are the caller's.
    explicit ConcentratorLink(QSerialPort *port, QObject *parent = nullptr);

    void setWindowLength(int milliseconds);
    int guardTime() const { return guardMs; }
    void setReconnectInterval(int milliseconds) { reconnectTimer.setInterval(milliseconds); }

    // The operator opens a port; false when it cannot be opened. A network line counts as
    // open while it connects: a connection refused is a lost line, reconnected.
    bool open(const QString &portName);
    // The operator closes the port: ends any answer in progress and stops reconnecting.
    void close();
    // Reopens the port that was open when the station last stopped, retrying while it
    // is not there.
    void resume(const QString &portName);

    // A request's window opens: the frame goes out now, or after the guard time.
    void request(const QByteArray &frame);
    // The window closes: true when exactly one valid answer came in it, else
    // stepWithoutReading and false.
    bool closeWindow();

    bool isPortOpen() const;
    bool isGathering() const { return collector.isCollecting(); }
    LinkState state() const { return linkState; }
    QString portName() const { return linkPortName; }
    const LinkCounters &counters() const { return window.counters(); }
    // Since when the concentrator has been silent: its last valid answer, or the opening.
    QDateTime silentSince() const;
    // Its last valid answer; invalid before the first since the opening.
    QDateTime lastAnswerAt() const { return lastValidAnswer; }

public slots:
    void DataReceived();

signals:
    void answerDecoded(const ModbusFrame::Registers &registers);
    // Follows answerDecoded when the window may close now: its request went out after an
    // answered window, so no earlier answer can still be on its way to be mistaken for this
    // one. After a missed window, or first after opening, the window runs its full length.
    void answerSettled();
    void stepWithoutReading();
    void stateChanged(LinkState state);
    void countersChanged(const LinkCounters &counters);
    // A change of link state in English words, for the service log.
    void logEvent(const QString &text);

private:
    void onBurst(const QByteArray &bytes);
    void onLineFailed();
    void onLineConnected();
    void onPortLost();
    LinkLine *lineFor(const QString &portName) const;
    void retryOpen();
    void send(const QByteArray &frame);
    void startedPolling(const QString &event);
    void endAnswer();
    void setState(LinkState state, const QString &event);

    SerialLine *serialLine;
    NetworkLine *networkLine;
    LinkLine *line;
    ResponseCollector collector;
    AnswerWindow window;
    QTimer guardTimer;
    QTimer reconnectTimer;
    QElapsedTimer sinceUnansweredWindow;
    QByteArray heldRequest;
    QString linkPortName;
    QDateTime openedAt;
    QDateTime lastValidAnswer;
    LinkState linkState = LinkState::Closed;
    int guardMs = kDefaultWindowMs * kGuardPercent / 100;
    bool guardArmed = false;
    bool lastWindowAnswered = false;
    bool windowFollowsAnswer = false;
    bool lossPending = false;
};
