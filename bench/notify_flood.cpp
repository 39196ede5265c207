// Notifications in a flood: both channels on (a real SMTP server and a webhook receiver on
// loopback, the tests' own), then 600 alarms entering in one tick. Figures: that tick, the
// longest stall of the GUI thread while the channels send, and what each channel delivered and
// held back for its summary against the hourly cap (20).
//   bench_notify_flood [SECONDS]   (how long to watch the sending, default 20)

#include "app/mainwindow.h"
#include "bench/typedreadings.h"
#include "forms/panelcolumn.h"
#include "notify/notifysettings.h"
#include "station/station.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// One of the tests' servers, its port read from its "ready PORT" line.
int startServer(ChildProcess &process, const char *script, const QString &folder)
{
    process.start(QStringLiteral("/usr/bin/python3"), {QString::fromUtf8(script), folder});
    if (!process.waitForReadyRead(10000))
        return 0;
    const QByteArray said = process.readLine().trimmed();
    return said.startsWith("ready ") ? said.mid(6).toInt() : 0;
}

int filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files).size();
}

} // namespace

int main(int argc, char *argv[])
{
    IsolatedSettings isolated;
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QTemporaryDir dir;
    const QString mail = dir.filePath(QStringLiteral("mail"));
    const QString hook = dir.filePath(QStringLiteral("hook"));
    QDir().mkpath(mail);
    QDir().mkpath(hook);
    ChildProcess smtpServer, webhookReceiver;
    const int smtpPort = startServer(smtpServer, KESTRO_SMTPSERVER_PATH, mail);
    const int hookPort = startServer(webhookReceiver, KESTRO_WEBHOOK_PATH, hook);
    if (!smtpPort || !hookPort) {
        std::printf("the local SMTP server or webhook receiver did not start (python3-aiosmtpd?)\n");
        return 1;
    }

    MainWindow window(nullptr, dir.filePath(QStringLiteral("data")));
    window.setPollStepInterval(24 * 3600 * 1000);
    NotifySettings settings;
    settings.enabled = true;
    settings.smtpHost = QStringLiteral("127.0.0.1");
    settings.smtpPort = smtpPort;
    settings.smtpSecurity = QStringLiteral("none");
    settings.mailTo = QStringList{QStringLiteral("duty@site.example")};
    settings.webhookUrl = QStringLiteral("http://127.0.0.1:%1/hook").arg(hookPort);
    window.station()->applyNotifySettings(settings, QString(), QString());
    typeIntoAll(window, PanelPrefix::Temperature, QStringLiteral("25.5"));
    typeIntoAll(window, PanelPrefix::Voltage, QStringLiteral("3005"));
    typeIntoAll(window, PanelPrefix::Current, QStringLiteral("1.25"));
    window.evaluateNow();

    // A beat every 5 ms: the longest gap between two, less the 5 ms, is the longest stall.
    QElapsedTimer beat;
    qint64 longestGapNs = 0;
    QTimer beats;
    beats.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beats, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, beat.nsecsElapsed());
        beat.restart();
    });

    typeIntoAll(window, PanelPrefix::Temperature, QStringLiteral("95.5"));
    typeIntoAll(window, PanelPrefix::Voltage, QStringLiteral("2100"));
    typeIntoAll(window, PanelPrefix::Current, QStringLiteral("60.5"));
    QElapsedTimer clock;
    clock.start();
    window.evaluateNow();
    const double tickMs = clock.nsecsElapsed() / 1e6;
    beat.start();
    beats.start(5);
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();

    const QStringList held = databaseRows(dir.filePath(QStringLiteral("data")),
                                          QStringLiteral("SELECT count(*) FROM notify_outbox WHERE channel = 0 AND held_hour IS NOT NULL"
                                                         " UNION ALL SELECT count(*) FROM notify_outbox WHERE channel = 1 AND held_hour IS NOT NULL"));
    std::printf("600 alarms in one tick, both channels on: %.2f ms\n", tickMs);
    std::printf("longest GUI-thread stall over the next %d s of sending: %.2f ms\n", seconds,
                std::max<qint64>(0, longestGapNs - 5000000) / 1e6);
    std::printf("e-mail: %d sent, %s held for the hour's summary; webhook: %d posted, %s held (cap 20 per hour)\n",
                filesIn(mail), qPrintable(held.value(0)), filesIn(hook), qPrintable(held.value(1)));
    for (ChildProcess *server : {&smtpServer, &webhookReceiver}) {
        server->kill();
        server->waitForFinished(3000);
    }
    return 0;
}
