#pragma once

#include <QModbusTcpConnectionObserver>
#include <QObject>
#include <QSet>
#include <QVector>

class QTcpSocket;

// Who may talk to the Modbus TCP server, and how: at most maxClients at once (the rest are
// closed as they connect), a client silent for the idle time is closed, and one whose frame
// header Qt would misread (another protocol, a length no frame has) or who does not read its
// answers is dropped. Sees each client's bytes before the server does, so it can also tell the
// server a request's function code as sent, which Qt loses for codes it does not know.
class ModbusClientGate : public QObject, public QModbusTcpConnectionObserver
{
    Q_OBJECT

public:
    ModbusClientGate(int maxClients, int idleMs);

    void setUnit(int unit) { servedUnit = unit; }
    void setIdleTimeout(int milliseconds) { idleMs = milliseconds; }
    int clientCount() const { return clients.size(); }

    bool acceptNewConnection(QTcpSocket *client) override;

    // The function code of the request now being answered as its client sent it; `parsed`
    // (Qt's reading of it) when the gate saw none.
    quint8 takeFunctionCode(quint8 parsed);

private:
    // Where a client's byte stream stands: the next frame's header so far, or how many bytes
    // of the present frame's body are still to come.
    struct Stream
    {
        QByteArray header;
        int bodyLeft = 0;
        bool forUs = false;
        quint8 functionCode = 0;
        bool dropped = false;
    };

    void follow(QTcpSocket *client, Stream &stream);
    void drop(QTcpSocket *client, Stream &stream);

    int maxClients;
    int idleMs;
    int servedUnit = 1;
    QSet<QTcpSocket *> clients;
    // The frames Qt answers on this readyRead, in its order.
    QVector<quint8> functionCodes;
};
