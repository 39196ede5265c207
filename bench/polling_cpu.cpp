// CPU the station spends polling the simulator, and the longest the GUI thread
// was held up meanwhile. Reports figures only; never fails on time.
//   bench_polling_cpu [seconds] [--site] [--fast] [--paced | --usb] [--steady]   (default 60)
// --site: the station also publishes everything to a local broker, started here.
// --fast: polls as fast as the line allows.
// --paced: the simulator sends its answers a byte at a time, as fast as 9600 baud carries them:
//          the worst case, a wake-up of the station for every byte.
// --usb: in pieces of 16 bytes every 17 ms, about 9600 baud as a USB adapter with the usual
//        16 ms latency timer hands them on.
// --steady: readings that do not change, as most sensors' between two polls; without it the
//           simulator moves every reading a little at every request.

#include "app/mainwindow.h"
#include "forms/panelcolumn.h"
#include "serial/concentratorlink.h"
#include "serial/pollingpace.h"
#include "site/sitesettings.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <ctime>

int main(int argc, char *argv[])
{
    // The station remembers the port it opened; keep that away from the real user.
    IsolatedSettings settings;
    QApplication app(argc, argv);
    int seconds = 60;
    bool site = false;
    bool fast = false;
    bool paced = false;
    bool usb = false;
    bool steady = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--site")
            site = true;
        else if (arg == "--fast")
            fast = true;
        else if (arg == "--paced")
            paced = true;
        else if (arg == "--usb")
            usb = true;
        else if (arg == "--steady")
            steady = true;
        else
            seconds = arg.toInt();
    }
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds] [--site] [--fast]\n", argv[0]);
        return 2;
    }
    PollingPace pace;
    pace.fast = fast;
    pace.save();
    Broker broker;
    if (site) {
        QString brokerError;
        if (!broker.start(&brokerError)) {
            std::fprintf(stderr, "%s\n", qPrintable(brokerError));
            return 1;
        }
        publishToBroker(broker, QStringLiteral("bench"));
    }

    PtyPair pty;
    Simulator simulator;
    QString error;
    QStringList simulatorOptions = {"--seed", "7"};
    if (steady)
        simulatorOptions << "--static";
    if (paced)
        simulatorOptions << "--paced";
    else if (usb)
        simulatorOptions << "--fault" << "chunks" << "--chunk-size" << "16" << "--chunk-gap-ms" << "17";
    if (!pty.start(&error) || !simulator.start(pty.concentratorEnd(), simulatorOptions, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    QTemporaryDir dataDir;
    MainWindow window(nullptr, dataDir.path());
    window.show();
    if (!openPortAsOperator(&window, pty.stationEnd())) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(pty.stationEnd()));
        return 1;
    }

    // Event-loop lateness: a 10 ms tick that arrives late means the GUI thread was busy.
    QElapsedTimer sinceTick;
    qint64 worstStallMs = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&]() {
        worstStallMs = qMax(worstStallMs, sinceTick.restart() - 10);
    });

    // CPU is measured first, without the probe; the probe then runs on its own.
    std::clock_t cpuStart = 0;
    double cpuSeconds = 0;
    double wallSeconds = 0;
    QElapsedTimer wall;
    const int warmUpMs = 3000;
    const int probeMs = qMin(seconds, 30) * 1000;
    int answersAtStart = 0;
    int answers = 0;
    QTimer::singleShot(warmUpMs, [&]() {
        cpuStart = std::clock();
        wall.start();
        answersAtStart = window.link()->counters().validAnswers;
    });
    QTimer::singleShot(warmUpMs + seconds * 1000, [&]() {
        cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        wallSeconds = wall.elapsed() / 1000.0;
        answers = window.link()->counters().validAnswers - answersAtStart;
        sinceTick.start();
        probe.start(10);
    });
    QTimer::singleShot(warmUpMs + seconds * 1000 + probeMs, [&]() { app.quit(); });
    app.exec();

    int online = 0;
    for (int device = 1; device <= PanelColumn::kDeviceCount; ++device) {
        if (panelField(&window, PanelPrefix::Status, device)->text() == QStringLiteral("在线"))
            ++online;
    }
    std::printf("polling the simulator for %.1f s of wall time\n", wallSeconds);
    std::printf("%s pace: %d valid answers, a cycle of 8 every %.2f s\n",
                fast ? "fast" : "standard", answers, answers ? 8 * wallSeconds / answers : 0.0);
    std::printf("station CPU: %.2f s = %.2f %% of one core\n", cpuSeconds,
                100.0 * cpuSeconds / wallSeconds);
    std::printf("longest GUI stall seen by a 10 ms probe over %d s: %lld ms\n", probeMs / 1000,
                static_cast<long long>(worstStallMs));
    std::printf("devices shown online at the end: %d of 200\n", online);
    return online > 0 ? 0 : 1;
}
