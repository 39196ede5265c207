#pragma once

#include "scada/modbusimage.h"
#include "scada/modbusserversettings.h"

#include <QModbusTcpServer>
#include <QString>
#include <QTimer>

class ModbusClientGate;

// The station's read-only Modbus TCP server for a plant SCADA, run in the event loop: input
// registers (04) and discrete inputs (02) from the last image it was given; every other
// function, writes first, answers "illegal function". At most kMaxClients at once, each closed
// after kIdleMs without a request. A server that cannot listen says why and tries again.
class ModbusServer : public QModbusTcpServer
{
    Q_OBJECT

public:
    static constexpr int kMaxClients = 16;
    static constexpr int kIdleMs = 60000;
    static constexpr int kRetryMs = 10000;
    // As Modbus allows in one request.
    static constexpr int kMaxRegistersPerRequest = 125;
    static constexpr int kMaxInputsPerRequest = 2000;

    explicit ModbusServer(QObject *parent = nullptr);
    ~ModbusServer() override;

    // Stops, then listens as the settings say when they are on.
    void apply(const ModbusServerSettings &settings);
    const ModbusServerSettings &settings() const { return served; }
    bool isListening() const { return state() == QModbusDevice::ConnectedState; }
    // "Modbus TCP 服务无法监听 0.0.0.0:502：<reason>", or empty.
    QString problem() const { return problemText; }
    int clientCount() const;
    void setIdleTimeout(int milliseconds);

    void setImage(const ModbusImage &image) { current = image; }

signals:
    void problemChanged(const QString &problem);

protected:
    QModbusResponse processRequest(const QModbusPdu &request) override;

private:
    void listen();
    void setProblem(const QString &problem);
    QModbusResponse readRegisters(int start, int count) const;
    QModbusResponse readInputs(int start, int count) const;

    ModbusClientGate *gate;
    ModbusServerSettings served;
    ModbusImage current;
    QTimer retryTimer;
    QString problemText;
};
