#include "monitor/pollingcycle.h"

#include "serial/modbusframe.h"

const std::array<PollingCycle::Step, PollingCycle::kStepCount> &PollingCycle::steps()
{
    static const std::array<Step, kStepCount> table = {{
        {0x75F9, PanelQuantity::Voltage, 1},
        {0x76C1, PanelQuantity::Temperature, 1},
        {0x7789, PanelQuantity::Current, 1},
        {0x7531, PanelQuantity::Status, 1},
        {0x765D, PanelQuantity::Voltage, 101},
        {0x7725, PanelQuantity::Temperature, 101},
        {0x77ED, PanelQuantity::Current, 101},
        {0x7595, PanelQuantity::Status, 101},
    }};
    return table;
}

quint8 PollingCycle::addressFromText(const QString &text)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok, 10);
    return ok ? static_cast<quint8>(value & 0xFF) : 0;
}

PollingCycle::PollingCycle(QObject *parent) : QObject(parent)
{
    stepTimer.setSingleShot(true);
    stepTimer.setTimerType(Qt::PreciseTimer);
    connect(&stepTimer, &QTimer::timeout, this, &PollingCycle::onWindowClosed);
    gapTimer.setSingleShot(true);
    gapTimer.setTimerType(Qt::PreciseTimer);
    connect(&gapTimer, &QTimer::timeout, this, &PollingCycle::onGapPassed);
}

void PollingCycle::setStepInterval(int milliseconds)
{
    stepIntervalMs = milliseconds;
}

bool PollingCycle::start(quint8 newAddress)
{
    if (isRunning())
        return false;
    address = newAddress;
    currentStep = 0;
    openWindow();
    return true;
}

void PollingCycle::openWindow()
{
    const Step &step = steps()[static_cast<size_t>(currentStep)];
    // Timer first: a receiver may take a while, the spacing must not stretch.
    closingEarly = false;
    stepTimer.start(stepIntervalMs);
    emit requestDue(currentStep,
                    ModbusFrame::readInputRegistersRequest(address, step.startRegister));
}

void PollingCycle::answerSettled()
{
    if (!currentPace.fast || currentStep < 0 || !stepTimer.isActive() || closingEarly)
        return;
    // From the event loop: the answer is still being handed round where it was decoded.
    closingEarly = true;
    stepTimer.start(0);
}

void PollingCycle::onWindowClosed()
{
    const int finished = currentStep;
    const bool answered = closingEarly;
    closingEarly = false;
    currentStep = finished + 1 < kStepCount ? finished + 1 : -1;
    emit stepElapsed(finished);
    if (answered)
        emit answerApplied(finished);
    if (currentPace.fast)
        gapTimer.start(currentPace.minGapMs);
    else if (currentStep >= 0)
        openWindow();
}

void PollingCycle::onGapPassed()
{
    if (currentStep >= 0)
        openWindow();
    else
        emit cycleDue();
}
