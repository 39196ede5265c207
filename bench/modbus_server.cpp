// The Modbus TCP server under a plant SCADA's load while the station polls the simulator at the
// standard pace: first a quiet phase, then 16 clients (threads of their own, plain sockets), each
// reading all 805 input registers in 7 requests 10 times a second. Prints for both phases how
// late the polling windows closed (a window should close its interval after it opened) and the
// station thread's CPU, and for the loaded one the answer time per request as a client sees it.
// Figures only; never fails on time.
//   bench_modbus_server [seconds]   (each phase; default 30)

#include "monitor/pollingcycle.h"
#include "scada/modbusserversettings.h"
#include "serial/concentratorlink.h"
#include "station/station.h"
#include "testsupport.h"
#include "threadcpu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kClients = 16;
constexpr int kRegisters = 805;
constexpr int kPerRequest = 125;

struct Tally
{
    std::mutex lock;
    std::vector<double> answerMs;
    int failures = 0;
};

bool receiveAll(int fd, unsigned char *into, size_t length)
{
    while (length > 0) {
        const ssize_t n = recv(fd, into, length, 0);
        if (n <= 0)
            return false;
        into += n;
        length -= size_t(n);
    }
    return true;
}

// One SCADA client: the whole map every 100 ms until told to stop.
void client(int port, const std::atomic<bool> &stop, Tally &tally)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(quint16(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::vector<double> answers;
    int failures = 0;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&server), sizeof server) != 0)
        failures = 1;
    quint16 transaction = 0;
    auto next = Clock::now();
    while (failures == 0 && !stop) {
        for (int start = 0; start < kRegisters && failures == 0; start += kPerRequest) {
            const int count = std::min(kPerRequest, kRegisters - start);
            ++transaction;
            const unsigned char request[12] = {
                quint8(transaction >> 8), quint8(transaction), 0, 0, 0, 6, 1, 4,
                quint8(start >> 8),       quint8(start),       0, quint8(count)};
            unsigned char answer[9 + 2 * kPerRequest];
            const auto sent = Clock::now();
            if (send(fd, request, sizeof request, 0) != ssize_t(sizeof request)
                || !receiveAll(fd, answer, size_t(9 + 2 * count)) || answer[7] != 4) {
                ++failures;
                break;
            }
            answers.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        }
        next += std::chrono::milliseconds(100);
        std::this_thread::sleep_until(next);
    }
    close(fd);
    std::lock_guard<std::mutex> hold(tally.lock);
    tally.answerMs.insert(tally.answerMs.end(), answers.begin(), answers.end());
    tally.failures += failures;
}

double percentile(const std::vector<double> &sorted, double fraction)
{
    if (sorted.empty())
        return std::nan("");
    return sorted[std::min(sorted.size() - 1, size_t(fraction * double(sorted.size())))];
}

// How late each polling window closed, and the station thread's CPU, over one phase.
struct Phase
{
    std::vector<double> lateMs;
    double cpuStartMs = 0;
    double cpuMs = 0;
    QElapsedTimer wall;
    double wallMs = 0;
    bool measuring = false;

    void begin()
    {
        lateMs.clear();
        cpuStartMs = threadCpuMs();
        wall.start();
        measuring = true;
    }
    void end()
    {
        cpuMs = threadCpuMs() - cpuStartMs;
        wallMs = double(wall.elapsed());
        measuring = false;
    }
    void print(const char *name) const
    {
        const double worst = lateMs.empty() ? 0 : *std::max_element(lateMs.begin(), lateMs.end());
        const auto over = std::count_if(lateMs.begin(), lateMs.end(), [](double ms) { return ms > 50; });
        std::printf("%s: %zu polling windows, the latest %.1f ms late, %ld more than 50 ms late; "
                    "station thread CPU %.2f %% of one core\n",
                    name, lateMs.size(), worst, long(over), 100.0 * cpuMs / wallMs);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    IsolatedSettings settings;
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 30;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds]\n", argv[0]);
        return 2;
    }
    PtyPair pty;
    Simulator simulator;
    QString error;
    if (!pty.start(&error) || !simulator.start(pty.concentratorEnd(), {"--seed", "7"}, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    ModbusServerSettings served;
    served.enabled = true;
    served.address = QStringLiteral("127.0.0.1");
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        served.port = probe.serverPort();
    }
    served.save();

    QTemporaryDir dataDir;
    Station station(dataDir.path(), nullptr);
    station.setConcentratorAddress(QStringLiteral("1"));
    station.start();
    if (!station.link()->open(pty.stationEnd())) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.stationEnd()));
        return 1;
    }

    Phase quiet, loaded;
    QElapsedTimer clock;
    clock.start();
    qint64 openedNs = -1;
    const auto *cycle = station.findChild<PollingCycle *>();
    QObject::connect(cycle, &PollingCycle::requestDue, [&]() { openedNs = clock.nsecsElapsed(); });
    QObject::connect(cycle, &PollingCycle::stepElapsed, [&]() {
        const double late = (clock.nsecsElapsed() - openedNs) / 1e6 - PollingCycle::kDefaultStepIntervalMs;
        for (Phase *phase : {&quiet, &loaded})
            if (phase->measuring && openedNs >= 0)
                phase->lateMs.push_back(late);
    });

    Tally tally;
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    const int warmUpMs = 3000;
    QTimer::singleShot(warmUpMs, [&]() { quiet.begin(); });
    QTimer::singleShot(warmUpMs + seconds * 1000, [&]() {
        quiet.end();
        for (int k = 0; k < kClients; ++k)
            clients.emplace_back(client, served.port, std::cref(stop), std::ref(tally));
        loaded.begin();
    });
    QTimer::singleShot(warmUpMs + 2 * seconds * 1000, [&]() {
        loaded.end();
        stop = true;
        app.quit();
    });
    app.exec();
    for (std::thread &thread : clients)
        thread.join();

    std::sort(tally.answerMs.begin(), tally.answerMs.end());
    std::printf("station polling the simulator at the standard pace, %d s per phase\n", seconds);
    quiet.print("without clients");
    loaded.print("16 clients, 805 registers 10 times a second each");
    std::printf("answers: %zu (%.0f a second), %d clients failed; per request p50 %.2f ms, "
                "p99 %.2f ms, max %.2f ms\n",
                tally.answerMs.size(), tally.answerMs.size() / (loaded.wallMs / 1000.0), tally.failures,
                percentile(tally.answerMs, 0.5), percentile(tally.answerMs, 0.99),
                tally.answerMs.empty() ? std::nan("") : tally.answerMs.back());
    return tally.failures == 0 ? 0 : 1;
}
