#pragma once

#include "core/activealarm.h"
#include "serial/linkcounters.h"
#include "serial/linkstate.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

class DeviceModel;
struct JournalEvent;

// What the station publishes to the site broker: compact JSON in UTF-8, keys in the order
// they are documented, times in ISO 8601 with their UTC offset ("2026-03-02T08:00:00+08:00").
// A time that is not valid, and a value that is not a number, are written as null.
namespace SiteMessages {

QString topic(const QString &prefix, const QString &station, const QString &leaf); // "<prefix>/<station>/<leaf>"
QString deviceLeaf(int device);                    // "device/005"

// {"online":true,"since":"..."}; {"online":false} when !online and since is not valid.
QByteArray status(bool online, const QDateTime &since);

// {"state":"polling","port":"COM3","valid":N,"noAnswer":N,"badCrc":N,"badFrame":N,"late":N,"time":"..."}
QByteArray link(const QString &state, const QString &port, const LinkCounters &counters,
                const QDateTime &time);
// Closed "closed", Polling "waiting", Answering "polling", Silent "silent", Lost "lost".
QString linkStateName(LinkState state);

struct DeviceSnapshot
{
    int device = 0;
    QString name, location;
    float temperature = 0;
    int voltage = 0;
    float current = 0;
    bool online = false;
    QString status;
    // One bit per reading nobody heard lately (bit 0 voltage, 1 temperature, 2 current,
    // 3 status): such a reading is not known.
    quint8 stale = 0;

    bool operator==(const DeviceSnapshot &other) const;
    bool operator!=(const DeviceSnapshot &other) const { return !(*this == other); }
};
// Every device as the model has it now.
QVector<DeviceSnapshot> deviceSnapshots(const DeviceModel &devices);
// {"device":5,"name":...,"location":...,"temperature":85.0,"voltage":3005,"current":0.25,
//  "online":true,"status":"在线","time":"..."}; a stale reading is null.
QByteArray device(const DeviceSnapshot &snapshot, const QDateTime &time);

// One journal row: {"id":"<station>:<journal id>","device":5,"kind":"temperature","level":
// "alarm","event":"raised","text":"5温度异常","group":null,"value":85.0,"limit":80.0,"time":...}.
// kind and level are null for the whole station's own events (silence, clear); group is
// {"name":"1号柜","a":4,"b":5,"c":6,"ambient":11} for a joint rule that judged one; time is
// epochMs at this computer's offset then.
QByteArray alarm(const QString &station, qint64 journalId, const JournalEvent &event);
// 1 "temperature", 2 "voltage", 3 "current", 4 "link", 5 "phase_difference", 6 "ambient_rise",
// 7 "rate_of_rise", 8 "temperature_warning", else empty.
QString kindName(int kind);
// "alarm" "raised", "recovery" "recovered", "acknowledge" "acknowledged", "silence"
// "silenced", "clear" "cleared"; anything else as it is.
QString eventName(const QString &journalEvent);

// {"count":N,"unacknowledged":M,"alarms":[{"device":5,"kind":"temperature","level":"alarm",
//  "text":"5温度异常","group":null,"state":"未确认","since":"..."}]}
QByteArray activeAlarms(int count, int unacknowledged, const QVector<ActiveAlarm> &alarms);

// "2026-03-02T08:00:00+08:00", to the second, at the time's own offset (also for UTC).
QString isoTime(const QDateTime &time);

} // namespace SiteMessages
