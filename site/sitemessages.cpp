#include "site/sitemessages.h"

#include "monitor/devicemodel.h"
#include "monitor/panelupdate.h"
#include "storage/alarmjournal.h"

#include <QHash>
#include <QLocale>
#include <QtNumeric>

#include <cmath>

namespace {

// QJsonObject sorts its keys; the consumers' documentation lists them in reading order, so
// the objects are written here in that order.
class JsonObject
{
public:
    JsonObject &add(const char *key, const QByteArray &json)
    {
        text += text.size() > 1 ? ",\"" : "\"";
        text += key;
        text += "\":";
        text += json;
        return *this;
    }
    JsonObject &add(const char *key, const QString &value) { return add(key, string(value)); }
    JsonObject &add(const char *key, int value) { return add(key, QByteArray::number(value)); }
    JsonObject &add(const char *key, bool value) { return add(key, QByteArray(value ? "true" : "false")); }
    JsonObject &add(const char *key, double value) { return add(key, real(value)); }
    JsonObject &addTime(const char *key, const QDateTime &time)
    {
        return add(key, time.isValid() ? string(SiteMessages::isoTime(time)) : QByteArray("null"));
    }
    QByteArray close() const { return text + '}'; }

    static QByteArray string(const QString &value)
    {
        QByteArray out = "\"";
        for (const char c : value.toUtf8()) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                out += '\\';
                out += c;
            } else if (byte < 0x20) {
                out += "\\u00";
                out += QByteArray::number(byte, 16).rightJustified(2, '0');
            } else {
                out += c;
            }
        }
        return out + '"';
    }
    // Readings come from floats: seven digits say all they hold, and a whole number keeps
    // its ".0" so a reader sees a quantity, not a count.
    static QByteArray real(double value)
    {
        if (!std::isfinite(value))
            return "null";
        QByteArray out = QByteArray::number(value, 'g', 7);
        if (!out.contains('.') && !out.contains('e'))
            out += ".0";
        return out;
    }

private:
    QByteArray text = "{";
};

QByteArray stringOrNull(const QString &value)
{
    return value.isEmpty() ? QByteArray("null") : JsonObject::string(value);
}

} // namespace

namespace SiteMessages {

QString topic(const QString &prefix, const QString &station, const QString &leaf)
{
    return prefix + QLatin1Char('/') + station + QLatin1Char('/') + leaf;
}

QString deviceLeaf(int device)
{
    return QStringLiteral("device/%1").arg(device, 3, 10, QLatin1Char('0'));
}

QString isoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    // Qt writes "Z" for UTC; the offset is written out the same way at every station.
    return QLocale::c().toString(time.toOffsetFromUtc(offset), QStringLiteral("yyyy-MM-dd'T'hh:mm:ss"))
           + (offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
           + QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QByteArray status(bool online, const QDateTime &since)
{
    JsonObject json;
    json.add("online", online);
    if (online || since.isValid())
        json.addTime("since", since);
    return json.close();
}

QByteArray link(const QString &state, const QString &port, const LinkCounters &counters,
                const QDateTime &time)
{
    return JsonObject()
        .add("state", state)
        .add("port", port)
        .add("valid", counters.validAnswers)
        .add("noAnswer", counters.noAnswer)
        .add("badCrc", counters.badCrc)
        .add("badFrame", counters.badFrame)
        .add("late", counters.lateDropped)
        .addTime("time", time)
        .close();
}

QString linkStateName(LinkState state)
{
    switch (state) {
    case LinkState::Closed:
        return QStringLiteral("closed");
    case LinkState::Polling:
        return QStringLiteral("waiting");
    case LinkState::Answering:
        return QStringLiteral("polling");
    case LinkState::Silent:
        return QStringLiteral("silent");
    case LinkState::Lost:
        return QStringLiteral("lost");
    }
    return QString();
}

bool DeviceSnapshot::operator==(const DeviceSnapshot &other) const
{
    return device == other.device && name == other.name && location == other.location
           && temperature == other.temperature && voltage == other.voltage
           && current == other.current && online == other.online && status == other.status
           && stale == other.stale;
}

QByteArray device(const DeviceSnapshot &snapshot, const QDateTime &time)
{
    return JsonObject()
        .add("device", snapshot.device)
        .add("name", snapshot.name)
        .add("location", snapshot.location)
        .add("temperature", snapshot.stale & 2 ? qQNaN() : double(snapshot.temperature))
        .add("voltage", snapshot.stale & 1 ? QByteArray("null") : QByteArray::number(snapshot.voltage))
        .add("current", snapshot.stale & 4 ? qQNaN() : double(snapshot.current))
        .add("online", snapshot.online)
        .add("status", snapshot.status)
        .addTime("time", time)
        .close();
}

QString kindName(int kind)
{
    switch (kind) {
    case 1:
        return QStringLiteral("temperature");
    case 2:
        return QStringLiteral("voltage");
    case 3:
        return QStringLiteral("current");
    case 4:
        return QStringLiteral("link");
    case 5:
        return QStringLiteral("phase_difference");
    case 6:
        return QStringLiteral("ambient_rise");
    case 7:
        return QStringLiteral("rate_of_rise");
    case 8:
        return QStringLiteral("temperature_warning");
    }
    return QString();
}

// An event of no kind (silence, clear) has no level either.
QByteArray levelName(int kind, int level)
{
    return kind == 0 ? "null" : level == 0 ? "\"warning\"" : "\"alarm\"";
}

QByteArray group(const CabinetGroup &group)
{
    if (group.name.isEmpty())
        return "null";
    auto device = [](int number) { return number ? QByteArray::number(number) : QByteArray("null"); };
    return JsonObject()
        .add("name", group.name)
        .add("a", device(group.phases[0]))
        .add("b", device(group.phases[1]))
        .add("c", device(group.phases[2]))
        .add("ambient", device(group.ambient))
        .close();
}

QString eventName(const QString &journalEvent)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("alarm"), QStringLiteral("raised")},
        {QStringLiteral("recovery"), QStringLiteral("recovered")},
        {QStringLiteral("acknowledge"), QStringLiteral("acknowledged")},
        {QStringLiteral("silence"), QStringLiteral("silenced")},
        {QStringLiteral("clear"), QStringLiteral("cleared")},
    };
    return names.value(journalEvent, journalEvent);
}

QByteArray alarm(const QString &station, qint64 journalId, const JournalEvent &event)
{
    return JsonObject()
        .add("id", station + QLatin1Char(':') + QString::number(journalId))
        .add("device", event.device)
        .add("kind", stringOrNull(kindName(event.kind)))
        .add("level", levelName(event.kind, event.level))
        .add("event", eventName(event.event))
        .add("text", event.text)
        .add("group", group(event.group))
        .add("value", event.value)
        .add("limit", event.limit)
        .addTime("time", QDateTime::fromMSecsSinceEpoch(event.epochMs))
        .close();
}

QByteArray activeAlarms(int count, int unacknowledged, const QVector<ActiveAlarm> &alarms)
{
    QByteArray list = "[";
    for (const ActiveAlarm &active : alarms) {
        if (list.size() > 1)
            list += ',';
        list += JsonObject()
                    .add("device", active.device)
                    .add("kind", stringOrNull(kindName(active.kind)))
                    .add("level", levelName(active.kind, active.level))
                    .add("text", active.text)
                    .add("group", group(active.group))
                    .add("state", active.state)
                    .addTime("since", active.since)
                    .close();
    }
    return JsonObject()
        .add("count", count)
        .add("unacknowledged", unacknowledged)
        .add("alarms", list + ']')
        .close();
}

QVector<DeviceSnapshot> deviceSnapshots(const DeviceModel &devices)
{
    QVector<DeviceSnapshot> snapshots(kDevices);
    const DeviceReadings &readings = devices.readings();
    for (int device = 1; device <= kDevices; ++device) {
        DeviceSnapshot &snapshot = snapshots[device - 1];
        const size_t index = size_t(device - 1);
        snapshot.device = device;
        snapshot.name = devices.setting(DeviceModel::Name, device);
        snapshot.location = devices.setting(DeviceModel::Location, device);
        snapshot.temperature = readings.deviceTemperature[index];
        snapshot.voltage = readings.deviceVoltage[index];
        snapshot.current = readings.deviceCurrent[index];
        // A status nobody heard reads "无应答" already.
        snapshot.status = readings.deviceStatusText[index];
        snapshot.online = snapshot.status == PanelUpdate::onlineText();
        snapshot.stale = readings.staleQuantities[index];
    }
    return snapshots;
}

} // namespace SiteMessages
