#include "site/mqttclient.h"

#include "core/servicelog.h"
#include "site/mqttreason.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

constexpr int kTickMs = 1000;
constexpr int kVerifyPeer = 1;  // OpenSSL's SSL_VERIFY_PEER, without pulling in its headers

void initLibrary()
{
    // Once per process; never cleaned up, as other code may still use OpenSSL at exit.
    static const int done = mosquitto_lib_init();
    Q_UNUSED(done);
}

// The TLS failure is only told in the log: the library empties OpenSSL's error queue itself.
// The first complaint says most: "Error: host name verification failed." comes before
// "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed".
QString tlsComplaint(int level, const char *text)
{
    const QString line = QString::fromUtf8(text);
    if (!(level & MOSQ_LOG_ERR))
        return QString();
    if (line.startsWith(QLatin1String("Error: ")))
        return MqttReason::clause(line.mid(7));
    if (!line.startsWith(QLatin1String("OpenSSL Error")))
        return QString();
    return line.mid(line.lastIndexOf(QLatin1Char(':')) + 1).trimmed();
}

} // namespace

// One attempt's connect, made on a thread of its own. The library object is the thread's
// alone until the client takes it back; a client gone meanwhile leaves it to the thread,
// which frees it when the call returns.
struct MqttClient::Lookup
{
    ~Lookup()
    {
        if (mosq)
            mosquitto_destroy(mosq);
    }
    static void onLog(mosquitto *, void *self, int level, const char *text)
    {
        auto *lookup = static_cast<Lookup *>(self);
        if (lookup->tlsError.isEmpty())
            lookup->tlsError = tlsComplaint(level, text);
    }

    std::mutex mutex;
    MqttClient *client = nullptr;   // under the mutex: null once the client is gone
    mosquitto *mosq = nullptr;
    QByteArray host;
    int port = 0;
    int keepAliveSeconds = 0;
    int rc = MOSQ_ERR_SUCCESS;
    int number = 0;                 // errno, which is the thread's own
    QString tlsError;
};

int MqttClient::nextBackoff(int retryMs)
{
    return qMin(retryMs * 2, kLongestRetryMs);
}

int MqttClient::jittered(int ceilingMs)
{
    if (ceilingMs <= kFirstRetryMs)
        return ceilingMs;
    return QRandomGenerator::global()->bounded(kFirstRetryMs, ceilingMs + 1);
}

MqttClient::MqttClient(QObject *parent) : QObject(parent)
{
    miscTimer.setInterval(kTickMs);
    connect(&miscTimer, &QTimer::timeout, this, &MqttClient::tick);
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &MqttClient::attempt);
}

MqttClient::~MqttClient()
{
    if (lookup) {
        std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->client = nullptr;
    }
    const bool wasConnected = state == State::Connected;
    dropSession(true);
    if (wasConnected)
        log(QStringLiteral("disconnected from %1: stopped").arg(hostPort()));
}

void MqttClient::start(const MqttOptions &newOptions)
{
    // At the first start, not at construction: it initialises the TLS library, which a
    // station without a site link never needs.
    initLibrary();
    const bool wasConnected = state == State::Connected;
    dropSession(true);
    if (wasConnected)
        log(QStringLiteral("disconnected from %1: restarting").arg(hostPort()));
    options = newOptions;
    state = State::Waiting;
    backoffMs = kFirstRetryMs;
    error.clear();
    lastLogged.clear();
    // From the event loop, so that a slot of disconnected() never runs inside start().
    retryTimer.start(0);
}

void MqttClient::stop(const QString &lastTopic, const QByteArray &lastPayload, int timeoutMs)
{
    retryTimer.stop();
    int lastMid = -1;
    if (state == State::Connected && !lastTopic.isEmpty()) {
        const QByteArray topic = lastTopic.toUtf8();
        int mid = 0;
        if (mosquitto_publish(mosq, &mid, topic.constData(), lastPayload.size(),
                              lastPayload.constData(), 1, true) == MOSQ_ERR_SUCCESS) {
            lastMid = mid;
        }
        QElapsedTimer clock;
        clock.start();
        auto acknowledged = [this, lastMid]() {
            for (const Event &event : qAsConst(events)) {
                if (event.kind == Event::Published && event.code == lastMid)
                    return true;
            }
            return false;
        };
        // Each round waits on the socket for at most what is left of the time.
        while (lastMid >= 0 && !acknowledged()) {
            const qint64 left = timeoutMs - clock.elapsed();
            if (left <= 0 || mosquitto_loop(mosq, int(left), 1) != MOSQ_ERR_SUCCESS)
                break;
        }
    }
    QVector<int> confirmed;
    for (const Event &event : qAsConst(events)) {
        if (event.kind == Event::Published && event.code != lastMid)
            confirmed.append(event.code);
    }
    const bool wasConnected = state == State::Connected;
    dropSession(true);
    state = State::Stopped;
    error.clear();
    if (wasConnected)
        log(QStringLiteral("disconnected from %1: stopped").arg(hostPort()));
    for (const int mid : qAsConst(confirmed))
        emit published(mid);
}

bool MqttClient::isConnected() const
{
    return state == State::Connected;
}

int MqttClient::publish(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (state != State::Connected || !mosq)
        return -1;
    const QByteArray name = topic.toUtf8();
    int mid = 0;
    const int rc = mosquitto_publish(mosq, &mid, name.constData(), payload.size(),
                                     payload.constData(), qos, retain);
    watchSocket();
    // A QoS 0 message may be out already; its published() must not come before the id.
    if (!events.isEmpty())
        scheduleSettle();
    return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

QString MqttClient::hostPort() const
{
    return options.host + QLatin1Char(':') + QString::number(options.port);
}

QString MqttClient::lastError() const
{
    return error;
}

int MqttClient::nextRetryMs() const
{
    return retryTimer.isActive() ? retryTimer.interval() : backoffMs;
}

void MqttClient::onConnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (rc == 0)
        client->events.append({Event::Accepted, 0});
    else
        client->refusal = MqttReason::refused(rc);
}

void MqttClient::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    client->lossErrno = errno;
    client->events.append({Event::Lost, rc});
}

void MqttClient::onPublish(mosquitto *, void *self, int mid)
{
    static_cast<MqttClient *>(self)->events.append({Event::Published, mid});
}

void MqttClient::onLog(mosquitto *, void *self, int level, const char *text)
{
    auto *client = static_cast<MqttClient *>(self);
    if (client->tlsError.isEmpty())
        client->tlsError = tlsComplaint(level, text);
}

void MqttClient::attempt()
{
    dropSession(false);
    // One at a time: the attempt is made again when the lookup still in flight ends.
    if (lookup)
        return;
    refusal.clear();
    tlsError.clear();
    lossErrno = 0;
    QString reason;
    if (!configure(&reason)) {
        dropSession(false);
        failed(reason, true);
        return;
    }
    lookup = std::make_shared<Lookup>();
    lookup->client = this;
    lookup->mosq = std::exchange(mosq, nullptr);
    lookup->host = options.host.toUtf8();
    lookup->port = options.port;
    lookup->keepAliveSeconds = options.keepAliveSeconds;
    // Until it is handed back, nothing it calls may reach this object.
    mosquitto_user_data_set(lookup->mosq, lookup.get());
    mosquitto_log_callback_set(lookup->mosq, &Lookup::onLog);
    lookupWanted = true;
    state = State::Connecting;
    try {
        std::thread(&MqttClient::connectAside, lookup).detach();
    } catch (const std::system_error &threadError) {
        lookup.reset();
        failed(tr("无法启动连接线程：%1").arg(QString::fromLocal8Bit(threadError.what())), false);
    }
}

// On the lookup's own thread. Not the blocking mosquitto_connect: the name is all that may
// hang here, while a broker that does not answer is timed out by tick() as before.
void MqttClient::connectAside(std::shared_ptr<Lookup> lookup)
{
    errno = 0;
    lookup->rc = mosquitto_connect_async(lookup->mosq, lookup->host.constData(), lookup->port,
                                         lookup->keepAliveSeconds);
    lookup->number = errno;
    std::lock_guard<std::mutex> lock(lookup->mutex);
    // A client destroyed after this drops the event, and with it the lookup and its object.
    if (MqttClient *client = lookup->client)
        QMetaObject::invokeMethod(client, [client, lookup]() { client->lookedUp(lookup); },
                                  Qt::QueuedConnection);
}

void MqttClient::lookedUp(const std::shared_ptr<Lookup> &done)
{
    lookup.reset();
    if (!lookupWanted) {
        // Stopped or restarted meanwhile; the new options' attempt may have come due.
        if (state == State::Waiting && !retryTimer.isActive())
            attempt();
        return;
    }
    adopt(std::exchange(done->mosq, nullptr));
    tlsError = done->tlsError;
    if (done->rc != MOSQ_ERR_SUCCESS) {
        const QString reason = MqttReason::lost(done->rc, done->number, tlsError);
        dropSession(false);
        failed(reason, done->rc == MOSQ_ERR_TLS);
        return;
    }
    attemptClock.start();
    miscTimer.start();
    settle();
}

void MqttClient::adopt(mosquitto *handedBack)
{
    mosq = handedBack;
    mosquitto_user_data_set(mosq, this);
    mosquitto_connect_callback_set(mosq, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(mosq, &MqttClient::onDisconnect);
    mosquitto_publish_callback_set(mosq, &MqttClient::onPublish);
    mosquitto_log_callback_set(mosq, &MqttClient::onLog);
}

bool MqttClient::configure(QString *reason)
{
    const QByteArray id = options.clientId.toUtf8();
    mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, nullptr);
    if (!mosq) {
        *reason = tr("连接库无法启动：%1").arg(MqttReason::lost(MOSQ_ERR_ERRNO, errno, QString()));
        return false;
    }
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Each message at once: left to Nagle, small ones wait up to 40 ms for company.
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);

    if (!options.user.isEmpty()) {
        const QByteArray user = options.user.toUtf8();
        QByteArray password = options.password.toUtf8();
        const int rc = mosquitto_username_pw_set(
            mosq, user.constData(), options.password.isEmpty() ? nullptr : password.constData());
        password.fill('\0');
        if (rc != MOSQ_ERR_SUCCESS) {
            *reason = tr("用户名不被接受：%1").arg(MqttReason::lost(rc, 0, QString()));
            return false;
        }
    }
    if (!options.willTopic.isEmpty()) {
        const QByteArray topic = options.willTopic.toUtf8();
        const int rc = mosquitto_will_set(mosq, topic.constData(), options.willPayload.size(),
                                          options.willPayload.constData(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS) {
            *reason = tr("遗嘱消息不被接受：%1").arg(MqttReason::lost(rc, 0, QString()));
            return false;
        }
    }
    if (options.tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (options.caFile.isEmpty()) {
            // Still verified: against the authorities the system trusts.
            rc = mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        } else {
            rc = mosquitto_tls_set(mosq, QFile::encodeName(options.caFile).constData(), nullptr,
                                   nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS) {
                *reason = tr("CA 文件无法读取：%1").arg(options.caFile);
                return false;
            }
        }
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_tls_opts_set(mosq, kVerifyPeer, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *reason = tr("TLS 不可用：%1").arg(MqttReason::lost(rc, 0, QString()));
            return false;
        }
    }
    return true;
}

void MqttClient::settle()
{
    // A slot that publishes lands here again; the outer call goes on with the new events.
    if (settling)
        return;
    settling = true;
    watchSocket();
    while (!events.isEmpty()) {
        const Event event = events.takeFirst();
        switch (event.kind) {
        case Event::Accepted:
            state = State::Connected;
            backoffMs = kFirstRetryMs;
            error.clear();
            lastLogged.clear();
            log(QStringLiteral("connected to %1").arg(hostPort()));
            emit connected();
            break;
        case Event::Published:
            emit published(event.code);
            break;
        case Event::Lost: {
            const bool refused = !refusal.isEmpty() || event.code == MOSQ_ERR_TLS;
            const QString reason = lossReason(event.code);
            dropSession(false);
            failed(reason, refused);
            break;
        }
        }
        watchSocket();
    }
    settling = false;
}

void MqttClient::settleAfter(int rc)
{
    // A refused TLS handshake closes the socket and says so only by the return code.
    if (rc != MOSQ_ERR_SUCCESS && mosq) {
        const bool told = std::any_of(events.cbegin(), events.cend(),
                                      [](const Event &event) { return event.kind == Event::Lost; });
        if (!told) {
            lossErrno = errno;
            events.append({Event::Lost, rc});
        }
    }
    settle();
}

void MqttClient::scheduleSettle()
{
    if (settleQueued)
        return;
    settleQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this]() {
            settleQueued = false;
            settle();
        },
        Qt::QueuedConnection);
}

void MqttClient::watchSocket()
{
    const int fd = mosq ? mosquitto_socket(mosq) : -1;
    // The library closes its socket inside a loop call when the link fails; a notifier must
    // not outlive it, or a new socket under the same number.
    if (readNotifier && readNotifier->socket() != fd)
        dropNotifiers();
    if (fd < 0)
        return;
    if (!readNotifier) {
        readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(readNotifier, &QSocketNotifier::activated, this, [this]() {
            settleAfter(mosq ? mosquitto_loop_read(mosq, 1) : MOSQ_ERR_SUCCESS);
        });
        writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        connect(writeNotifier, &QSocketNotifier::activated, this, [this]() {
            settleAfter(mosq ? mosquitto_loop_write(mosq, 1) : MOSQ_ERR_SUCCESS);
        });
    }
    writeNotifier->setEnabled(mosquitto_want_write(mosq));
}

void MqttClient::dropNotifiers()
{
    for (QSocketNotifier *notifier : {readNotifier, writeNotifier}) {
        if (!notifier)
            continue;
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    readNotifier = nullptr;
    writeNotifier = nullptr;
}

void MqttClient::dropSession(bool politely)
{
    miscTimer.stop();
    lookupWanted = false;
    dropNotifiers();
    if (mosq) {
        if (politely && state == State::Connected)
            mosquitto_disconnect(mosq);
        mosquitto_destroy(mosq);
        mosq = nullptr;
    }
    events.clear();
}

void MqttClient::tick()
{
    if (!mosq)
        return;
    const int limitSeconds = qMax(options.keepAliveSeconds, 5);
    if (state == State::Connecting && attemptClock.elapsed() >= limitSeconds * 1000) {
        dropSession(false);
        failed(tr("代理在 %1 秒内无应答").arg(limitSeconds), false);
        return;
    }
    settleAfter(mosquitto_loop_misc(mosq));
}

void MqttClient::failed(const QString &reason, bool refused)
{
    const bool wasConnected = state == State::Connected;
    state = State::Waiting;
    error = reason;
    const QString line = (refused ? QStringLiteral("refused by %1: %2")
                                  : QStringLiteral("disconnected from %1: %2"))
                             .arg(hostPort(), reason);
    if (wasConnected || line != lastLogged) {
        log(line);
        lastLogged = line;
    }
    retryTimer.start(jittered(backoffMs));
    backoffMs = nextBackoff(backoffMs);
    emit disconnected(reason);
}

QString MqttClient::lossReason(int rc) const
{
    if (!refusal.isEmpty())
        return refusal;
    return MqttReason::lost(rc, lossErrno, tlsError);
}

void MqttClient::log(const QString &event) const
{
    ServiceLog::write("mqtt", event);
}
