#pragma once

#include "core/devicereadings.h"
#include "serial/pollingpace.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <array>

// One pass over all 200 devices: eight read requests, each given its own answer
// window. Driven by timers so nothing waits while other events are held up. At the standard
// pace every window is spent in full and a cycle starts with the polling tick; polling fast,
// a window closes once its answer is settled, and the next request, of this cycle or the
// next, follows after the pace's gap.
class PollingCycle : public QObject
{
    Q_OBJECT

public:
    struct Step
    {
        quint16 startRegister;
        PanelQuantity quantity;
        int firstDevice;
    };

    static constexpr int kStepCount = 8;
    static constexpr int kDefaultStepIntervalMs = 1000;

    static const std::array<Step, kStepCount> &steps();
    // Decimal text, blanks ignored; not a number gives 0; only the low 8 bits count.
    static quint8 addressFromText(const QString &text);

    explicit PollingCycle(QObject *parent = nullptr);

    void setStepInterval(int milliseconds);
    void setPace(const PollingPace &pace) { currentPace = pace; }

    bool isRunning() const { return currentStep >= 0 || gapTimer.isActive(); }
    // Starts a cycle unless one is running; returns whether it started.
    bool start(quint8 address);

    // The open window's answer is in and nothing else can be mistaken for it.
    void answerSettled();

signals:
    // The window of `step` opens: its request is to be sent now.
    void requestDue(int step, const QByteArray &frame);
    // The window of `step` has closed: its panels are to be filled now.
    void stepElapsed(int step);
    // Polling fast, after stepElapsed of a window its answer closed: judge its devices now.
    void answerApplied(int step);
    // Polling fast, a cycle has ended and the gap after it has passed: start the next one.
    void cycleDue();

private:
    void openWindow();
    void onWindowClosed();
    void onGapPassed();

    QTimer stepTimer;
    QTimer gapTimer;
    PollingPace currentPace;
    int stepIntervalMs = kDefaultStepIntervalMs;
    bool closingEarly = false;
    int currentStep = -1;
    quint8 address = 0;
};
