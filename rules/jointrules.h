#pragma once

#include "core/cabinetgroup.h"
#include "core/devicereadings.h"
#include "core/jointrulesettings.h"

#include <QSet>
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

    using Settings = JointRuleSettings;
    using Limits = JointRuleSettings::Limits;

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
        // Names this level of this subject while it is open: an alarm and its recovery share
        // it, and no other open alarm has it.
        int code;
    };

    static constexpr int kFirstCode = 1000;

    // A group kept as it was keeps its alarms and their delays; a new or changed one starts
    // afresh. An open alarm of a group that went stays as it is: nothing judges it any more.
    void setGroups(const QVector<CabinetGroup> &groups);
    const QVector<CabinetGroup> &groups() const { return cabinetGroups; }

    // The alarm list forgot these open alarms (a clear, or its rows wrapping): each is raised
    // again as soon as its condition is judged to hold. Conditions still waiting out their
    // delay start waiting again.
    void forget(const QSet<int> &codes);

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
        std::array<int, 2> code{};

        void forget(const QSet<int> &codes);
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
    int nextCode = kFirstCode;
};
