#pragma once

#include "monitor/panelquantity.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <array>

// One pass over all 200 devices: eight read requests, each given its own answer
// window. Driven by a timer so nothing waits while other events are held up.
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

    bool isRunning() const { return currentStep >= 0; }
    // Starts a cycle unless one is running; returns whether it started.
    bool start(quint8 address);

signals:
    // The window of `step` opens: its request is to be sent now.
    void requestDue(int step, const QByteArray &frame);
    // The window of `step` has closed: its panels are to be filled now.
    void stepElapsed(int step);

private:
    void openWindow();
    void onWindowClosed();

    QTimer stepTimer;
    int currentStep = -1;
    quint8 address = 0;
};
