#include "site/sitelink.h"

#include "site/mqttclient.h"
#include "storage/alarmjournal.h"
#include "storage/alarmoutbox.h"

namespace {

const QString kStatusLeaf = QStringLiteral("status");

// Said at a clean exit, and by the broker for us as the will when the station vanishes.
QByteArray offline()
{
    return SiteMessages::status(false, QDateTime());
}

} // namespace

SiteLink::SiteLink(AlarmJournal *alarmJournal, QObject *parent)
    : QObject(parent), journal(alarmJournal), client(new MqttClient(this)),
      activePayload(SiteMessages::activeAlarms(0, 0, {}))
{
    connect(client, &MqttClient::connected, this, &SiteLink::connected);
    connect(client, &MqttClient::disconnected, this, &SiteLink::disconnected);
    connect(client, &MqttClient::published, this, &SiteLink::published);
    connect(journal, &AlarmJournal::written, this, [this] {
        if (!enabled)
            return;
        countPending();
        sendOutbox();
        updateStatus();
    });
    counterTimer.setSingleShot(true);
    connect(&counterTimer, &QTimer::timeout, this, &SiteLink::publishLink);
    // Acknowledgements arrive one by one; they leave the outbox together, one sync for all.
    removeTimer.setSingleShot(true);
    removeTimer.setInterval(0);
    connect(&removeTimer, &QTimer::timeout, this, &SiteLink::removeAcknowledged);
}

SiteLink::~SiteLink()
{
    // Whoever listens may be half destroyed by now.
    blockSignals(true);
    if (enabled)
        stopPublishing();
    removeAcknowledged();
}

void SiteLink::configure(const SiteSettings &newSettings, const QString &password)
{
    if (!newSettings.enabled) {
        if (enabled)
            stopPublishing();
        if (journal)
            journal->setOutboxEnabled(false);
        updateStatus();
        return;
    }
    // The old name would stay online for ever: it is told the station left.
    if (enabled && client->isConnected()
        && (newSettings.prefix != settings.prefix || newSettings.station != settings.station))
        stopPublishing();
    settings = newSettings;
    enabled = true;
    if (journal)
        journal->setOutboxEnabled(true);
    inFlight.clear();
    lastQueued = 0;

    MqttOptions options;
    options.host = settings.host;
    options.port = settings.port;
    options.tls = settings.tls;
    options.caFile = settings.ca;
    options.user = settings.user;
    options.password = password;
    options.clientId = QStringLiteral("kestro-") + settings.station;
    options.willTopic = topic(kStatusLeaf);
    options.willPayload = offline();
    client->start(options);
    countPending();
    updateStatus();
}

void SiteLink::stopPublishing()
{
    enabled = false;
    counterTimer.stop();
    client->stop(topic(kStatusLeaf), offline());
    inFlight.clear();
    lastQueued = 0;
}

bool SiteLink::isEnabled() const
{
    return enabled;
}

bool SiteLink::isConnected() const
{
    return enabled && client->isConnected();
}

int SiteLink::pendingAlarmEvents() const
{
    return pending;
}

QString SiteLink::statusText() const
{
    if (!enabled)
        return QString();
    if (client->isConnected())
        return tr("远程发布：已连接 %1").arg(settings.host);
    const QString reason = client->lastError();
    if (reason.isEmpty())
        return tr("远程发布：未连接，%1 条报警待发送").arg(pending);
    return tr("远程发布：未连接（%1），%2 条报警待发送").arg(reason).arg(pending);
}

void SiteLink::setLinkState(LinkState state, const QString &port, const LinkCounters &counters)
{
    const bool stateChanged = state != linkState || port != linkPort;
    if (!stateChanged && counters == linkCounters)
        return;
    linkState = state;
    linkPort = port;
    linkCounters = counters;
    linkTime = QDateTime::currentDateTime();
    if (!client->isConnected())
        return;
    if (stateChanged || !linkSent.isValid() || linkSent.elapsed() >= kCounterIntervalMs)
        publishLink();
    else if (!counterTimer.isActive())
        counterTimer.start(int(kCounterIntervalMs - linkSent.elapsed()));
}

void SiteLink::publishLink()
{
    counterTimer.stop();
    if (!enabled || !client->isConnected())
        return;
    const QDateTime time = linkTime.isValid() ? linkTime : QDateTime::currentDateTime();
    client->publish(topic(QStringLiteral("link")),
                    SiteMessages::link(SiteMessages::linkStateName(linkState), linkPort, linkCounters, time),
                    1, true);
    linkSent.start();
}

void SiteLink::setDevices(const QVector<SiteMessages::DeviceSnapshot> &snapshots)
{
    const QDateTime now = QDateTime::currentDateTime();
    for (const SiteMessages::DeviceSnapshot &snapshot : snapshots) {
        // Nothing is said of a device before the station has first heard it.
        if (snapshot.stale == 0x0F && !devices.contains(snapshot.device))
            continue;
        Device &device = devices[snapshot.device];
        if (device.changed.isValid() && device.snapshot == snapshot)
            continue;
        device = {snapshot, now};
        publishDevice(device);
    }
}

void SiteLink::publishDevice(const Device &device)
{
    if (enabled && client->isConnected())
        client->publish(topic(SiteMessages::deviceLeaf(device.snapshot.device)),
                        SiteMessages::device(device.snapshot, device.changed), 0, true);
}

void SiteLink::setActiveAlarms(int count, int unacknowledged,
                               const QVector<ActiveAlarm> &alarms)
{
    const QByteArray payload = SiteMessages::activeAlarms(count, unacknowledged, alarms);
    if (payload == activePayload)
        return;
    activePayload = payload;
    if (enabled && client->isConnected())
        client->publish(topic(QStringLiteral("alarms/active")), activePayload, 1, true);
}

void SiteLink::connected()
{
    if (!enabled)
        return;
    client->publish(topic(kStatusLeaf), SiteMessages::status(true, QDateTime::currentDateTime()), 1, true);
    publishLink();
    client->publish(topic(QStringLiteral("alarms/active")), activePayload, 1, true);
    // Acknowledged rows leave first, so they are not sent again.
    removeAcknowledged();
    for (const Device &device : qAsConst(devices))
        publishDevice(device);
    updateStatus();
}

// What was sent and not acknowledged stays in the outbox and goes again on the next connection.
void SiteLink::disconnected()
{
    inFlight.clear();
    lastQueued = 0;
    counterTimer.stop();
    updateStatus();
}

void SiteLink::published(int mid)
{
    const auto sent = inFlight.find(mid);
    if (sent == inFlight.end())
        return;
    acknowledged.append(sent.value());
    inFlight.erase(sent);
    removeTimer.start();
}

// A corrupted file set aside took its ids with it; the fresh one counts from 1 again.
void SiteLink::forgetSetAsideFile()
{
    if (!journal || journal->database()->setAsidePath() == setAside)
        return;
    setAside = journal->database()->setAsidePath();
    inFlight.clear();
    acknowledged.clear();
    lastQueued = 0;
}

void SiteLink::removeAcknowledged()
{
    removeTimer.stop();
    forgetSetAsideFile();
    if (!acknowledged.isEmpty() && journal && journal->database()->isOpen()) {
        // A row that fails to leave is only sent again: the consumers drop it by its id.
        AlarmOutbox::remove(database(), acknowledged);
        countPending();
    }
    acknowledged.clear();
    sendOutbox();
    updateStatus();
}

void SiteLink::sendOutbox()
{
    if (!enabled || !client->isConnected() || !journal || !journal->database()->isOpen())
        return;
    forgetSetAsideFile();
    const QString alarmTopic = topic(QStringLiteral("alarm"));
    while (inFlight.size() < kMaxInFlight) {
        const int room = kMaxInFlight - inFlight.size();
        const auto rows = AlarmOutbox::pending(database(), room, lastQueued);
        for (const auto &row : rows) {
            const int mid = client->publish(alarmTopic, SiteMessages::alarm(settings.station, row.first, row.second),
                                            1, false);
            if (mid < 0)
                return;
            inFlight.insert(mid, row.first);
            lastQueued = row.first;
        }
        if (rows.size() < room)
            return;
    }
}

void SiteLink::countPending()
{
    if (journal && journal->database()->isOpen())
        pending = qMax(0, AlarmOutbox::count(database()));
}

void SiteLink::updateStatus()
{
    const QString text = statusText();
    if (text == shownStatus)
        return;
    shownStatus = text;
    emit statusChanged(text);
}

QString SiteLink::topic(const QString &leaf) const
{
    return SiteMessages::topic(settings.prefix, settings.station, leaf);
}

QSqlDatabase SiteLink::database() const
{
    return journal->database()->database();
}
