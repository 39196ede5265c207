#include "scada/modbusimage.h"

#include "monitor/alarmacknowledgement.h"
#include "monitor/alarmdetector.h"
#include "monitor/panelupdate.h"

#include <cmath>

namespace {

// A typed text can read as anything; a register holds what fits, and nothing for a non-number.
quint16 imageRegister(double value, double scale, double lowest, double highest)
{
    if (!std::isfinite(value))
        return 0;
    // A negative value goes in as two's complement.
    return quint16(int(qBound(lowest, std::round(value * scale), highest)) & 0xFFFF);
}

quint16 linkStateRegister(LinkState state)
{
    switch (state) {
    case LinkState::Closed:
        return 0;
    case LinkState::Polling:
        return 1;
    case LinkState::Answering:
        return 2;
    case LinkState::Silent:
        return 3;
    case LinkState::Lost:
        return 4;
    }
    return 0;
}

} // namespace

ModbusImage ModbusImage::make(const DeviceReadings &readings, LinkState link, int openAlarms,
                              int unacknowledgedAlarms, const QDateTime &lastAnswer,
                              const QVector<ActiveAlarm> &alarms)
{
    ModbusImage image;
    auto &r = image.registers;
    const QString online = PanelUpdate::onlineText();
    for (int i = 0; i < kDevices; ++i) {
        // Values nobody heard lately would pass for readings: they stay 0.
        if (readings.staleQuantities[size_t(i)] != 0) {
            r[size_t(kStatusBase + i)] = NotFresh;
            continue;
        }
        r[size_t(kStatusBase + i)] = readings.deviceStatusText[size_t(i)] == online ? Online : Offline;
        r[size_t(kVoltageBase + i)] = imageRegister(readings.deviceVoltage[size_t(i)], 1, 0, 65535);
        r[size_t(kTemperatureBase + i)] =
            imageRegister(double(readings.deviceTemperature[size_t(i)]), 10, -32768, 32767);
        r[size_t(kCurrentBase + i)] =
            imageRegister(double(readings.deviceCurrent[size_t(i)]), 100, 0, 65535);
    }
    r[kLinkState] = linkStateRegister(link);
    r[kOpenAlarms] = quint16(qBound(0, openAlarms, 65535));
    r[kUnacknowledgedAlarms] = quint16(qBound(0, unacknowledgedAlarms, 65535));
    const qint64 seconds =
        lastAnswer.isValid() ? qBound<qint64>(0, lastAnswer.toSecsSinceEpoch(), 0xFFFFFFFF) : 0;
    r[kLastAnswerHigh] = quint16(seconds >> 16);
    r[kLastAnswerHigh + 1] = quint16(seconds & 0xFFFF);

    const auto mark = [&image](int base, int device) {
        if (device >= 1 && device <= kDevices)
            image.inputs.set(size_t(base + device - 1));
    };
    // Open as AlarmAcknowledgement::openCount counts: a recovered row awaits only its acknowledgement.
    const QString unacknowledged = AlarmAcknowledgement::stateText(AlarmAcknowledgement::Unacknowledged);
    const QString acknowledged = AlarmAcknowledgement::stateText(AlarmAcknowledgement::Acknowledged);
    for (const ActiveAlarm &alarm : alarms) {
        if (alarm.state != unacknowledged && alarm.state != acknowledged)
            continue;
        switch (alarm.kind) {
        case AlarmDetector::Temperature:
            mark(kTemperatureAlarmBase, alarm.device);
            break;
        case AlarmDetector::Voltage:
            mark(kVoltageAlarmBase, alarm.device);
            break;
        case AlarmDetector::Current:
            mark(kCurrentAlarmBase, alarm.device);
            break;
        case AlarmDetector::Link:
            image.inputs.set(kLinkAlarm);
            break;
        case AlarmDetector::PhaseDifference:
        case AlarmDetector::AmbientRise:
        case AlarmDetector::RateOfRise:
        case AlarmDetector::TemperatureWarning: {
            // A cabinet's own rule (device 0) stands for each of its phases.
            const int base = alarm.level == AlarmDetector::Warning ? kRuleWarningBase : kRuleAlarmBase;
            if (alarm.device != 0)
                mark(base, alarm.device);
            else
                for (int phase : alarm.group.phases)
                    mark(base, phase);
            break;
        }
        default:
            break;
        }
    }
    return image;
}
