#include "monitor/alarmdetector.h"

#include <QCoreApplication>

QString AlarmDetector::eventText(const Event &event)
{
    static const char *const alarmTexts[] = {"温度异常", "电压欠压", "电流超限"};
    static const char *const recoveryTexts[] = {"温度恢复正常", "电压恢复正常", "电流恢复正常"};
    const char *text = event.recovery ? recoveryTexts[event.kind - 1] : alarmTexts[event.kind - 1];
    return QString::number(deviceOf(event.code, event.kind)) +
           QCoreApplication::translate("MainWindow", text);
}

QVector<AlarmDetector::Event> AlarmDetector::detect(const DeviceReadings &readings,
                                                    const Limits &upperTemperatureLimit,
                                                    const Limits &lowerTemperatureLimit,
                                                    const Limits &upperCurrentLimit)
{
    QVector<Event> events;
    for (int device = 1; device <= kDevices; ++device) {
        const int i = device - 1;
        const float temperature = readings.deviceTemperature[i];
        const int voltage = readings.deviceVoltage[i];
        const float current = readings.deviceCurrent[i];
        // Comparisons are false for a NaN, so a NaN never raises anything.
        judge(temperature > upperTemperatureLimit[i] || temperature < lowerTemperatureLimit[i],
              device, Temperature, events);
        judge(voltage != 0 && voltage <= kUnderVoltageMax, device, Voltage, events);
        judge(current > upperCurrentLimit[i], device, Current, events);
    }
    return events;
}

void AlarmDetector::judge(bool holds, int device, Kind kind, QVector<Event> &events)
{
    int &flag = flags(kind)[device - 1];
    const int code = device + 200 * (kind - 1);
    if (holds && flag == 0) {
        const int row = takeRow();
        openAlarmCodes[openAlarmCount] = code;
        ++openAlarmCount;
        ++alarmRowIndex;
        flag = 1;
        events.append({false, code, kind, row});
    } else if (!holds && flag == 1) {
        for (int j = 0; j < openAlarmCount; ++j) {
            if (openAlarmCodes[j] == code) {
                events.append({true, code, kind, j});
                openAlarmCodes[j] = 0;
                flag = 0;
            }
        }
    }
}

int AlarmDetector::takeRow()
{
    if (alarmRowIndex == kUsedRows) {
        // The rows of the alarms still open are about to be reused. Forget those
        // alarms as the clear action does, so that a condition that still holds is
        // entered afresh instead of being silenced until someone clears the table.
        for (int j = 0; j < openAlarmCount; ++j) {
            const int code = openAlarmCodes[j];
            if (code == 0)
                continue;
            const Kind kind = static_cast<Kind>((code - 1) / 200 + 1);
            flags(kind)[deviceOf(code, kind) - 1] = 0;
        }
        alarmRowIndex = 0;
        openAlarmCount = 0;
    }
    return alarmRowIndex;
}

void AlarmDetector::clear()
{
    temperatureAlarmActive.fill(0);
    voltageAlarmActive.fill(0);
    currentAlarmActive.fill(0);
    alarmRowIndex = 0;
    openAlarmCount = 0;
}

bool AlarmDetector::anyOpen() const
{
    for (const auto *table : {&temperatureAlarmActive, &voltageAlarmActive, &currentAlarmActive})
        for (int flag : *table)
            if (flag)
                return true;
    return false;
}

const std::array<int, kDevices> &AlarmDetector::flags(Kind kind) const
{
    return kind == Temperature ? temperatureAlarmActive
                               : kind == Voltage ? voltageAlarmActive : currentAlarmActive;
}

std::array<int, kDevices> &AlarmDetector::flags(Kind kind)
{
    return kind == Temperature ? temperatureAlarmActive
                               : kind == Voltage ? voltageAlarmActive : currentAlarmActive;
}
