// How long an alarm takes, at each polling pace. The simulator, pacing its answers as 9600 baud
// does, switches device 5 between 70.0 and 85.0 ℃ every 11 s (limit 80 ℃) and says when it
// first serves each new value; the station, in this process, polls it and publishes to a local
// broker. A subscriber on its own thread and a reader of the journal on another note when each
// switch arrives. Prints the median and the maximum of: the first answer carrying the new value
// → journal row, → alarm event at the subscriber, and the change at the concentrator → device
// message at the subscriber. Figures only; never fails on time.
//   bench_alarm_latency [--switches N] [--pace standard|fast|both]   (default 12, both)

#include "app/mainwindow.h"
#include "serial/pollingpace.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSwitchEveryMs = 11000;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// When the simulator began a value, and when it first served it.
struct Served
{
    Clock::time_point since, at;
};

std::vector<Served> servedBy(Simulator &simulator)
{
    std::vector<Served> served;
    for (const QByteArray &line : simulator.output().split('\n')) {
        long long since = 0, at = 0;
        if (std::sscanf(line.constData(), "alternate %*d=%*d since %lld served %lld", &since,
                        &at) == 2)
            served.push_back({Clock::time_point(std::chrono::nanoseconds(since)),
                              Clock::time_point(std::chrono::nanoseconds(at))});
    }
    return served;
}

struct Arrival
{
    Clock::time_point at;
    QString what; // "journal 5温度异常", "alarm 5温度异常", "device 85.0"
};

class Arrivals
{
public:
    void add(const QString &what)
    {
        std::lock_guard<std::mutex> hold(lock);
        seen.push_back({Clock::now(), what});
    }
    // The first arrival of `what` not before `from`.
    bool first(const QString &what, Clock::time_point from, Clock::time_point *at) const
    {
        std::lock_guard<std::mutex> hold(lock);
        for (const Arrival &a : seen) {
            if (a.at >= from && a.what == what) {
                *at = a.at;
                return true;
            }
        }
        return false;
    }

private:
    mutable std::mutex lock;
    std::vector<Arrival> seen;
};

// The journal's new rows, looked for every 5 ms on a connection of this thread's own.
class JournalWatch
{
public:
    void start(const QString &databasePath, Arrivals *into)
    {
        worker = std::thread([this, databasePath, into]() {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                            QStringLiteral("watch"));
                db.setDatabaseName(databasePath);
                db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=0"));
                qint64 lastId = 0;
                while (!stopping) {
                    if (db.isOpen() || db.open()) {
                        QSqlQuery query(db);
                        query.prepare(QStringLiteral(
                            "SELECT id, text FROM alarm_journal WHERE id > ? ORDER BY id"));
                        query.addBindValue(lastId);
                        if (query.exec()) {
                            while (query.next()) {
                                lastId = query.value(0).toLongLong();
                                into->add("journal " + query.value(1).toString());
                            }
                        }
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("watch"));
        });
    }
    void stop()
    {
        stopping = true;
        if (worker.joinable())
            worker.join();
    }

private:
    std::atomic<bool> stopping{false};
    std::thread worker;
};

// Alarm events as their text, device 5's messages as its temperature.
class Subscriber
{
public:
    bool start(int port, Arrivals *into)
    {
        arrivals = into;
        client = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(client, [](mosquitto *, void *self, const mosquitto_message *m) {
            static_cast<Subscriber *>(self)->take(m);
        });
        if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
            return false;
        mosquitto_subscribe(client, nullptr, "kestro/bench/alarm", 1);
        mosquitto_subscribe(client, nullptr, "kestro/bench/device/005", 0);
        return mosquitto_loop_start(client) == MOSQ_ERR_SUCCESS;
    }
    ~Subscriber()
    {
        if (!client)
            return;
        mosquitto_disconnect(client);
        mosquitto_loop_stop(client, true);
        mosquitto_destroy(client);
    }

private:
    void take(const mosquitto_message *message)
    {
        const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
        const QJsonObject json = QJsonDocument::fromJson(payload).object();
        if (QByteArray(message->topic).endsWith("/alarm"))
            arrivals->add("alarm " + json.value(QStringLiteral("text")).toString());
        else
            arrivals->add("device " + QString::number(json.value("temperature").toDouble(), 'f', 1));
    }

    mosquitto *client = nullptr;
    Arrivals *arrivals = nullptr;
};

struct Figures
{
    std::vector<double> answerToJournal, answerToSubscriber, changeToSubscriber;
    int missing = 0;
};

void print(const char *label, std::vector<double> values)
{
    if (values.empty()) {
        std::printf("  %-28s none\n", label);
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("  %-28s median %7.1f ms  max %7.1f ms  (%zu)\n", label,
                values[values.size() / 2], values.back(), values.size());
}

bool runPace(QApplication &app, bool fast, int switches, int brokerPort)
{
    PollingPace pace;
    pace.fast = fast;
    pace.save();

    PtyPair pty;
    Simulator simulator;
    QString error;
    if (!pty.start(&error) ||
        !simulator.start(pty.concentratorEnd(),
                         {"--static", "--paced", "--alternate",
                          QStringLiteral("30405=700,850,%1").arg(kSwitchEveryMs)},
                         &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    Arrivals arrivals;
    Subscriber subscriber;
    if (!subscriber.start(brokerPort, &arrivals)) {
        std::fprintf(stderr, "the subscriber cannot reach the broker\n");
        return false;
    }
    QTemporaryDir dataDir;
    auto *window = new MainWindow(nullptr, dataDir.path());
    window->show();
    if (!openPortAsOperator(window, pty.stationEnd())) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.stationEnd()));
        return false;
    }
    JournalWatch watch;
    watch.start(QDir(dataDir.path()).filePath(QStringLiteral("kestro.db")), &arrivals);

    QTimer::singleShot(kSwitchEveryMs * switches + 12000, &app, &QApplication::quit);
    app.exec();
    watch.stop();
    delete window;

    Figures figures;
    const std::vector<Served> served = servedBy(simulator);
    for (int phase = 1; phase <= switches; ++phase) {
        const bool hot = phase % 2;
        const QString text = hot ? QStringLiteral("5温度异常") : QStringLiteral("5温度恢复正常");
        Clock::time_point at;
        if (phase >= static_cast<int>(served.size())) {
            figures.missing += 3;
            continue;
        }
        const Served &change = served[static_cast<size_t>(phase)];
        if (arrivals.first("journal " + text, change.at, &at))
            figures.answerToJournal.push_back(msBetween(change.at, at));
        else
            ++figures.missing;
        if (arrivals.first("alarm " + text, change.at, &at))
            figures.answerToSubscriber.push_back(msBetween(change.at, at));
        else
            ++figures.missing;
        if (arrivals.first(hot ? "device 85.0" : "device 70.0", change.since, &at))
            figures.changeToSubscriber.push_back(msBetween(change.since, at));
        else
            ++figures.missing;
    }

    std::printf("%s pace, %d switches of device 5 between 70.0 and 85.0 ℃ (limit 80):\n",
                fast ? "fast" : "standard", switches);
    print("answer -> journal row", figures.answerToJournal);
    print("answer -> subscriber (alarm)", figures.answerToSubscriber);
    print("change -> subscriber (device)", figures.changeToSubscriber);
    std::printf("  figures missing %d\n", figures.missing);
    return figures.missing == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    IsolatedSettings settings;
    QApplication app(argc, argv);
    int switches = 12;
    QString paces = QStringLiteral("both");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--switches"))
            switches = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--pace"))
            paces = args[i + 1];
    }
    if (switches < 1 || (paces != "both" && paces != "fast" && paces != "standard")) {
        std::fprintf(stderr, "usage: %s [--switches N] [--pace standard|fast|both]\n", argv[0]);
        return 2;
    }

    mosquitto_lib_init();
    Broker broker;
    QString error;
    if (!broker.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    publishToBroker(broker, QStringLiteral("bench"));

    bool complete = true;
    if (paces != QLatin1String("fast"))
        complete = runPace(app, false, switches, broker.port()) && complete;
    if (paces != QLatin1String("standard"))
        complete = runPace(app, true, switches, broker.port()) && complete;
    mosquitto_lib_cleanup();
    return complete ? 0 : 1;
}
