#pragma once

#include <QString>
#include <array>

constexpr int kDevices = 200;

// The four readings a device panel shows, one concentrator register block each.
enum class PanelQuantity { Voltage, Temperature, Current, Status };

// What the panels said at the last evaluation, element N - 1 for device N.
struct DeviceReadings
{
    std::array<float, kDevices> deviceTemperature{};
    std::array<int, kDevices> deviceVoltage{};
    std::array<float, kDevices> deviceCurrent{};
    std::array<QString, kDevices> deviceStatusText{};
    // Per device, one bit per quantity (bit n for PanelQuantity n) whose reading is not
    // fresh: nobody heard it lately, so it is shown but neither judged nor recorded.
    std::array<quint8, kDevices> staleQuantities{};

    bool isFresh(PanelQuantity quantity, int device) const
    {
        return (staleQuantities[device - 1] & (1u << static_cast<int>(quantity))) == 0;
    }
};
