#include "scada/modbusclientgate.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace {

// Transaction, protocol, length, unit and function code: enough to judge a frame by.
constexpr int kGateHeaderBytes = 8;
// The length field of the longest frame Modbus allows (260 bytes, 6 of them before the unit).
constexpr int kLongestLengthField = 254;
// A client that sends without reading its answers would make them pile up here.
constexpr qint64 kUnreadAnswerBytes = 64 * 1024;

} // namespace

ModbusClientGate::ModbusClientGate(int clientLimit, int idleTimeoutMs)
    : maxClients(clientLimit), idleMs(idleTimeoutMs)
{
}

bool ModbusClientGate::acceptNewConnection(QTcpSocket *client)
{
    if (clients.size() >= maxClients)
        return false;
    clients.insert(client);
    const auto forget = [this, client]() { clients.remove(client); };
    connect(client, &QAbstractSocket::disconnected, this, forget);
    connect(client, &QObject::destroyed, this, forget);
    auto *idle = new QTimer(client);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, client, &QAbstractSocket::abort);
    idle->start(idleMs);
    // Made before the server's own handler: this one sees the bytes first.
    const auto stream = std::make_shared<Stream>();
    connect(client, &QIODevice::readyRead, this, [this, client, idle, stream]() {
        idle->start(idleMs);
        follow(client, *stream);
    });
    return true;
}

quint8 ModbusClientGate::takeFunctionCode(quint8 parsed)
{
    return functionCodes.isEmpty() ? parsed : functionCodes.takeFirst();
}

void ModbusClientGate::follow(QTcpSocket *client, Stream &stream)
{
    // The server answers every frame completed now before the next readyRead of any client.
    functionCodes.clear();
    if (stream.dropped)
        return;
    if (client->bytesToWrite() > kUnreadAnswerBytes) {
        drop(client, stream);
        return;
    }
    const QByteArray bytes = client->peek(client->bytesAvailable());
    int at = 0;
    while (at < bytes.size()) {
        if (stream.header.size() < kGateHeaderBytes) {
            const int take = qMin(kGateHeaderBytes - stream.header.size(), bytes.size() - at);
            stream.header.append(bytes.constData() + at, take);
            at += take;
            if (stream.header.size() < kGateHeaderBytes)
                break;
            const auto word = [&stream](int i) {
                return int(quint8(stream.header.at(i))) << 8 | quint8(stream.header.at(i + 1));
            };
            const int length = word(4);
            if (word(2) != 0 || length < 2 || length > kLongestLengthField) {
                drop(client, stream);
                return;
            }
            stream.forUs = quint8(stream.header.at(6)) == servedUnit;
            stream.functionCode = quint8(stream.header.at(7));
            stream.bodyLeft = length - 2;
        } else {
            const int take = qMin(stream.bodyLeft, bytes.size() - at);
            stream.bodyLeft -= take;
            at += take;
        }
        if (stream.bodyLeft == 0) {
            if (stream.forUs)
                functionCodes.append(stream.functionCode);
            stream.header.clear();
        }
    }
}

void ModbusClientGate::drop(QTcpSocket *client, Stream &stream)
{
    stream.dropped = true;
    functionCodes.clear();
    // Not while the server's handler of this readyRead is still to read the socket.
    QTimer::singleShot(0, client, [client]() { client->abort(); });
}
