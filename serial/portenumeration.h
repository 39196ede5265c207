#pragma once

#include <QFuture>
#include <QList>
#include <QSerialPortInfo>

// The platform's serial ports, asked for on another thread from the moment the main window
// starts to be built: the asking reads udev and sysfs on Linux and the device manager on
// Windows, and costs as much as building a device page. The start-up probe takes the list.
class PortEnumeration
{
public:
    PortEnumeration();
    ~PortEnumeration();

    // The ports in the platform's order, waiting for the asking to end; empty once taken.
    QList<QSerialPortInfo> take();

private:
    QFuture<QList<QSerialPortInfo>> ports;
};
