#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The line the concentrator link speaks over: a serial port, or a TCP connection to a serial
// device server or a Modbus TCP gateway. Whichever it is, the link sees RTU frames both ways,
// so its windows, guard, counters and reconnecting stay the same.
class LinkLine : public QObject
{
    Q_OBJECT

public:
    enum class Opening {
        Failed,     // cannot be opened now
        Open,       // ready for requests
        Connecting, // in its own time: connected() or failed() follows
    };

    using QObject::QObject;

    virtual Opening open(const QString &name) = 0;
    // Whatever is still to be sent or read goes with it.
    virtual void close() = 0;
    // Open, or connecting.
    virtual bool isOpen() const = 0;
    // Drops what has arrived and not been read.
    virtual void clearInput() = 0;
    // One request as an RTU frame; dropped while the line is not ready for it.
    virtual void write(const QByteArray &rtuFrame) = 0;
    virtual QByteArray readAll() = 0;
    // Gone from under the station (an unplugged adapter), found out before a write.
    virtual bool vanished() const = 0;
    virtual QString errorString() const = 0;

signals:
    void readyRead();
    void connected();
    // The line failed while open or connecting: the link closes it and reconnects.
    void failed();
    // An answer to an earlier request than the one in flight, dropped.
    void lateAnswer();
};
