#pragma once

#include <array>

// Gives one set of limits to a range of devices.
class ThresholdRange
{
public:
    // Sets element N - 1 of each table for every device N from firstDevice to lastDevice
    // that lies within 1..200; a range whose first number is above its last sets nothing.
    static void apply(int firstDevice, int lastDevice, float upperTemperature,
                      float lowerTemperature, float upperCurrent,
                      std::array<float, 200> &upperTemperatureLimit,
                      std::array<float, 200> &lowerTemperatureLimit,
                      std::array<float, 200> &upperCurrentLimit);
};
