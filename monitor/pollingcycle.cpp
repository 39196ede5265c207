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
    stepTimer.setInterval(kDefaultStepIntervalMs);
    connect(&stepTimer, &QTimer::timeout, this, &PollingCycle::onWindowClosed);
}

void PollingCycle::setStepInterval(int milliseconds)
{
    stepTimer.setInterval(milliseconds);
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
    stepTimer.start();
    emit requestDue(currentStep,
                    ModbusFrame::readInputRegistersRequest(address, step.startRegister));
}

void PollingCycle::onWindowClosed()
{
    const int finished = currentStep;
    currentStep = finished + 1 < kStepCount ? finished + 1 : -1;
    emit stepElapsed(finished);
    if (currentStep >= 0)
        openWindow();
}
