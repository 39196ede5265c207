#pragma once

#include "core/cabinetgroup.h"
#include "core/devicereadings.h"

#include <QVector>
#include <array>
#include <deque>
#include <limits>

// The rules that judge a joint against its neighbours and its own past rather than a fixed
// limit: the temperature difference between a cabinet's phases, each phase's rise over the air
// around it, how fast a temperature climbs, and a warning limit below the upper one. Each rule
// has two levels, 预警 and 报警, each an alarm of its own with a row of its own: a value past
// both raises both, and each recovers when the value comes back within its limit less the
// deadband. A level is raised once its condition has held for the delay without a break. A value
// that cannot be judged (a reading not fresh, a cabinet idle) leaves the alarms as they are.
class JointRules
{
public:
    // The journal's kind numbers, after the Part's 1..3 and the link's 4.
    enum Rule { PhaseDifference = 5, AmbientRise = 6, RateOfRise = 7, TemperatureWarning = 8 };
    enum Level { Warning = 0, Alarm = 1 };

    struct Limits
    {
        float warning;
        float alarm;
        float deadband = 0;
        int delaySeconds = 0;
    };

    struct Settings
    {
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

        static std::array<float, kDevices> offLimits();
    };

    struct Event
    {
        Rule rule;
        Level level;
        bool recovery;
        int group;  // index into the groups, -1 for a device's own rule
        int device; // 0 for a group's rule
        float value;
        float limit; // crossed; or, for a recovery, the bound it came back within
        qint64 beganMs;
    };

    // Forgets every alarm and measurement: the groups changed.
    void setGroups(const QVector<CabinetGroup> &groups);

    // One pass; nowMs on a clock that does not jump back.
    QVector<Event> judge(const DeviceReadings &readings, const Settings &settings,
                         const std::array<float, kDevices> &upperTemperatureLimit, qint64 nowMs);

private:
    static constexpr qint64 kNotHolding = std::numeric_limits<qint64>::min();

    // One judged quantity: its two levels.
    struct Subject
    {
        std::array<bool, 2> open{};
        std::array<qint64, 2> heldSince{kNotHolding, kNotHolding};
    };

    struct Sample
    {
        qint64 ms;
        float temperature;
    };

    void step(Subject &subject, float value, const Limits &limits, bool reached, int levels,
              Rule rule, int group, int device, qint64 nowMs, QVector<Event> &events);
    bool rateOf(int device, const DeviceReadings &readings, int windowSeconds, qint64 nowMs,
                float *perMinute);

    QVector<CabinetGroup> cabinetGroups;
    QVector<Subject> phaseDifference;             // per group
    QVector<std::array<Subject, 3>> ambientRise;  // per group and phase
    std::array<Subject, kDevices> rateOfRise;
    std::array<Subject, kDevices> temperatureWarning;
    std::array<std::deque<Sample>, kDevices> samples;
};
