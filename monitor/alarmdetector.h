#pragma once

#include "monitor/devicereadings.h"

#include <QString>
#include <QVector>
#include <array>

// Alarm conditions per device, remembered so that a lasting condition gives one
// alarm row when it begins and one recovery when it ends. Decides rows and texts;
// the window writes them into the alarm table.
class AlarmDetector
{
public:
    enum Kind { Temperature = 1, Voltage = 2, Current = 3 };

    static constexpr int kTableRows = 999;
    // Rows 0..996 take alarms; the 998th entry wraps to row 0.
    static constexpr int kUsedRows = 997;
    static constexpr int kUnderVoltageMax = 2199;

    struct Event
    {
        bool recovery;
        int code; // N, 200 + N or 400 + N
        Kind kind;
        int row;
    };

    using Limits = std::array<float, kDevices>;

    static int deviceOf(int code, Kind kind) { return code - 200 * (kind - 1); }
    // "5温度异常" for an alarm, "5温度恢复正常" for its recovery.
    static QString eventText(const Event &event);

    // One pass over devices 1..200, per device temperature, voltage, current.
    QVector<Event> detect(const DeviceReadings &readings, const Limits &upperTemperatureLimit,
                          const Limits &lowerTemperatureLimit, const Limits &upperCurrentLimit);

    // What the alarm dialog's clear does: every condition still present is entered afresh.
    void clear();

    bool isOpen(Kind kind, int device) const { return flags(kind)[device - 1] != 0; }
    bool anyOpen() const;

    std::array<int, kDevices> temperatureAlarmActive{};
    std::array<int, kDevices> voltageAlarmActive{};
    std::array<int, kDevices> currentAlarmActive{};
    int alarmRowIndex = 0;
    std::array<int, kTableRows> openAlarmCodes{};
    int openAlarmCount = 0;

private:
    const std::array<int, kDevices> &flags(Kind kind) const;
    std::array<int, kDevices> &flags(Kind kind);
    void judge(bool holds, int device, Kind kind, QVector<Event> &events);
    int takeRow();
};
