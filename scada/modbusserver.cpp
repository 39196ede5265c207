#include "scada/modbusserver.h"

#include "scada/modbusclientgate.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

QModbusResponse modbusRefusal(quint8 functionCode, QModbusExceptionResponse::ExceptionCode code)
{
    return QModbusExceptionResponse(QModbusPdu::FunctionCode(functionCode), code);
}

} // namespace

ModbusServer::ModbusServer(QObject *parent)
    : QModbusTcpServer(parent), gate(new ModbusClientGate(kMaxClients, kIdleMs))
{
    // Qt's server owns its observer.
    installConnectionObserver(gate);
    retryTimer.setSingleShot(true);
    retryTimer.setInterval(kRetryMs);
    connect(&retryTimer, &QTimer::timeout, this, &ModbusServer::listen);
}

ModbusServer::~ModbusServer()
{
    // Qt frees a client's read buffer as the client goes only while the server itself stands.
    disconnectDevice();
    qDeleteAll(findChildren<QTcpSocket *>());
}

int ModbusServer::clientCount() const
{
    return gate->clientCount();
}

void ModbusServer::setIdleTimeout(int milliseconds)
{
    gate->setIdleTimeout(milliseconds);
}

void ModbusServer::apply(const ModbusServerSettings &settings)
{
    served = settings;
    retryTimer.stop();
    disconnectDevice();
    if (!served.enabled) {
        setProblem(QString());
        return;
    }
    listen();
}

void ModbusServer::listen()
{
    const QString address = served.address.trimmed();
    QString reason = served.problem();
    if (reason.isEmpty()) {
        setServerAddress(served.unit);
        gate->setUnit(served.unit);
        // Qt reads host and port as one URL: an IPv6 host needs its brackets there.
        const bool ipv6 = QHostAddress(address).protocol() == QAbstractSocket::IPv6Protocol;
        setConnectionParameter(NetworkAddressParameter,
                               ipv6 ? QLatin1Char('[') + address + QLatin1Char(']') : address);
        setConnectionParameter(NetworkPortParameter, served.port);
        if (connectDevice()) {
            setProblem(QString());
            return;
        }
        reason = errorString();
        retryTimer.start();
    }
    setProblem(tr("Modbus TCP 服务无法监听 %1:%2：%3").arg(address).arg(served.port).arg(reason));
}

void ModbusServer::setProblem(const QString &problem)
{
    if (problemText == problem)
        return;
    problemText = problem;
    emit problemChanged(problem);
}

QModbusResponse ModbusServer::processRequest(const QModbusPdu &request)
{
    const quint8 code = gate->takeFunctionCode(quint8(request.functionCode()));
    if (code != QModbusPdu::ReadInputRegisters && code != QModbusPdu::ReadDiscreteInputs)
        return modbusRefusal(code, QModbusExceptionResponse::IllegalFunction);
    const QByteArray data = request.data();
    if (!request.isValid() || data.size() != 4)
        return modbusRefusal(code, QModbusExceptionResponse::IllegalDataValue);
    const int start = quint8(data.at(0)) << 8 | quint8(data.at(1));
    const int count = quint8(data.at(2)) << 8 | quint8(data.at(3));
    return code == QModbusPdu::ReadInputRegisters ? readRegisters(start, count)
                                                  : readInputs(start, count);
}

QModbusResponse ModbusServer::readRegisters(int start, int count) const
{
    const quint8 code = QModbusPdu::ReadInputRegisters;
    if (count < 1 || count > kMaxRegistersPerRequest)
        return modbusRefusal(code, QModbusExceptionResponse::IllegalDataValue);
    if (start + count > ModbusImage::kRegisterCount)
        return modbusRefusal(code, QModbusExceptionResponse::IllegalDataAddress);
    QByteArray data(1 + 2 * count, Qt::Uninitialized);
    data[0] = char(2 * count);
    for (int k = 0; k < count; ++k) {
        const quint16 value = current.registers[size_t(start + k)];
        data[1 + 2 * k] = char(value >> 8);
        data[2 + 2 * k] = char(value & 0xFF);
    }
    return QModbusResponse(QModbusPdu::ReadInputRegisters, data);
}

QModbusResponse ModbusServer::readInputs(int start, int count) const
{
    const quint8 code = QModbusPdu::ReadDiscreteInputs;
    if (count < 1 || count > kMaxInputsPerRequest)
        return modbusRefusal(code, QModbusExceptionResponse::IllegalDataValue);
    if (start + count > ModbusImage::kInputCount)
        return modbusRefusal(code, QModbusExceptionResponse::IllegalDataAddress);
    // The first input in the low bit of the first byte.
    QByteArray data(1 + (count + 7) / 8, '\0');
    data[0] = char((count + 7) / 8);
    for (int k = 0; k < count; ++k)
        if (current.inputs.test(size_t(start + k)))
            data[1 + k / 8] = char(quint8(data.at(1 + k / 8)) | (1u << (k % 8)));
    return QModbusResponse(QModbusPdu::ReadDiscreteInputs, data);
}
