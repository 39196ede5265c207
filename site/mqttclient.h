#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <memory>

class QSocketNotifier;
struct mosquitto;

struct MqttOptions
{
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile;          // TLS: the broker's certificate is verified against it; no insecure mode
    QString user;            // empty: none
    QString password;        // never logged, never shown
    QString clientId;        // e.g. "kestro-<station>"
    QString willTopic;       // empty: no will
    QByteArray willPayload;  // retained, QoS 1
    int keepAliveSeconds = 30;
};

// libmosquitto driven from the Qt event loop: its socket through QSocketNotifiers (read, and
// write while mosquitto_want_write()), plus a timer for mosquitto_loop_misc. Only its connect,
// which looks the host up and may wait as long as the system's resolver does, runs on a thread
// of its own; the library object is that thread's alone until it is handed back.
// The library's callbacks only note what happened; the signals go out once the library call
// has returned, so a slot may publish, restart or stop.
class MqttClient : public QObject
{
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 30000;
    // stop() waits no longer for the broker to acknowledge the last message.
    static constexpr int kLastWordMs = 40;
    // The wait after a failed attempt that waited `retryMs`: doubled, at most 30 s.
    static int nextBackoff(int retryMs);
    // The wait before a retry: drawn between the first retry and the backoff's ceiling, so
    // that a site's stations do not all come back in the same second after the broker does.
    static int jittered(int ceilingMs);

    explicit MqttClient(QObject *parent = nullptr);
    // Disconnects at once, no last message; a lookup still hanging is left to its thread.
    ~MqttClient() override;
    // Connects, and after any loss or refusal reconnects after a wait drawn from 1 s up to a
    // ceiling of 1 s, 2 s, 4 s ... 30 s, reset after a successful connection, until stop().
    // Calling start() again restarts with the new options.
    // One lookup at a time: an attempt that comes due while an abandoned one still hangs is
    // made when that one ends.
    void start(const MqttOptions &options);
    // Clean disconnect: first publishes (retained, QoS 1) lastPayload on lastTopic when given
    // and waits for its PUBACK at most timeoutMs, on the socket, without pumping the event
    // loop; then disconnects and stops reconnecting. Unacknowledged, the message was still
    // written before the disconnect, and the broker's will says the same if it is lost.
    // PUBACKs of earlier messages that arrive meanwhile still come out as published().
    void stop(const QString &lastTopic = QString(), const QByteArray &lastPayload = QByteArray(),
              int timeoutMs = kLastWordMs);
    bool isConnected() const;
    // The message id, or -1 when not connected (the client keeps no queue of its own).
    // Ids handed out before a disconnected() are never confirmed after it: each connection
    // starts afresh, and ids may repeat across connections.
    int publish(const QString &topic, const QByteArray &payload, int qos, bool retain);
    QString hostPort() const;            // "host:port"
    QString lastError() const;           // why the last attempt failed or the link dropped; empty while connected
    int nextRetryMs() const;             // the backoff now in force (for tests)
signals:
    void connected();
    void disconnected(const QString &reason);   // also for refusals: bad password, TLS failure
    void published(int mid);                   // QoS 1: PUBACK received; QoS 0: sent

private:
    enum class State { Stopped, Waiting, Connecting, Connected };
    struct Lookup;
    struct Event
    {
        enum Kind { Accepted, Lost, Published } kind;
        int code;
    };

    static void onConnect(mosquitto *mosq, void *self, int rc);
    static void onDisconnect(mosquitto *mosq, void *self, int rc);
    static void onPublish(mosquitto *mosq, void *self, int mid);
    static void onLog(mosquitto *mosq, void *self, int level, const char *text);

    void attempt();
    static void connectAside(std::shared_ptr<Lookup> lookup);
    void lookedUp(const std::shared_ptr<Lookup> &done);
    void adopt(mosquitto *handedBack);
    bool configure(QString *reason);
    void settle();
    void settleAfter(int rc);
    void scheduleSettle();
    void watchSocket();
    void dropNotifiers();
    void dropSession(bool politely);
    void tick();
    void failed(const QString &reason, bool refused);
    QString lossReason(int rc) const;
    void log(const QString &event) const;

    MqttOptions options;
    mosquitto *mosq = nullptr;
    std::shared_ptr<Lookup> lookup;   // in flight, wanted or not
    bool lookupWanted = false;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer miscTimer;
    QTimer retryTimer;
    QElapsedTimer attemptClock;
    State state = State::Stopped;
    QVector<Event> events;
    QString refusal;       // a CONNACK's refusal, taken over by the loss that follows it
    QString tlsError;      // the library's last TLS complaint in this attempt
    int lossErrno = 0;
    int backoffMs = kFirstRetryMs;
    QString error;
    QString lastLogged;
    bool settling = false;
    bool settleQueued = false;
};
