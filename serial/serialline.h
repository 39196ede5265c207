#pragma once

#include "serial/linkline.h"

#include <QSerialPort>

// The concentrator link over a serial port (or a pseudo-terminal).
class SerialLine : public LinkLine
{
    Q_OBJECT

public:
    // Takes ownership of the port, whose line settings are the caller's.
    explicit SerialLine(QSerialPort *port, QObject *parent = nullptr);
    ~SerialLine() override;

    Opening open(const QString &name) override;
    void close() override;
    bool isOpen() const override { return port->isOpen(); }
    void clearInput() override { port->clear(QSerialPort::Input); }
    void write(const QByteArray &rtuFrame) override { port->write(rtuFrame); }
    QByteArray readAll() override { return port->readAll(); }
    bool vanished() const override;
    QString errorString() const override { return port->errorString(); }

private:
    QSerialPort *port;
};
