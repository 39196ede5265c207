#include "monitor/alarmdetector.h"

#include <QCoreApplication>
#include <QtNumeric>

QString AlarmDetector::eventText(const Event &event)
{
    if (event.kind >= PhaseDifference) {
        static const char *const ruleTexts[] = {"相间温差", "环境温升", "温升速率", "温度"};
        QString text = event.kind == PhaseDifference ? event.group.name : QString::number(event.device);
        text += QCoreApplication::translate("MainWindow", ruleTexts[event.kind - PhaseDifference]);
        text += event.level == Warning ? QCoreApplication::translate("MainWindow", "预警")
                                       : QCoreApplication::translate("MainWindow", "报警");
        if (event.recovery)
            text += QCoreApplication::translate("MainWindow", "恢复正常");
        return text;
    }
    static const char *const alarmTexts[] = {"温度异常", "电压欠压", "电流超限", "集中器通讯中断"};
    static const char *const recoveryTexts[] = {"温度恢复正常", "电压恢复正常", "电流恢复正常",
                                                "集中器通讯恢复"};
    const char *text = event.recovery ? recoveryTexts[event.kind - 1] : alarmTexts[event.kind - 1];
    const QString translated = QCoreApplication::translate("MainWindow", text);
    return event.kind == Link ? translated
                              : QString::number(deviceOf(event.code, event.kind)) + translated;
}

AlarmDetector::Kind AlarmDetector::kindOf(int code)
{
    return code == kLinkCode ? Link : static_cast<Kind>((code - 1) / 200 + 1);
}

namespace {

// A negative deadband would clear an alarm still beyond its limit, a NaN one would let an
// over-current alarm clear and rise again every second.
float usableDeadband(float deadband)
{
    return deadband > 0 ? deadband : 0.0f;
}

} // namespace

AlarmDetector::AlarmDetector()
{
    for (auto &since : heldSince)
        since.fill(kNotHolding);
}

QVector<AlarmDetector::Event>
AlarmDetector::detect(const DeviceReadings &readings, const Limits &upperTemperatureLimit,
                      const Limits &lowerTemperatureLimit, const Limits &upperCurrentLimit,
                      const AlarmFilterSettings &filters, qint64 nowMs)
{
    QVector<Event> events;
    for (int device = 1; device <= kDevices; ++device) {
        const int i = device - 1;
        const float temperature = readings.deviceTemperature[i];
        const int voltage = readings.deviceVoltage[i];
        const float current = readings.deviceCurrent[i];
        const int delay = filters.delaySeconds[i];
        // Comparisons are false for a NaN, so a NaN never raises anything.
        if (readings.isFresh(PanelQuantity::Temperature, device))
            judge(judgeTemperature(i, temperature, upperTemperatureLimit[i],
                                   lowerTemperatureLimit[i],
                                   usableDeadband(filters.temperatureDeadband[i])),
                  device, Temperature, delay, nowMs, events);
        if (readings.isFresh(PanelQuantity::Voltage, device))
            judge({voltage != 0 && voltage <= kUnderVoltageMax, float(voltage),
                   float(kUnderVoltageMax)},
                  device, Voltage, delay, nowMs, events);
        if (readings.isFresh(PanelQuantity::Current, device)) {
            const float currentBound =
                upperCurrentLimit[i] -
                (currentAlarmActive[i] ? usableDeadband(filters.currentDeadband[i]) : 0.0f);
            judge({current > currentBound, current, currentBound}, device, Current, delay, nowMs,
                  events);
        }
    }
    return events;
}

AlarmDetector::LinkCondition AlarmDetector::linkCondition(LinkState state)
{
    switch (state) {
    case LinkState::Silent:
    case LinkState::Lost:
        return LinkCondition::Down;
    case LinkState::Answering:
        return LinkCondition::Up;
    case LinkState::Closed:
    case LinkState::Polling:
        break;
    }
    return LinkCondition::Unknown;
}

QVector<AlarmDetector::Event> AlarmDetector::detectLink(LinkCondition condition, qint64 sinceMs,
                                                        qint64 nowMs)
{
    QVector<Event> events;
    if (condition == LinkCondition::Down && linkAlarmActive == 0) {
        enter(kLinkCode, Link, float(qQNaN()), float(qQNaN()), sinceMs, events);
        linkAlarmActive = 1;
    } else if (condition == LinkCondition::Up && linkAlarmActive == 1) {
        for (int j = 0; j < openAlarmCount; ++j) {
            if (openAlarmCodes[j] == kLinkCode) {
                events.append({true, kLinkCode, Link, j, float(qQNaN()), float(qQNaN()), nowMs});
                openAlarmCodes[j] = 0;
            }
        }
        linkAlarmActive = 0;
    }
    return events;
}

AlarmDetector::Reading AlarmDetector::judgeTemperature(int i, float temperature, float upper,
                                                       float lower, float deadband)
{
    if (temperature > upper) {
        temperatureAboveUpper[i] = true;
        return {true, temperature, upper};
    }
    if (temperature < lower) {
        temperatureAboveUpper[i] = false;
        return {true, temperature, lower};
    }
    if (temperatureAlarmActive[i] == 0)
        return {false, temperature, 0.0f};
    // Back within limits, but an open alarm clears only once clear of the deadband on the
    // side it went out.
    if (temperatureAboveUpper[i])
        return {temperature > upper - deadband, temperature, upper - deadband};
    return {temperature < lower + deadband, temperature, lower + deadband};
}

void AlarmDetector::judge(const Reading &reading, int device, Kind kind, int delaySeconds,
                          qint64 nowMs, QVector<Event> &events)
{
    int &flag = flags(kind)[device - 1];
    qint64 &since = heldSince[kind - 1][device - 1];
    const int code = device + 200 * (kind - 1);
    if (!reading.holds) {
        since = kNotHolding;
        forgottenOpen[kind - 1][device - 1] = false;
    }
    if (reading.holds && flag == 0) {
        if (since == kNotHolding)
            since = nowMs;
        if (delaySeconds > 0 && nowMs - since < qint64(delaySeconds) * 1000)
            return;
        const qint64 began = since;
        enter(code, kind, reading.value, reading.limit, began, events);
        // A wrap in enter() forgets waiting conditions, this one among them.
        since = began;
        forgottenOpen[kind - 1][device - 1] = false;
        flag = 1;
    } else if (!reading.holds && flag == 1) {
        for (int j = 0; j < openAlarmCount; ++j) {
            if (openAlarmCodes[j] == code) {
                events.append({true, code, kind, j, reading.value, reading.limit, nowMs});
                openAlarmCodes[j] = 0;
                flag = 0;
            }
        }
    }
}

void AlarmDetector::enter(int code, Kind kind, float value, float limit, qint64 beganMs,
                          QVector<Event> &events)
{
    const int row = takeRow();
    openAlarmCodes[openAlarmCount] = code;
    ++openAlarmCount;
    ++alarmRowIndex;
    events.append({false, code, kind, row, value, limit, beganMs});
}

void AlarmDetector::enterRule(Event event, QVector<Event> &events)
{
    if (!event.recovery) {
        enter(event.code, event.kind, event.value, event.limit, event.beganMs, events);
        const Event &entered = events.constLast();
        event.row = entered.row;
        events.last() = event;
        return;
    }
    for (int j = 0; j < openAlarmCount; ++j) {
        if (openAlarmCodes[j] == event.code) {
            openAlarmCodes[j] = 0;
            event.row = j;
            events.append(event);
            return;
        }
    }
}

QSet<int> AlarmDetector::takeForgottenRuleCodes()
{
    QSet<int> codes;
    codes.swap(forgottenRuleCodes);
    return codes;
}

void AlarmDetector::forgetRuleAlarms()
{
    for (int j = 0; j < openAlarmCount; ++j)
        if (openAlarmCodes[j] > kLinkCode)
            forgottenRuleCodes.insert(openAlarmCodes[j]);
}

int AlarmDetector::takeRow()
{
    if (alarmRowIndex == kUsedRows) {
        // The rows of the alarms still open are about to be reused. Forget those
        // alarms as the clear action does, so that a condition that still holds is
        // entered afresh instead of being silenced until someone clears the table.
        forgetWaiting();
        forgetRuleAlarms();
        for (int j = 0; j < openAlarmCount; ++j) {
            const int code = openAlarmCodes[j];
            if (code == 0 || code > kLinkCode)
                continue;
            const Kind kind = kindOf(code);
            if (kind == Link) {
                linkAlarmActive = 0;
                continue;
            }
            const int i = deviceOf(code, kind) - 1;
            flags(kind)[i] = 0;
            forgottenOpen[kind - 1][i] = true;
        }
        alarmRowIndex = 0;
        openAlarmCount = 0;
    }
    return alarmRowIndex;
}

void AlarmDetector::clear()
{
    forgetWaiting();
    forgetRuleAlarms();
    for (int kind = Temperature; kind <= Current; ++kind)
        for (int i = 0; i < kDevices; ++i)
            if (flags(static_cast<Kind>(kind))[i])
                forgottenOpen[kind - 1][i] = true;
    temperatureAlarmActive.fill(0);
    voltageAlarmActive.fill(0);
    currentAlarmActive.fill(0);
    linkAlarmActive = 0;
    alarmRowIndex = 0;
    openAlarmCount = 0;
}

void AlarmDetector::forgetWaiting()
{
    for (int kind = Temperature; kind <= Current; ++kind)
        for (int i = 0; i < kDevices; ++i)
            if (!flags(static_cast<Kind>(kind))[i] && !forgottenOpen[kind - 1][i])
                heldSince[kind - 1][i] = kNotHolding;
}

bool AlarmDetector::anyOpen() const
{
    if (linkAlarmActive)
        return true;
    for (int j = 0; j < openAlarmCount; ++j)
        if (openAlarmCodes[j] > kLinkCode)
            return true;
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
