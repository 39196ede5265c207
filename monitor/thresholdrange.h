#pragma once

#include <QString>
#include <array>

// Gives one set of limits to a range of devices.
class ThresholdRange
{
public:
    // What a sensor can report: -3276.8..3276.7 ℃ in the register, but no joint is judged
    // outside this; 0..655.35 A is all the current register holds.
    static constexpr float kLowestTemperature = -60.0f;
    static constexpr float kHighestTemperature = 300.0f;
    static constexpr float kHighestCurrent = 655.35f;
    static constexpr float kHighestDeadband = 50.0f;
    static constexpr int kLongestDelaySeconds = 3600;

    // Why limits typed as these texts cannot be given, for the operator; empty when they can.
    // A text that is not a number counts as 0.0, as ever; one that reads as infinite or not a
    // number, or beyond what a sensor reports, would switch the alarm off and is refused.
    static QString limitsProblem(const QString &upperTemperature, const QString &lowerTemperature,
                                 const QString &upperCurrent);
    // The same for deadbands (0..50, ℃ and A) and the delay (0..3600 whole seconds); here a
    // text that is not such a number is refused too.
    static QString deadbandProblem(const QString &temperatureDeadband,
                                   const QString &currentDeadband, const QString &delaySeconds);

    // Sets element N - 1 of each table for every device N from firstDevice to lastDevice
    // that lies within 1..200; a range whose first number is above its last sets nothing.
    static void apply(int firstDevice, int lastDevice, float upperTemperature,
                      float lowerTemperature, float upperCurrent,
                      std::array<float, 200> &upperTemperatureLimit,
                      std::array<float, 200> &lowerTemperatureLimit,
                      std::array<float, 200> &upperCurrentLimit);
};
