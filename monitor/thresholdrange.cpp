#include "monitor/thresholdrange.h"

#include <QCoreApplication>
#include <QtNumeric>
#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Threshold", text);
}

// The text as a limit is taken: not a number gives 0.0.
bool within(const QString &text, float lowest, float highest)
{
    const float value = text.toFloat();
    return qIsFinite(value) && value >= lowest && value <= highest;
}

} // namespace

QString ThresholdRange::limitsProblem(const QString &upperTemperature,
                                      const QString &lowerTemperature, const QString &upperCurrent)
{
    const QString temperatureRange = tr("%1须在 -60～300 ℃ 之间，未作更改");
    if (!within(upperTemperature, kLowestTemperature, kHighestTemperature))
        return temperatureRange.arg(tr("温度上限"));
    if (!within(lowerTemperature, kLowestTemperature, kHighestTemperature))
        return temperatureRange.arg(tr("温度下限"));
    if (!within(upperCurrent, 0.0f, kHighestCurrent))
        return tr("电流上限须在 0～655.35 A 之间，未作更改");
    return QString();
}

QString ThresholdRange::deadbandProblem(const QString &temperatureDeadband,
                                        const QString &currentDeadband,
                                        const QString &delaySeconds)
{
    const auto deadband = [](const QString &text) {
        bool number = false;
        const float value = text.toFloat(&number);
        return number && value >= 0.0f && value <= kHighestDeadband;
    };
    if (!deadband(temperatureDeadband))
        return tr("温度回差须为 0～50 之间的数，未作更改");
    if (!deadband(currentDeadband))
        return tr("电流回差须为 0～50 之间的数，未作更改");
    bool number = false;
    const int delay = delaySeconds.toInt(&number);
    if (!number || delay < 0 || delay > kLongestDelaySeconds)
        return tr("延时须为 0～3600 之间的整秒数，未作更改");
    return QString();
}

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
