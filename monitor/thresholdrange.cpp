#include "monitor/thresholdrange.h"

#include <algorithm>

void ThresholdRange::apply(int firstDevice, int lastDevice, float upperTemperature,
                           float lowerTemperature, float upperCurrent,
                           std::array<float, 200> &upperTemperatureLimit,
                           std::array<float, 200> &lowerTemperatureLimit,
                           std::array<float, 200> &upperCurrentLimit)
{
    // Clipped before the loop, so a range reaching INT_MAX cannot overflow the counter.
    const int first = std::max(firstDevice, 1);
    const int last = std::min(lastDevice, 200);
    for (int device = first; device <= last; ++device) {
        upperTemperatureLimit[device - 1] = upperTemperature;
        lowerTemperatureLimit[device - 1] = lowerTemperature;
        upperCurrentLimit[device - 1] = upperCurrent;
    }
}
