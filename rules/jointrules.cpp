#include "rules/jointrules.h"

#include <QtNumeric>
#include <algorithm>

namespace {

// Samples for the rate of rise are taken at most this often, however often a pass runs.
constexpr qint64 kSampleSpacingMs = 900;

} // namespace

void JointRules::setGroups(const QVector<CabinetGroup> &given)
{
    // A number past the devices (a database edited by hand) would read past the readings.
    QVector<CabinetGroup> groups = given;
    for (CabinetGroup &group : groups) {
        for (int &device : group.phases)
            device = device >= 1 && device <= kDevices ? device : 0;
        group.ambient = group.ambient >= 1 && group.ambient <= kDevices ? group.ambient : 0;
    }
    QVector<Subject> differences(groups.size());
    QVector<std::array<Subject, 3>> rises(groups.size());
    for (int g = 0; g < groups.size(); ++g) {
        const int kept = cabinetGroups.indexOf(groups.at(g));
        if (kept < 0)
            continue;
        differences[g] = phaseDifference.at(kept);
        rises[g] = ambientRise.at(kept);
    }
    cabinetGroups = groups;
    phaseDifference = differences;
    ambientRise = rises;
}

void JointRules::Subject::forget(const QSet<int> &codes)
{
    for (size_t level = 0; level < 2; ++level) {
        if (!open[level])
            heldSince[level] = kNotHolding;
        else if (codes.contains(code[level]))
            open[level] = false; // held since the same moment: raised again at once
    }
}

void JointRules::forget(const QSet<int> &codes)
{
    for (Subject &subject : phaseDifference)
        subject.forget(codes);
    for (auto &phases : ambientRise)
        for (Subject &subject : phases)
            subject.forget(codes);
    for (auto *subjects : {&rateOfRise, &temperatureWarning})
        for (Subject &subject : *subjects)
            subject.forget(codes);
}

QVector<JointRules::Event> JointRules::judge(const DeviceReadings &readings, const Settings &settings,
                                             const std::array<float, kDevices> &upperTemperatureLimit,
                                             qint64 nowMs)
{
    QVector<Event> events;
    auto fresh = [&readings](int device) { return readings.isFresh(PanelQuantity::Temperature, device); };
    auto temperature = [&readings](int device) { return readings.deviceTemperature[size_t(device - 1)]; };

    for (int g = 0; g < cabinetGroups.size(); ++g) {
        const CabinetGroup &group = cabinetGroups.at(g);
        const bool ambientKnown = group.ambient != 0 && fresh(group.ambient);
        const float ambient = ambientKnown ? temperature(group.ambient) : 0;
        int phases = 0;
        bool allFresh = true;
        float hottest = -qInf();
        float coldest = qInf();
        for (size_t k = 0; k < 3; ++k) {
            const int device = group.phases[k];
            if (device == 0)
                continue;
            ++phases;
            if (!fresh(device)) {
                allFresh = false;
                continue;
            }
            hottest = std::max(hottest, temperature(device));
            coldest = std::min(coldest, temperature(device));
            if (ambientKnown)
                step(ambientRise[g][k], temperature(device) - ambient, settings.ambientRise, false,
                     2, AmbientRise, g, device, nowMs, events);
        }
        if (phases < 2 || !allFresh)
            continue;
        const bool awake = group.ambient != 0
            ? ambientKnown && hottest - ambient >= settings.idleRiseOverAmbient
            : hottest >= settings.idleWithoutAmbient;
        if (awake)
            step(phaseDifference[g], hottest - coldest, settings.phaseDifference, false, 2,
                 PhaseDifference, g, 0, nowMs, events);
    }

    for (int device = 1; device <= kDevices; ++device) {
        float perMinute = 0;
        if (settings.rateOfRiseOn && rateOf(device, readings, settings.rateWindowSeconds, nowMs, &perMinute))
            step(rateOfRise[size_t(device - 1)], perMinute, settings.rateOfRise, true, 2, RateOfRise,
                 -1, device, nowMs, events);
        const float limit = settings.warningLimit[size_t(device - 1)];
        // A warning at or past the upper limit in force would only repeat the Part's alarm.
        if (!qIsNaN(limit) && limit < upperTemperatureLimit[size_t(device - 1)] && fresh(device))
            step(temperatureWarning[size_t(device - 1)], temperature(device),
                 {limit, limit, settings.warningDeadband, settings.warningDelaySeconds}, false, 1,
                 TemperatureWarning, -1, device, nowMs, events);
    }
    return events;
}

void JointRules::step(Subject &subject, float value, const Limits &limits, bool reached, int levels,
                      Rule rule, int group, int device, qint64 nowMs, QVector<Event> &events)
{
    const float limit[2] = {limits.warning, limits.alarm};
    // Recoveries from the top, raises from the bottom: a value past both gives 预警 then 报警.
    for (int level = levels - 1; level >= 0; --level) {
        const float bound = limit[level] - limits.deadband;
        if (subject.open[size_t(level)] && (reached ? value < bound : value <= bound)) {
            subject.open[size_t(level)] = false;
            subject.heldSince[size_t(level)] = kNotHolding;
            events.append({rule, Level(level), true, group, device, value, bound, nowMs,
                           subject.code[size_t(level)]});
        }
    }
    for (int level = 0; level < levels; ++level) {
        if (subject.open[size_t(level)])
            continue;
        qint64 &since = subject.heldSince[size_t(level)];
        if (!(reached ? value >= limit[level] : value > limit[level])) {
            since = kNotHolding;
            continue;
        }
        if (since == kNotHolding)
            since = nowMs;
        if (nowMs - since >= qint64(limits.delaySeconds) * 1000) {
            subject.open[size_t(level)] = true;
            subject.code[size_t(level)] = nextCode;
            // Codes come back only after two thousand million alarms, long after their own.
            nextCode = nextCode == std::numeric_limits<int>::max() ? kFirstCode : nextCode + 1;
            events.append({rule, Level(level), false, group, device, value, limit[level], since,
                           subject.code[size_t(level)]});
        }
    }
}

// Over the fresh readings of the last window, once they span half of it at least: a rise of a
// tenth of a degree, the resolution, is then under 0.05 °C/min at the default window.
bool JointRules::rateOf(int device, const DeviceReadings &readings, int windowSeconds, qint64 nowMs,
                        float *perMinute)
{
    std::deque<Sample> &kept = samples[size_t(device - 1)];
    const bool fresh = readings.isFresh(PanelQuantity::Temperature, device);
    if (fresh && (kept.empty() || nowMs - kept.back().ms >= kSampleSpacingMs))
        kept.push_back({nowMs, readings.deviceTemperature[size_t(device - 1)]});
    const qint64 window = qint64(windowSeconds) * 1000;
    while (!kept.empty() && nowMs - kept.front().ms > window)
        kept.pop_front();
    if (!fresh || kept.size() < 2)
        return false;
    const qint64 span = kept.back().ms - kept.front().ms;
    if (span <= 0 || span < window / 2)
        return false;
    *perMinute = float(double(kept.back().temperature - kept.front().temperature) * 60000.0 / double(span));
    return true;
}
