#pragma once

#include "core/activealarm.h"
#include "core/devicereadings.h"
#include "serial/linkstate.h"

#include <QDateTime>
#include <QVector>
#include <array>
#include <bitset>

// What the Modbus TCP server hands a plant SCADA, made from plain values: the input registers
// in the concentrator's own layout plus the station's, and one discrete input per open alarm.
// docs/modbus-server.md is the contract.
struct ModbusImage
{
    // Input registers: device N at base + N - 1.
    static constexpr int kStatusBase = 0;
    static constexpr int kVoltageBase = 200;
    static constexpr int kTemperatureBase = 400;
    static constexpr int kCurrentBase = 600;
    static constexpr int kLinkState = 800;
    static constexpr int kOpenAlarms = 801;
    static constexpr int kUnacknowledgedAlarms = 802;
    static constexpr int kLastAnswerHigh = 803;
    static constexpr int kRegisterCount = 805;
    // Status register values.
    enum Status : quint16 { Offline = 0, Online = 1, NotFresh = 2 };

    // Discrete inputs: device N at base + N - 1, except the link's one input.
    static constexpr int kTemperatureAlarmBase = 0;
    static constexpr int kVoltageAlarmBase = 200;
    static constexpr int kCurrentAlarmBase = 400;
    static constexpr int kLinkAlarm = 600;
    static constexpr int kRuleWarningBase = 601;
    static constexpr int kRuleAlarmBase = 801;
    static constexpr int kInputCount = 1001;

    std::array<quint16, kRegisterCount> registers{};
    std::bitset<kInputCount> inputs;

    // The readings as evaluated (temperature corrected), the link, the alarm list's counts,
    // the link's last valid answer (invalid when none) and the alarm list's active rows, of
    // which only the open ones (not recovered) count.
    static ModbusImage make(const DeviceReadings &readings, LinkState link, int openAlarms,
                            int unacknowledgedAlarms, const QDateTime &lastAnswer,
                            const QVector<ActiveAlarm> &alarms);
};
