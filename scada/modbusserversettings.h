#pragma once

#include <QCoreApplication>
#include <QString>

// Whether and where the station serves a plant SCADA over Modbus TCP: per user in the
// station's settings, group "modbus_server".
struct ModbusServerSettings
{
    Q_DECLARE_TR_FUNCTIONS(ModbusServerSettings)

public:
    bool enabled = false;
    QString address = QStringLiteral("0.0.0.0"); // IPv4 or IPv6; 0.0.0.0 is every interface
    int port = 502;
    int unit = 1;                                 // the unit identifier answered

    static ModbusServerSettings load();
    // False, with the operator's text in *problem, when they could not be written: the
    // settings stored stay as they were.
    bool save(QString *problem = nullptr) const;
    // Why they cannot be served, for the operator; empty when they can.
    QString problem() const;

    bool operator==(const ModbusServerSettings &other) const;
    bool operator!=(const ModbusServerSettings &other) const { return !(*this == other); }
};
