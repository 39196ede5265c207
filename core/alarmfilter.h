#pragma once

#include "core/devicereadings.h"

#include <array>

// Per device: how far a value must come back inside its limit before an alarm recovers
// (deadband), and how long a condition must hold before it is entered (delay-on). All 0,
// the default, judges every condition the moment it is seen, as without them.
struct AlarmFilterSettings
{
    std::array<float, kDevices> temperatureDeadband{};
    std::array<float, kDevices> currentDeadband{};
    std::array<int, kDevices> delaySeconds{};
};
