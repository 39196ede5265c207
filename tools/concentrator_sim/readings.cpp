#include "readings.h"

#include <algorithm>
#include <numeric>

namespace {

constexpr int kRandomOffline = kDeviceCount / 20;
constexpr int kColdDevices = 2;

constexpr int kMillivoltsMin = 3000;
constexpr int kMillivoltsMax = 3600;
constexpr int kWarmMin = 180; // 0.1 degC
constexpr int kWarmMax = 450;
constexpr int kColdMin = -150;
constexpr int kColdMax = -20;
constexpr int kCentiampsMax = 3000;

// Long idle periods would otherwise cost a burst of steps on the next request;
// past this many the walk has long forgotten its start anyway.
constexpr long kMaxCatchUpSteps = 600;

int uniform(std::mt19937_64 &rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

} // namespace

Readings Readings::fixed()
{
    Readings r;
    for (int i = 0; i < kDeviceCount; ++i) {
        const int n = i + 1;
        Device &d = r.devices_[i];
        d.millivolts = 3000 + n;
        d.decidegrees = 200 + n;
        d.centiamps = 100 + n;
    }
    return r;
}

Readings Readings::drifting(std::uint64_t seed, std::chrono::steady_clock::time_point now)
{
    Readings r;
    r.drifting_ = true;
    r.rng_.seed(seed);
    r.last_step_ = now;

    // A shuffled order picks the offline and the cold devices without overlap.
    std::array<int, kDeviceCount> order;
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), r.rng_);

    for (int k = 0; k < kDeviceCount; ++k) {
        Device &d = r.devices_[order[k]];
        d.online = k >= kRandomOffline;
        const bool cold = k >= kRandomOffline && k < kRandomOffline + kColdDevices;
        d.decidegrees_min = cold ? kColdMin : kWarmMin;
        d.decidegrees_max = cold ? kColdMax : kWarmMax;
        d.decidegrees = cold ? uniform(r.rng_, -120, -40) : uniform(r.rng_, 190, 420);
        d.millivolts = uniform(r.rng_, 3050, 3550);
        d.centiamps = uniform(r.rng_, 50, 2500);
    }
    return r;
}

int Readings::walk(int value, int delta, int lo, int hi)
{
    const int next = value + delta;
    if (next < lo || next > hi)
        return std::clamp(value - delta, lo, hi);
    return next;
}

void Readings::step()
{
    for (Device &d : devices_) {
        if (uniform(rng_, 0, 2) == 0)
            d.decidegrees = walk(d.decidegrees, uniform(rng_, 0, 1) ? 1 : -1,
                                 d.decidegrees_min, d.decidegrees_max);
        if (uniform(rng_, 0, 4) == 0)
            d.millivolts = walk(d.millivolts, uniform(rng_, -3, 3), kMillivoltsMin, kMillivoltsMax);
        d.centiamps = walk(d.centiamps, uniform(rng_, -8, 8), 0, kCentiampsMax);
    }
}

void Readings::advance(std::chrono::steady_clock::time_point now)
{
    if (!drifting_ || now <= last_step_)
        return;
    const long steps = std::chrono::duration_cast<std::chrono::seconds>(now - last_step_).count();
    if (steps <= 0)
        return;
    for (long k = 0; k < std::min(steps, kMaxCatchUpSteps); ++k)
        step();
    last_step_ += std::chrono::seconds(steps);
}

void Readings::store(std::uint16_t *regs, const Overrides &overrides) const
{
    std::uint16_t *status = regs;
    std::uint16_t *voltage = regs + kDeviceCount;
    std::uint16_t *temperature = regs + 2 * kDeviceCount;
    std::uint16_t *current = regs + 3 * kDeviceCount;

    for (int i = 0; i < kDeviceCount; ++i) {
        const Device &d = devices_[i];
        const bool online = d.online && !overrides.offline.test(i);
        status[i] = online ? kStatusOnline : kStatusOffline;
        voltage[i] = online ? static_cast<std::uint16_t>(d.millivolts) : 0;
        // Negative temperatures go out as 16-bit two's complement.
        temperature[i] = online ? static_cast<std::uint16_t>(d.decidegrees) : 0;
        current[i] = online ? static_cast<std::uint16_t>(d.centiamps) : 0;

        if (overrides.over_temp.test(i))
            temperature[i] = kOverTemperature;
        if (overrides.over_current.test(i))
            current[i] = kOverCurrent;
        if (overrides.under_voltage.test(i))
            voltage[i] = kUnderVoltage;
    }
    for (int k = 0; k < kRegisterCount; ++k)
        if (overrides.forced[k] >= 0)
            regs[k] = static_cast<std::uint16_t>(overrides.forced[k]);
}
