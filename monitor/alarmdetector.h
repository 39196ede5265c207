#pragma once

#include "core/alarmfilter.h"
#include "core/devicereadings.h"
#include "serial/linkstate.h"

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
    enum Kind { Temperature = 1, Voltage = 2, Current = 3, Link = 4 };
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
    };

    using Limits = std::array<float, kDevices>;

    static int deviceOf(int code, Kind kind) { return code - 200 * (kind - 1); }
    static Kind kindOf(int code);
    // "5温度异常" for an alarm, "5温度恢复正常" for its recovery; "集中器通讯中断" and
    // "集中器通讯恢复" for the link.
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

    // Per kind and device: since when the condition has held without a break, for one
    // waiting out its delay and for an open alarm alike; kNotHolding otherwise.
    std::array<std::array<qint64, kDevices>, 3> heldSince;
    // An open alarm forgotten by a clear or a wrap keeps its start, so it is entered again
    // at once; only conditions still waiting out their delay start over.
    std::array<std::array<bool, kDevices>, 3> forgottenOpen{};
    // Which limit an open temperature alarm lies beyond; its deadband applies on that side.
    std::array<bool, kDevices> temperatureAboveUpper{};
};
