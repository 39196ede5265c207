#pragma once

#include "serial/linkcounters.h"
#include "serial/linkstate.h"
#include "site/sitemessages.h"
#include "site/sitesettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSqlDatabase>
#include <QString>
#include <QTimer>
#include <QVector>

class AlarmJournal;
class MqttClient;

// Publishes the station to the site broker: its presence, the serial link, every device's
// readings, the active alarms, and each alarm journal event. The events go out of the
// database's outbox in journal order and leave it only on the broker's acknowledgement, so an
// outage of the broker or of the station loses none; readings are not kept, the retained
// state is published again at each connect.
class SiteLink : public QObject
{
    Q_OBJECT

public:
    // Alarm events sent and not yet acknowledged, at most.
    static constexpr int kMaxInFlight = 100;
    // Counters alone are published no oftener than this; a change of state goes out at once.
    static constexpr int kCounterIntervalMs = 10000;

    // journal: its database holds the outbox; the outbox is on while the link is enabled,
    // and each commit of the journal sends what it added.
    explicit SiteLink(AlarmJournal *journal, QObject *parent = nullptr);
    // Clean exit: publishes {"online":false} on status, then disconnects; the window waits for
    // the broker's acknowledgement no longer than MqttClient::kLastWordMs.
    ~SiteLink() override;

    // Starts (or restarts, or with !settings.enabled stops) publishing.
    void configure(const SiteSettings &settings, const QString &password);
    void setLinkState(LinkState state, const QString &port, const LinkCounters &counters);
    // Every second: publishes the devices whose snapshot changed (all of them at each connect);
    // none before its first fresh snapshot.
    void setDevices(const QVector<SiteMessages::DeviceSnapshot> &devices);
    void setActiveAlarms(int count, int unacknowledged, const QVector<ActiveAlarm> &alarms);
    bool isEnabled() const;
    bool isConnected() const;
    int pendingAlarmEvents() const;   // rows in the outbox
    // "远程发布：已连接 host", "远程发布：未连接，N 条报警待发送" (with the reason after a refusal:
    // "远程发布：未连接（<reason>），N 条报警待发送"), or "" when disabled.
    QString statusText() const;

signals:
    void statusChanged(const QString &text);

private:
    struct Device
    {
        SiteMessages::DeviceSnapshot snapshot;
        QDateTime changed;
    };

    void connected();
    void disconnected();
    void published(int mid);
    void sendOutbox();
    void removeAcknowledged();
    void forgetSetAsideFile();
    void publishLink();
    void publishDevice(const Device &device);
    void stopPublishing();
    void countPending();
    void updateStatus();
    QString topic(const QString &leaf) const;
    QSqlDatabase database() const;

    QPointer<AlarmJournal> journal;
    MqttClient *client = nullptr;
    SiteSettings settings;
    bool enabled = false;

    LinkState linkState = LinkState::Closed;
    QString linkPort;
    LinkCounters linkCounters;
    QDateTime linkTime;
    QElapsedTimer linkSent;   // since the last link message of this connection
    QTimer counterTimer;      // counters that changed too soon after it

    QMap<int, Device> devices;   // by number, so a connect sends them in order
    QByteArray activePayload;

    QHash<int, qint64> inFlight;   // message id -> journal id
    qint64 lastQueued = 0;         // the highest journal id sent on this connection
    QVector<qint64> acknowledged;  // to leave the outbox in one transaction
    QTimer removeTimer;
    QString setAside;              // the database's last corrupted file when it was read
    int pending = 0;
    QString shownStatus;
};
