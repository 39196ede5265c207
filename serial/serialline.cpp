#include "serial/serialline.h"

#include <QFileInfo>

SerialLine::SerialLine(QSerialPort *serialPort, QObject *parent)
    : LinkLine(parent), port(serialPort)
{
    connect(port, &QSerialPort::readyRead, this, &LinkLine::readyRead);
    connect(port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (port->isOpen()
            && (error == QSerialPort::ResourceError || error == QSerialPort::ReadError
                || error == QSerialPort::WriteError))
            emit failed();
    });
}

SerialLine::~SerialLine()
{
    delete port;
}

LinkLine::Opening SerialLine::open(const QString &name)
{
    port->setPortName(name);
    return port->open(QIODevice::ReadWrite) ? Opening::Open : Opening::Failed;
}

void SerialLine::close()
{
    if (!port->isOpen())
        return;
    // A failed port is only closed: asking it to clear would report the failure again.
    if (port->error() == QSerialPort::NoError)
        port->clear(QSerialPort::AllDirections);
    port->close();
}

bool SerialLine::vanished() const
{
#ifdef Q_OS_WIN
    return false;
#else
    // An unplugged adapter or a closed pseudo-terminal takes its device node with it.
    // Not through the port enumeration: that scans every device on the system.
    const QString name = port->portName();
    const QString location = name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
    return !QFileInfo::exists(location);
#endif
}
