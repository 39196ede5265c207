#pragma once

#include <array>
#include <bitset>
#include <chrono>
#include <cstdint>
#include <random>

// Register layout: eight blocks of 100 input registers, four quantities
// (status, voltage, temperature, current) of 200 devices each.
constexpr int kDeviceCount = 200;
constexpr int kFirstRegister = 30001;
constexpr int kRegisterCount = 4 * kDeviceCount;
constexpr int kBlockSize = 100;
constexpr int kBlockCount = kRegisterCount / kBlockSize;

constexpr std::uint16_t kStatusOnline = 0x45;
constexpr std::uint16_t kStatusOffline = 0x44;
constexpr std::uint16_t kOverTemperature = 950;
constexpr std::uint16_t kOverCurrent = 6250;
constexpr std::uint16_t kUnderVoltage = 1800;

using DeviceSet = std::bitset<kDeviceCount>; // bit n-1 stands for device n

struct Overrides {
    DeviceSet offline;
    DeviceSet over_temp;
    DeviceSet over_current;
    DeviceSet under_voltage;
    // Registers given an exact value, applied last; -1 where none is given.
    std::array<int, kRegisterCount> forced = [] {
        std::array<int, kRegisterCount> none{};
        none.fill(-1);
        return none;
    }();
};

class Readings {
public:
    // Fixed readings derived from the device number, never changing.
    static Readings fixed();
    // Believable readings that drift once a second, reproducible from seed.
    static Readings drifting(std::uint64_t seed, std::chrono::steady_clock::time_point now);

    void advance(std::chrono::steady_clock::time_point now);
    // regs holds kRegisterCount registers, the first being kFirstRegister.
    void store(std::uint16_t *regs, const Overrides &overrides) const;

private:
    struct Device {
        bool online = true;
        int millivolts = 0;
        int decidegrees = 0;
        int centiamps = 0;
        int decidegrees_min = 0;
        int decidegrees_max = 0;
    };

    Readings() = default;
    void step();
    int walk(int value, int delta, int lo, int hi);

    std::array<Device, kDeviceCount> devices_{};
    bool drifting_ = false;
    std::mt19937_64 rng_;
    std::chrono::steady_clock::time_point last_step_{};
};
