#pragma once

#include "serial/linkline.h"

#include <QTcpSocket>
#include <QTimer>

// The concentrator link over TCP: "tcp://HOST:PORT", a serial device server that carries the
// RTU frames as they are, or "mbtcp://HOST:PORT", a Modbus TCP gateway (unit = the
// concentrator's address). Over a gateway an answer carries its request's transaction, so
// one to an earlier request is known for late and dropped.
class NetworkLine : public LinkLine
{
    Q_OBJECT

public:
    static constexpr int kConnectTimeoutMs = 5000;

    explicit NetworkLine(QObject *parent = nullptr);

    static bool isNetworkName(const QString &name);

    // Connecting when the name is a network line's; the host is looked up off the GUI thread.
    Opening open(const QString &name) override;
    void close() override;
    bool isOpen() const override { return opened; }
    void clearInput() override;
    void write(const QByteArray &rtuFrame) override;
    QByteArray readAll() override;
    bool vanished() const override { return false; }
    QString errorString() const override { return problem; }

private:
    void arrived();

    QTcpSocket socket;
    QTimer connectTimer;
    QString problem;
    bool opened = false;
    bool gateway = false;
    quint16 transaction = 0;
    QByteArray received; // a gateway's bytes not yet a whole frame
    QByteArray answers;  // its answers to the request in flight, as RTU frames
};
