#pragma once

#include <QString>
#include <array>

constexpr int kDevices = 200;

// What the panels said at the last evaluation, element N - 1 for device N.
struct DeviceReadings
{
    std::array<float, kDevices> deviceTemperature{};
    std::array<int, kDevices> deviceVoltage{};
    std::array<float, kDevices> deviceCurrent{};
    std::array<QString, kDevices> deviceStatusText{};
};
