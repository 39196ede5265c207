// How long an alarm takes, at each polling pace. A concentrator of this bench's own, on a line
// paced as 9600 baud is, switches device 5 between 70.0 and 85.0 ℃ every 11 s (limit 80 ℃);
// the station, in this process, polls it and publishes to a local broker. A subscriber on its
// own thread and a reader of the journal on another note when each switch arrives. Prints the
// median and the maximum of: the first answer carrying the new value → journal row, → alarm
// event at the subscriber, and the change at the concentrator → device message at the
// subscriber. Figures only; never fails on time.
//   bench_alarm_latency [--switches N] [--pace standard|fast|both]   (default 12, both)

#include "app/mainwindow.h"
#include "serial/concentratorlink.h"
#include "serial/modbusframe.h"
#include "serial/pollingpace.h"
#include "site/sitesettings.h"
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
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSwitchEvery = std::chrono::seconds(11);
constexpr auto kByteTime = std::chrono::nanoseconds(1000000000LL * 10 / 9600);
constexpr int kDevice5TemperatureRegister = 30405;
constexpr int kNormal = 700; // 70.0 ℃
constexpr int kHot = 850;    // 85.0 ℃

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Device 5 at kNormal in even phases and kHot in odd ones; everything else steady and online.
class Concentrator
{
public:
    bool open(const QString &path)
    {
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        if (fd < 0)
            return false;
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
        return true;
    }
    void start()
    {
        began = Clock::now();
        worker = std::thread([this]() { serve(); });
    }
    void stop()
    {
        stopping = true;
        if (worker.joinable())
            worker.join();
        if (fd >= 0)
            ::close(fd);
    }
    Clock::time_point switchTime(int phase) const { return began + phase * kSwitchEvery; }
    static int valueIn(int phase) { return phase % 2 ? kHot : kNormal; }

    // When the first answer carrying phase k's value began to go out, for every phase seen.
    std::vector<Clock::time_point> served() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return firstServed;
    }
    std::vector<Clock::time_point> cycleStarts() const
    {
        std::lock_guard<std::mutex> hold(lock);
        return cycles;
    }

private:
    int phaseAt(Clock::time_point t) const
    {
        return static_cast<int>((t - began) / kSwitchEvery);
    }

    quint16 registerValue(int reg, int phase) const
    {
        if (reg == kDevice5TemperatureRegister)
            return static_cast<quint16>(valueIn(phase));
        if (reg < 30201)
            return 0x45;  // online
        if (reg < 30401)
            return 3600;  // mV
        if (reg < 30601)
            return 250;   // 25.0 ℃
        return 1000;      // 10.00 A
    }

    void serve()
    {
        QByteArray pending;
        while (!stopping) {
            pollfd pfd{fd, POLLIN, 0};
            if (poll(&pfd, 1, 50) <= 0)
                continue;
            char bytes[64];
            const ssize_t n = read(fd, bytes, sizeof bytes);
            if (n <= 0)
                continue;
            pending.append(bytes, static_cast<int>(n));
            while (pending.size() >= 8) {
                const QByteArray request = pending.left(8);
                if (ModbusFrame::crc16(request.constData(), 6) !=
                    (static_cast<quint8>(request[6]) | static_cast<quint8>(request[7]) << 8)) {
                    pending.remove(0, 1);
                    continue;
                }
                pending.remove(0, 8);
                answer((static_cast<quint8>(request[2]) << 8) | static_cast<quint8>(request[3]));
            }
        }
    }

    void answer(int start)
    {
        const Clock::time_point now = Clock::now();
        const int phase = phaseAt(now);
        QByteArray frame;
        frame.append(char(1)).append(char(4)).append(char(200));
        for (int k = 0; k < 100; ++k) {
            const quint16 value = registerValue(start + k, phase);
            frame.append(char(value >> 8)).append(char(value & 0xFF));
        }
        const quint16 crc = ModbusFrame::crc16(frame);
        frame.append(char(crc & 0xFF)).append(char(crc >> 8));
        {
            std::lock_guard<std::mutex> hold(lock);
            if (start == 30201)
                cycles.push_back(now);
            if (start == 30401 && static_cast<int>(firstServed.size()) == phase)
                firstServed.push_back(now);
        }
        for (int i = 0; i < frame.size() && !stopping; ++i) {
            std::this_thread::sleep_until(now + kByteTime * i);
            if (write(fd, frame.constData() + i, 1) != 1)
                return;
        }
    }

    int fd = -1;
    Clock::time_point began;
    std::atomic<bool> stopping{false};
    std::thread worker;
    mutable std::mutex lock;
    std::vector<Clock::time_point> firstServed;
    std::vector<Clock::time_point> cycles;
};

struct Arrival
{
    Clock::time_point at;
    QString what; // journal text, alarm event text, or device temperature as text
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
                                into->add(query.value(1).toString());
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
    bool start(int port, Arrivals *alarms, Arrivals *devices)
    {
        alarmArrivals = alarms;
        deviceArrivals = devices;
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
            alarmArrivals->add(json.value(QStringLiteral("text")).toString());
        else
            deviceArrivals->add(QString::number(json.value(QStringLiteral("temperature")).toDouble(), 'f', 1));
    }

    mosquitto *client = nullptr;
    Arrivals *alarmArrivals = nullptr;
    Arrivals *deviceArrivals = nullptr;
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
    QString error;
    Concentrator concentrator;
    if (!pty.start(&error) || !concentrator.open(pty.concentratorEnd())) {
        std::fprintf(stderr, "no line: %s\n", qPrintable(error));
        return false;
    }
    Arrivals journal, alarms, devices;
    Subscriber subscriber;
    if (!subscriber.start(brokerPort, &alarms, &devices)) {
        std::fprintf(stderr, "the subscriber cannot reach the broker\n");
        return false;
    }
    QTemporaryDir dataDir;
    auto *window = new MainWindow(nullptr, dataDir.path());
    window->show();
    concentrator.start();
    if (!openPortAsOperator(window, pty.stationEnd())) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.stationEnd()));
        return false;
    }
    JournalWatch watch;
    watch.start(QDir(dataDir.path()).filePath(QStringLiteral("kestro.db")), &journal);

    const int runMs = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(kSwitchEvery).count() * switches +
        12000);
    QTimer::singleShot(runMs, &app, &QApplication::quit);
    app.exec();
    watch.stop();
    concentrator.stop();
    const int validAnswers = window->link()->counters().validAnswers;
    delete window;

    Figures figures;
    const std::vector<Clock::time_point> served = concentrator.served();
    for (int phase = 1; phase <= switches; ++phase) {
        const QString text = phase % 2 ? QStringLiteral("5温度异常") : QStringLiteral("5温度恢复正常");
        const QString temperature = QString::number(Concentrator::valueIn(phase) / 10.0, 'f', 1);
        Clock::time_point at;
        if (phase >= static_cast<int>(served.size())) {
            ++figures.missing;
            continue;
        }
        const Clock::time_point answer = served[static_cast<size_t>(phase)];
        if (journal.first(text, answer, &at))
            figures.answerToJournal.push_back(msBetween(answer, at));
        else
            ++figures.missing;
        if (alarms.first(text, answer, &at))
            figures.answerToSubscriber.push_back(msBetween(answer, at));
        else
            ++figures.missing;
        if (devices.first(temperature, concentrator.switchTime(phase), &at))
            figures.changeToSubscriber.push_back(msBetween(concentrator.switchTime(phase), at));
        else
            ++figures.missing;
    }
    std::vector<double> cycles;
    const std::vector<Clock::time_point> starts = concentrator.cycleStarts();
    // From the second: the first window after opening runs its full length.
    for (size_t i = 2; i < starts.size(); ++i)
        cycles.push_back(msBetween(starts[i - 1], starts[i]));

    std::printf("%s pace, %d switches of device 5 between 70.0 and 85.0 ℃ (limit 80):\n",
                fast ? "fast" : "standard", switches);
    print("answer -> journal row", figures.answerToJournal);
    print("answer -> subscriber (alarm)", figures.answerToSubscriber);
    print("change -> subscriber (device)", figures.changeToSubscriber);
    print("polling cycle, from the 2nd", cycles);
    std::printf("  valid answers %d, switches without a figure %d\n", validAnswers,
                figures.missing);
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
