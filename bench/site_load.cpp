// Publishing at site scale: N stations, each the station's own MQTT client and message
// builders fed by synthetic readings, against a local mosquitto; a consumer of kestro/#
// matches every message it receives with the moment it was sent. Figures only; never fails
// on time.
//   bench_site_load [--seconds S] [--threads T] [--consumers C] [--nodelay] [N ...]
//   (default: 20 s, 2 threads, 1 consumer, N = 10 100 500; consumers beyond the first only
//   count what they receive; --nodelay: the broker and the consumers send each message at
//   once instead of leaving small writes to the kernel to gather)
//
// A station here behaves as a linked one does: at each connect its status, link, active
// alarms and all 200 devices (retained); then every second the devices whose readings
// changed (a tenth of them, drifting), and the link counters every 10 s. The stations share
// T threads of this process, each with its own Qt event loop; each consumer runs on a
// libmosquitto thread of its own, the broker is a process of its own. Payloads are the real
// ones: a message is known again by its topic and payload, which differ by value and time.

#include "site/mqttclient.h"
#include "site/sitemessages.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <numeric>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDevices = 200;
constexpr int kChangedPerSecond = kDevices / 10;
constexpr int kLinkEverySeconds = 10;
constexpr int kInitialMessages = 3 + kDevices;   // status, link, active alarms, the devices
constexpr int kSettleMs = 2000;
constexpr int kGraceMs = 2000;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 clockNs(clockid_t clock)
{
    timespec time{};
    if (clock_gettime(clock, &time) != 0)
        return 0;
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

QByteArray messageKey(const QByteArray &topic, const QByteArray &payload)
{
    return topic + '\0' + payload;
}

// What was sent and when, until the consumer sees it. Sharded: every publisher thread and
// the consumer meet here.
class SendLog
{
public:
    struct Sent
    {
        qint64 ns;
        bool initial;
    };

    void add(const QByteArray &key, const Sent &sent)
    {
        Shard &shard = shardOf(key);
        std::lock_guard<std::mutex> hold(shard.lock);
        shard.entries[key].append(sent);
    }
    void forget(const QByteArray &key)
    {
        Sent ignored{};
        take(key, &ignored);
    }
    // The same message may go twice (again at a reconnect): first sent, first seen.
    bool take(const QByteArray &key, Sent *sent)
    {
        Shard &shard = shardOf(key);
        std::lock_guard<std::mutex> hold(shard.lock);
        const auto found = shard.entries.find(key);
        if (found == shard.entries.end())
            return false;
        *sent = found->takeFirst();
        if (found->isEmpty())
            shard.entries.erase(found);
        return true;
    }

private:
    struct Shard
    {
        std::mutex lock;
        QHash<QByteArray, QVector<Sent>> entries;
    };
    Shard &shardOf(const QByteArray &key) { return shards[qHash(key) % shards.size()]; }

    std::array<Shard, 64> shards;
};

// One run's shared counters. The window is fixed before it opens, so both sides judge each
// message alone.
struct Tally
{
    SendLog log;
    std::atomic<qint64> windowStart{std::numeric_limits<qint64>::max()};
    std::atomic<qint64> windowEnd{std::numeric_limits<qint64>::max()};
    std::atomic<int> connectedNow{0};
    std::atomic<int> everConnected{0};
    std::atomic<qint64> lastConnectNs{0};
    std::atomic<qint64> sentInWindow{0};
    std::atomic<qint64> matchedFromWindow{0};
    std::atomic<qint64> receivedInWindow{0};
    std::atomic<qint64> unmatchedInWindow{0};
    std::atomic<qint64> initialMatched{0};
    std::atomic<qint64> lastInitialNs{0};
    std::mutex latencyLock;
    std::vector<double> latenciesMs;

    bool inWindow(qint64 ns) const { return ns >= windowStart && ns < windowEnd; }
};

template <typename T>
void raiseTo(std::atomic<T> &value, T candidate)
{
    T seen = value.load();
    while (candidate > seen && !value.compare_exchange_weak(seen, candidate)) {
    }
}

// A station's publishing: what a linked station sends, from synthetic readings.
class Station : public QObject
{
public:
    Station(int index, int port, Tally *counts, QObject *parent)
        : QObject(parent), tally(counts), client(new MqttClient(this)),
          random(quint32(index) * 7919u + 1)
    {
        name = QStringLiteral("st%1").arg(index, 4, 10, QLatin1Char('0'));
        options.host = QStringLiteral("127.0.0.1");
        options.port = port;
        options.clientId = QStringLiteral("kestro-") + name;
        options.willTopic = topic(QStringLiteral("status"));
        options.willPayload = SiteMessages::status(false, QDateTime());
        for (int number = 1; number <= kDevices; ++number) {
            SiteMessages::DeviceSnapshot device;
            device.device = number;
            device.name = QStringLiteral("出线柜%1").arg(number);
            device.location = QStringLiteral("%1号配电室").arg((number - 1) / 20 + 1);
            device.temperature = float(25 + random.bounded(300) / 10.0);
            device.voltage = 3000 + random.bounded(600);
            device.current = float(random.bounded(5000) / 100.0);
            device.online = true;
            device.status = QStringLiteral("在线");
            devices.append(device);
        }
        order.resize(kDevices);
        std::iota(order.begin(), order.end(), 0);
        ticker.setInterval(1000);
        connect(&ticker, &QTimer::timeout, this, &Station::tick);
        connect(client, &MqttClient::connected, this, &Station::connected);
        connect(client, &MqttClient::disconnected, this, [this]() {
            ticker.stop();
            if (online) {
                online = false;
                --this->tally->connectedNow;
            }
        });
    }

    void start() { client->start(options); }
    void stop()
    {
        ticker.stop();
        client->stop(topic(QStringLiteral("status")), SiteMessages::status(false, QDateTime()), 200);
    }

private:
    QString topic(const QString &leaf) const { return SiteMessages::topic(QStringLiteral("kestro"), name, leaf); }

    void connected()
    {
        online = true;
        ++tally->connectedNow;
        ++tally->everConnected;
        raiseTo(tally->lastConnectNs, nowNs());
        const QDateTime now = QDateTime::currentDateTime();
        send(QStringLiteral("status"), SiteMessages::status(true, now), 1, true);
        sendLink(now, true);
        send(QStringLiteral("alarms/active"), SiteMessages::activeAlarms(0, 0, {}), 1, true);
        for (const SiteMessages::DeviceSnapshot &device : qAsConst(devices))
            send(SiteMessages::deviceLeaf(device.device), SiteMessages::device(device, now), 0, true);
        // Stations are not in step with one another.
        QTimer::singleShot(int(random.bounded(1000)), this, [this]() {
            if (online)
                ticker.start();
        });
    }

    void tick()
    {
        const QDateTime now = QDateTime::currentDateTime();
        ++seconds;
        counters.validAnswers += 1;   // a polling cycle answers about once a second
        std::shuffle(order.begin(), order.end(), random);
        for (int i = 0; i < kChangedPerSecond; ++i) {
            SiteMessages::DeviceSnapshot &device = devices[order[i]];
            const int step = int(random.bounded(1, 6)) * (random.bounded(2) ? 1 : -1);
            device.temperature = float(std::round(device.temperature * 10 + step) / 10);
            device.voltage += step;
            device.current = float(std::max(0.0, std::round(double(device.current) * 100 + step) / 100));
            send(SiteMessages::deviceLeaf(device.device), SiteMessages::device(device, now), 0, false);
        }
        if (seconds % kLinkEverySeconds == 0)
            sendLink(now, false);
    }

    void sendLink(const QDateTime &now, bool initial)
    {
        send(QStringLiteral("link"),
             SiteMessages::link(SiteMessages::linkStateName(LinkState::Answering),
                                QStringLiteral("/dev/ttyUSB0"), counters, now),
             1, initial);
    }

    void send(const QString &leaf, const QByteArray &payload, int qos, bool initial)
    {
        const QString fullTopic = topic(leaf);
        const QByteArray key = messageKey(fullTopic.toUtf8(), payload);
        const qint64 ns = nowNs();
        // Logged first: the consumer may see it before publish() returns.
        tally->log.add(key, {ns, initial});
        if (client->publish(fullTopic, payload, qos, true) < 0) {
            tally->log.forget(key);
            return;
        }
        if (tally->inWindow(ns))
            ++tally->sentInWindow;
    }

    Tally *tally;
    MqttClient *client;
    MqttOptions options;
    QString name;
    QRandomGenerator random;
    QVector<SiteMessages::DeviceSnapshot> devices;
    std::vector<int> order;
    LinkCounters counters;
    QTimer ticker;
    int seconds = 0;
    bool online = false;
};

// The stations of one thread, made and ended on that thread.
class Fleet : public QObject
{
public:
    void start(const QVector<int> &indices, int port, Tally *tally)
    {
        pthread_getcpuclockid(pthread_self(), &cpuClock);
        for (const int index : indices)
            stations.append(new Station(index, port, tally, this));
        for (Station *station : qAsConst(stations))
            station->start();
    }
    void stop()
    {
        for (Station *station : qAsConst(stations))
            station->stop();
        qDeleteAll(stations);
        stations.clear();
    }
    clockid_t cpuClock{};

private:
    QVector<Station *> stations;
};

// A consumer of the whole site, as a control room would run one. Without a tally it only
// counts, as a further consumer loading the broker.
class Subscriber
{
public:
    Subscriber(Tally *counts, bool noDelay, int number) : tally(counts)
    {
        const QByteArray id = "site-load-consumer-" + QByteArray::number(number);
        mosq = mosquitto_new(id.constData(), true, this);
        mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, noDelay ? 1 : 0);
        mosquitto_connect_callback_set(mosq, [](mosquitto *m, void *self, int rc) {
            auto *subscriber = static_cast<Subscriber *>(self);
            pthread_getcpuclockid(pthread_self(), &subscriber->cpuClock);
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, "kestro/#", 1);
        });
        mosquitto_subscribe_callback_set(mosq, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<Subscriber *>(self)->subscribed = true;
        });
        mosquitto_message_callback_set(mosq, [](mosquitto *, void *self, const mosquitto_message *message) {
            static_cast<Subscriber *>(self)->received(message);
        });
    }
    ~Subscriber()
    {
        mosquitto_disconnect(mosq);
        mosquitto_loop_stop(mosq, false);
        mosquitto_destroy(mosq);
    }
    bool start(int port)
    {
        return mosquitto_connect(mosq, "127.0.0.1", port, 60) == MOSQ_ERR_SUCCESS
               && mosquitto_loop_start(mosq) == MOSQ_ERR_SUCCESS;
    }
    std::atomic<bool> subscribed{false};
    std::atomic<qint64> count{0};
    clockid_t cpuClock{};

private:
    void received(const mosquitto_message *message)
    {
        ++count;
        if (!tally)
            return;
        const qint64 ns = nowNs();
        const QByteArray key = messageKey(
            QByteArray(message->topic),
            QByteArray::fromRawData(static_cast<const char *>(message->payload), message->payloadlen));
        const bool counted = tally->inWindow(ns);
        if (counted)
            ++tally->receivedInWindow;
        SendLog::Sent sent{};
        if (!tally->log.take(key, &sent)) {
            if (counted)
                ++tally->unmatchedInWindow;
            return;
        }
        if (sent.initial) {
            ++tally->initialMatched;
            raiseTo(tally->lastInitialNs, ns);
        }
        if (!tally->inWindow(sent.ns))
            return;
        // Judged by when it was sent: the slowest would otherwise fall out at the window's end.
        ++tally->matchedFromWindow;
        std::lock_guard<std::mutex> hold(tally->latencyLock);
        tally->latenciesMs.push_back((ns - sent.ns) / 1e6);
    }

    Tally *tally;
    mosquitto *mosq = nullptr;
};

qint64 brokerCpuTicks(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = file.readAll();
    // The command name may hold blanks; the fields counted here start after its ')'.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return fields[11].toLongLong() + fields[12].toLongLong();   // utime, stime
}

struct MachineTicks
{
    qint64 busy = 0;
    qint64 total = 0;
};

MachineTicks machineTicks()
{
    QFile file(QStringLiteral("/proc/stat"));
    MachineTicks ticks;
    if (!file.open(QIODevice::ReadOnly))
        return ticks;
    const QList<QByteArray> fields = file.readLine().simplified().split(' ');
    for (int i = 1; i < fields.size(); ++i) {
        const qint64 value = fields[i].toLongLong();
        ticks.total += value;
        if (i != 4 && i != 5)   // idle, iowait
            ticks.busy += value;
    }
    return ticks;
}

qint64 processCpuNs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000000000
           + (qint64(usage.ru_utime.tv_usec) + usage.ru_stime.tv_usec) * 1000;
}

// Resident memory in MB: the broker keeps every retained message.
double residentMb(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).simplified().split(' ').value(0).toDouble() / 1024;
    }
    return 0;
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "?";
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.mid(0, 3).join(' ');
}

void waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// One wake-up only: the window's figures include this process.
void sleepMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(const std::vector<double> &sorted, double fraction)
{
    if (sorted.empty())
        return std::nan("");
    const auto at = std::min(sorted.size() - 1, size_t(fraction * double(sorted.size())));
    return sorted[at];
}

// The stations' log lines (one per connect) would drown the figures; they go to a file,
// and only what is not a plain connect is shown.
class QuietStderr
{
public:
    QuietStderr()
    {
        std::fflush(stderr);
        saved = dup(STDERR_FILENO);
        if (!dir.isValid())
            return;
        path = dir.filePath(QStringLiteral("stations.log"));
        std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "w");
        if (file) {
            dup2(fileno(file), STDERR_FILENO);
            std::fclose(file);
        }
    }
    ~QuietStderr() { restore(); }
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        saved = -1;
    }
    // Lines other than "connected to", at most a few of them, and how many there were.
    QList<QByteArray> unusual(int *count)
    {
        QFile file(path);
        QList<QByteArray> lines;
        *count = 0;
        if (!file.open(QIODevice::ReadOnly))
            return lines;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.isEmpty() || line.contains(" mqtt: connected to ")
                || line.contains(": stopped"))
                continue;
            if (++*count <= 5)
                lines.append(line);
        }
        return lines;
    }

private:
    QTemporaryDir dir;
    QString path;
    int saved = -1;
};

void raiseFileLimit(int stations)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    // Each station holds one socket here and one in the broker, which inherits the limit.
    const rlim_t wanted = rlim_t(stations) + 256;
    if (limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < wanted)
        std::printf("  note: open files limited to %llu\n", static_cast<unsigned long long>(limit.rlim_cur));
}

void run(int stations, int seconds, int threadCount, int consumers, bool noDelay)
{
    std::printf("== %d stations, %d s window; %d publisher threads in this process, %d consumer%s "
                "of kestro/# (a thread each), mosquitto in its own process%s\n",
                stations, seconds, threadCount, consumers, consumers > 1 ? "s" : "",
                noDelay ? ", set_tcp_nodelay" : "");
    std::fflush(stdout);
    raiseFileLimit(stations);
    Broker broker;
    QString error;
    QStringList config{QStringLiteral("max_connections -1"), QStringLiteral("persistence false")};
    if (noDelay)
        config += QStringLiteral("set_tcp_nodelay true");
    if (!broker.start(&error, config)) {
        std::printf("  broker: %s\n", qPrintable(error));
        return;
    }
    Tally tally;
    Subscriber subscriber(&tally, noDelay, 1);
    std::vector<std::unique_ptr<Subscriber>> others;
    for (int number = 2; number <= consumers; ++number)
        others.emplace_back(new Subscriber(nullptr, noDelay, number));
    bool started = subscriber.start(broker.port());
    for (const auto &other : others)
        started = started && other->start(broker.port());
    if (!started) {
        std::printf("  a consumer cannot connect\n");
        return;
    }
    waitUntil([&]() {
        return subscriber.subscribed
               && std::all_of(others.begin(), others.end(), [](const auto &other) { return other->subscribed.load(); });
    }, 5000);

    QuietStderr quiet;
    std::vector<std::unique_ptr<QThread>> threads;
    std::vector<std::unique_ptr<Fleet>> fleets;
    const qint64 brokerStart = brokerCpuTicks(broker.pid());
    const qint64 startNs = nowNs();
    for (int t = 0; t < threadCount; ++t) {
        QVector<int> indices;
        for (int index = t + 1; index <= stations; index += threadCount)
            indices.append(index);
        threads.emplace_back(new QThread);
        fleets.emplace_back(new Fleet);
        Fleet *fleet = fleets.back().get();
        fleet->moveToThread(threads.back().get());
        threads.back()->start();
        const int port = broker.port();
        Tally *shared = &tally;
        QMetaObject::invokeMethod(fleet, [fleet, indices, port, shared]() { fleet->start(indices, port, shared); },
                                  Qt::BlockingQueuedConnection);
    }
    // The connect storm ends when every station's first messages are in, or when no more
    // come: a consumer that falls behind loses QoS 0 messages at the broker.
    const qint64 expectedInitial = qint64(stations) * kInitialMessages;
    qint64 initialBefore = -1;
    qint64 brokerStorm = 0;
    QElapsedTimer stalled;
    waitUntil([&]() {
        if (tally.initialMatched != initialBefore || tally.everConnected < stations) {
            initialBefore = tally.initialMatched;
            brokerStorm = brokerCpuTicks(broker.pid()) - brokerStart;
            stalled.start();
        }
        return (tally.everConnected >= stations && tally.initialMatched >= expectedInitial)
               || stalled.elapsed() > 2000;
    }, 120000);
    const int connectedAtStart = tally.everConnected;
    const double connectS = std::max<qint64>(0, tally.lastConnectNs - startNs) / 1e9;
    const double deliveredS = std::max<qint64>(0, tally.lastInitialNs - startNs) / 1e9;
    const qint64 initialSeen = tally.initialMatched;

    sleepMs(kSettleMs);
    const qint64 windowStart = nowNs();
    tally.windowEnd = windowStart + qint64(seconds) * 1000000000;
    tally.windowStart = windowStart;
    const qint64 brokerBefore = brokerCpuTicks(broker.pid());
    const MachineTicks machineBefore = machineTicks();
    const qint64 processBefore = processCpuNs();
    std::vector<qint64> fleetBefore;
    for (const auto &fleet : fleets)
        fleetBefore.push_back(clockNs(fleet->cpuClock));
    const qint64 subscriberBefore = clockNs(subscriber.cpuClock);
    qint64 othersBefore = 0;
    for (const auto &other : others)
        othersBefore += other->count;
    const QByteArray loadBefore = loadAverage();

    sleepMs(seconds * 1000);
    const double windowS = (nowNs() - windowStart) / 1e9;
    const qint64 brokerTicks = brokerCpuTicks(broker.pid()) - brokerBefore;
    const MachineTicks machineAfter = machineTicks();
    const double processS = (processCpuNs() - processBefore) / 1e9;
    double fleetS = 0;
    for (size_t i = 0; i < fleets.size(); ++i)
        fleetS += (clockNs(fleets[i]->cpuClock) - fleetBefore[i]) / 1e9;
    const double subscriberS = (clockNs(subscriber.cpuClock) - subscriberBefore) / 1e9;
    qint64 othersReceived = -othersBefore;
    for (const auto &other : others)
        othersReceived += other->count;
    const int connectedAtEnd = tally.connectedNow;
    const double brokerMb = residentMb(broker.pid());
    sleepMs(kGraceMs);

    for (size_t i = 0; i < fleets.size(); ++i) {
        Fleet *fleet = fleets[i].get();
        QMetaObject::invokeMethod(fleet, [fleet]() { fleet->stop(); }, Qt::BlockingQueuedConnection);
        threads[i]->quit();
        threads[i]->wait();
    }
    quiet.restore();
    int unusualCount = 0;
    const QList<QByteArray> unusual = quiet.unusual(&unusualCount);

    std::vector<double> latencies;
    {
        std::lock_guard<std::mutex> hold(tally.latencyLock);
        latencies = tally.latenciesMs;
    }
    std::sort(latencies.begin(), latencies.end());
    const double tick = double(sysconf(_SC_CLK_TCK));
    const qint64 machineTotal = machineAfter.total - machineBefore.total;
    const int cores = std::max(1, QThread::idealThreadCount());

    std::printf("  connected: %d of %d, the last %.2f s after the start; of their %lld retained "
                "messages (status, link, active alarms, %d devices each) the measuring consumer "
                "saw %lld, the last after %.2f s; broker CPU until then %.2f s\n",
                connectedAtStart, stations, connectS, static_cast<long long>(expectedInitial), kDevices,
                static_cast<long long>(initialSeen), deliveredS, brokerStorm / tick);
    std::printf("  window %.1f s: %d stations connected at its end; %.0f messages/s received "
                "(%lld sent in it, %lld of them not seen, %lld received unmatched)\n",
                windowS, connectedAtEnd, tally.receivedInWindow / windowS,
                static_cast<long long>(tally.sentInWindow.load()),
                static_cast<long long>(tally.sentInWindow - tally.matchedFromWindow),
                static_cast<long long>(tally.unmatchedInWindow.load()));
    if (!others.empty())
        std::printf("  each further consumer: %.0f messages/s received\n",
                    othersReceived / windowS / double(others.size()));
    std::printf("  end-to-end latency: p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms (%zu messages)\n",
                percentile(latencies, 0.50), percentile(latencies, 0.90), percentile(latencies, 0.99),
                latencies.empty() ? std::nan("") : latencies.back(), latencies.size());
    std::printf("  broker: %.2f %% of one core, %.0f MB resident\n", 100.0 * brokerTicks / tick / windowS, brokerMb);
    std::printf("  publishers: %.2f %% of one core, %.4f %% per station; measuring consumer's thread %.2f %%; "
                "this whole process %.2f %%\n",
                100.0 * fleetS / windowS, 100.0 * fleetS / windowS / stations,
                100.0 * subscriberS / windowS, 100.0 * processS / windowS);
    // Ticks of all cores together, so a share of one core is busy ticks over ticks per core.
    const double machineCores = machineTotal > 0 ? cores * double(machineAfter.busy - machineBefore.busy) / machineTotal : 0.0;
    const double ours = processS / windowS + brokerTicks / tick / windowS;
    std::printf("  machine: %d cores; everything on it used %.0f %% of one core in the window, this "
                "bench and its broker %.0f %%, all else %.0f %%; load average before: %s\n",
                cores, 100.0 * machineCores, 100.0 * ours, std::max(0.0, 100.0 * (machineCores - ours)),
                loadBefore.constData());
    if (unusualCount > 0) {
        std::printf("  %d station log lines other than connects, the first:\n", unusualCount);
        for (const QByteArray &line : unusual)
            std::printf("    %s\n", line.constData());
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    mosquitto_lib_init();
    int seconds = 20;
    int threads = 2;
    int consumers = 1;
    bool noDelay = false;
    QVector<int> counts;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == QLatin1String("--seconds") && i + 1 < args.size())
            seconds = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--threads") && i + 1 < args.size())
            threads = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--consumers") && i + 1 < args.size())
            consumers = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--nodelay"))
            ok = noDelay = true;
        else
            counts.append(args[i].toInt(&ok));
        if (!ok || seconds <= 0 || threads <= 0 || consumers <= 0 || (!counts.isEmpty() && counts.last() <= 0)) {
            std::fprintf(stderr, "usage: %s [--seconds S] [--threads T] [--consumers C] [--nodelay] [N ...]\n",
                         argv[0]);
            return 2;
        }
    }
    if (counts.isEmpty())
        counts = {10, 100, 500};
    for (const int count : qAsConst(counts))
        run(count, seconds, std::min(threads, count), consumers, noDelay);
    return 0;
}
