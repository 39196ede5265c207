#include "serial/portenumeration.h"

#include <QtConcurrent/QtConcurrentRun>

PortEnumeration::PortEnumeration() : ports(QtConcurrent::run(&QSerialPortInfo::availablePorts))
{
}

PortEnumeration::~PortEnumeration()
{
    ports.waitForFinished();
}

QList<QSerialPortInfo> PortEnumeration::take()
{
    if (ports.isCanceled() || !ports.isStarted())
        return {};
    const QList<QSerialPortInfo> result = ports.result();
    ports = QFuture<QList<QSerialPortInfo>>();
    return result;
}
