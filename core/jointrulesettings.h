#pragma once

#include "core/devicereadings.h"

#include <QtNumeric>
#include <array>

// How the joint rules judge: each rule's 预警 and 报警 limits with their deadband and delay.
// Kept in the station database; what is not stored there takes these defaults.
struct JointRuleSettings
{
    struct Limits
    {
        float warning;
        float alarm;
        float deadband = 0;
        int delaySeconds = 0;
    };

    // On for every group of two or more phases.
    Limits phaseDifference{3, 15};
    // On for every phase of a group with an ambient device.
    Limits ambientRise{20, 40};
    // Off until switched on; °C per minute, reached or passed.
    bool rateOfRiseOn = false;
    Limits rateOfRise{1, 3};
    int rateWindowSeconds = 300;
    // Per device, off while NaN; judged only below the device's upper limit in force. Only
    // its warning level is used.
    std::array<float, kDevices> warningLimit = offLimits();
    float warningDeadband = 0;
    int warningDelaySeconds = 0;
    // A cabinet is judged for phase difference only while its hottest phase is this far
    // above its ambient device, or, without one, at least this warm: the phases of a cold
    // idle cabinet differ by noise.
    float idleRiseOverAmbient = 10;
    float idleWithoutAmbient = 40;

    static std::array<float, kDevices> offLimits()
    {
        std::array<float, kDevices> limits;
        limits.fill(qQNaN());
        return limits;
    }
};
