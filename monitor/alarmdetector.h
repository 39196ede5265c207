#pragma once

#include "core/alarmfilter.h"
#include "core/cabinetgroup.h"
#include "core/devicereadings.h"
#include "serial/linkstate.h"

#include <QSet>
#include <QString>
#include <QVector>
#include <array>
#include <limits>

// Alarm conditions per device, remembered so that a lasting condition gives one
// alarm row when it begins and one recovery when it ends. Decides rows and texts;
// the window writes them into the alarm table.
class AlarmDetector
{
public:
    // 5..8 are the joint rules' kinds, judged apart and entered through enterRule.
    enum Kind {
        Temperature = 1,
        Voltage = 2,
        Current = 3,
        Link = 4,
        PhaseDifference = 5,
        AmbientRise = 6,
        RateOfRise = 7,
        TemperatureWarning = 8
    };
    // The Part's kinds and the link alarm are all of level Alarm.
    enum Level { Warning = 0, Alarm = 1 };
    // What the station knows of its concentrator: Down once a whole cycle went unanswered or
    // the port failed under it, Up while valid answers come; Unknown (the operator closed the
    // port, or it has just been opened) neither raises nor ends the link alarm.
    enum class LinkCondition { Unknown, Down, Up };

    static constexpr int kTableRows = 999;
    // Rows 0..996 take alarms; the 998th entry wraps to row 0.
    static constexpr int kUsedRows = 997;
    static constexpr int kUnderVoltageMax = 2199;
    // The link alarm concerns the whole station, device 0.
    static constexpr int kLinkCode = 600;

    struct Event
    {
        bool recovery;
        int code; // N, 200 + N or 400 + N
        Kind kind;
        int row;
        float value = 0; // the reading that decided it
        // An alarm: the limit crossed. A recovery: the bound the value came back within,
        // the limit moved inward by the deadband.
        float limit = 0;
        // When the condition was first seen holding; the moment it is judged for a recovery.
        qint64 beganMs = 0;
        // A joint rule's: its level, its device (0 for a whole group's) and the group it
        // judged, when it judged one.
        Level level = Alarm;
        int device = 0;
        CabinetGroup group{};
    };

    using Limits = std::array<float, kDevices>;

    static int deviceOf(int code, Kind kind) { return code - 200 * (kind - 1); }
    static int deviceOf(const Event &event)
    {
        return event.kind >= PhaseDifference ? event.device : deviceOf(event.code, event.kind);
    }
    static Kind kindOf(int code);
    // "5温度异常" for an alarm, "5温度恢复正常" for its recovery; "集中器通讯中断" and
    // "集中器通讯恢复" for the link; "1号柜相间温差报警", "5温升速率预警恢复正常" for the rules.
    static QString eventText(const Event &event);

    AlarmDetector();

    // One pass over devices 1..200, per device temperature, voltage, current. nowMs is the
    // pass's time on any clock that does not jump back; only differences are used. A reading
    // that is not fresh is not judged: its alarm and the time its condition began stay.
    QVector<Event> detect(const DeviceReadings &readings, const Limits &upperTemperatureLimit,
                          const Limits &lowerTemperatureLimit, const Limits &upperCurrentLimit,
                          const AlarmFilterSettings &filters = AlarmFilterSettings(),
                          qint64 nowMs = 0);

    // The link alarm, judged before the devices in each pass; sinceMs is when the concentrator
    // was last heard, the alarm's beginning.
    QVector<Event> detectLink(LinkCondition condition, qint64 sinceMs, qint64 nowMs);
    static LinkCondition linkCondition(LinkState state);

    // A joint rule's alarm, its code the rule's own (1000 and up), given a row as the Part's are;
    // or its recovery, in the row the alarm took. A recovery whose alarm the list no longer
    // holds (forgotten by a clear or a wrap) is no event.
    void enterRule(Event event, QVector<Event> &events);
    // The open rule alarms the list forgot since last asked: the rows wrapped, or a clear.
    QSet<int> takeForgottenRuleCodes();

    // What the alarm dialog's clear does: every condition still present is entered afresh.
    // Conditions still waiting out their delay start waiting again.
    void clear();

    bool isOpen(Kind kind, int device) const
    {
        return kind == Link ? linkAlarmActive != 0 : flags(kind)[device - 1] != 0;
    }
    bool anyOpen() const;

    std::array<int, kDevices> temperatureAlarmActive{};
    std::array<int, kDevices> voltageAlarmActive{};
    std::array<int, kDevices> currentAlarmActive{};
    int linkAlarmActive = 0;
    int alarmRowIndex = 0;
    std::array<int, kTableRows> openAlarmCodes{};
    int openAlarmCount = 0;

private:
    static constexpr qint64 kNotHolding = std::numeric_limits<qint64>::min();

    struct Reading
    {
        bool holds;
        float value;
        float limit; // crossed, when it holds; came back within, when it does not
    };

    const std::array<int, kDevices> &flags(Kind kind) const;
    std::array<int, kDevices> &flags(Kind kind);
    Reading judgeTemperature(int i, float temperature, float upper, float lower, float deadband);
    void judge(const Reading &reading, int device, Kind kind, int delaySeconds, qint64 nowMs,
               QVector<Event> &events);
    int takeRow();
    void enter(int code, Kind kind, float value, float limit, qint64 beganMs,
               QVector<Event> &events);
    void forgetWaiting();
    void forgetRuleAlarms();

    // Per kind and device: since when the condition has held without a break, for one
    // waiting out its delay and for an open alarm alike; kNotHolding otherwise.
    std::array<std::array<qint64, kDevices>, 3> heldSince;
    // An open alarm forgotten by a clear or a wrap keeps its start, so it is entered again
    // at once; only conditions still waiting out their delay start over.
    std::array<std::array<bool, kDevices>, 3> forgottenOpen{};
    // Which limit an open temperature alarm lies beyond; its deadband applies on that side.
    std::array<bool, kDevices> temperatureAboveUpper{};
    QSet<int> forgottenRuleCodes;
};
