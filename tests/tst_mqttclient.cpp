#include "testsupport.h"

#include "site/mqttclient.h"

#include <QDir>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <ctime>
#ifdef Q_OS_LINUX
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

// The client against a real broker: what arrives, a crash, TLS, a wrong password, a mute name server.
class tst_mqttclient : public QObject
{
    Q_OBJECT

private slots:
    void deliversWhatWasPublished();
    void reconnectsAfterBrokerCrash();
    void verifiesTheBrokerCertificate();
    void wrongPasswordBacksOffQuietly();
    void reasonsAnOperatorUnderstands_data();
    void reasonsAnOperatorUnderstands();
    void windowKeepsTurningWhileTheLookupHangs();
};

namespace {

MqttOptions optionsFor(const Broker &broker)
{
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = broker.port();
    options.clientId = QStringLiteral("kestro-test");
    return options;
}

// Prints "<retain> <qos> <topic> <payload>" for each of `count` messages, then ends.
void subscribe(QProcess &process, const Broker &broker, int count)
{
    process.start(QStringLiteral("mosquitto_sub"),
                  QStringLiteral("-h 127.0.0.1 -q 1 -t kestro/# -W 5 -p %1 -C %2")
                          .arg(broker.port()).arg(count).split(QLatin1Char(' '))
                      + QStringList{QStringLiteral("-F"), QStringLiteral("%r %q %t %p")});
}

bool shell(const QString &folder, const QString &script)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("sh"), {QStringLiteral("-ec"), script});
    const bool ok = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    if (!ok)
        qWarning().noquote() << process.readAll();
    return ok;
}

} // namespace

void tst_mqttclient::deliversWhatWasPublished()
{
    Broker broker;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    MqttClient client;
    QSignalSpy published(&client, &MqttClient::published);
    client.start(optionsFor(broker));
    QCOMPARE(client.publish(QStringLiteral("kestro/s1/status"), "early", 1, true), -1);
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 3000);
    QCOMPARE(client.hostPort(), QStringLiteral("127.0.0.1:%1").arg(broker.port()));

    const int retainedMid = client.publish(QStringLiteral("kestro/s1/status"), "{\"online\":true}", 1, true);
    QVERIFY(retainedMid > 0);
    QTRY_COMPARE(published.count(), 1);
    QCOMPARE(published.at(0).at(0).toInt(), retainedMid);

    // Subscribed only after the PUBACK, it still finds the message: the broker had it.
    QProcess subscriber;
    subscribe(subscriber, broker, 2);
    QTRY_VERIFY_WITH_TIMEOUT(subscriber.canReadLine(), 5000);
    QCOMPARE(subscriber.readLine(), QByteArray("1 1 kestro/s1/status {\"online\":true}\n"));
    const int plainMid = client.publish(QStringLiteral("kestro/s1/device/005"), "{\"device\":5}", 0, false);
    QVERIFY(plainMid > 0 && plainMid != retainedMid);
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.state(), QProcess::NotRunning, 5000);
    QCOMPARE(subscriber.readAll(), QByteArray("0 0 kestro/s1/device/005 {\"device\":5}\n"));
    QTRY_COMPARE(published.count(), 2);
    QCOMPARE(published.at(1).at(0).toInt(), plainMid);

    // A clean stop leaves its last word retained, even with a broker too slow to acknowledge it
    // while the window waits.
    QCOMPARE(QProcess::execute("kill", {"-STOP", QString::number(broker.pid())}), 0);
    QElapsedTimer stopping;
    stopping.start();
    client.stop(QStringLiteral("kestro/s1/status"), "{\"online\":false}");
    QVERIFY2(stopping.elapsed() <= 60, qPrintable(QString::number(stopping.elapsed())));
    QCOMPARE(QProcess::execute("kill", {"-CONT", QString::number(broker.pid())}), 0);
    QVERIFY(!client.isConnected());
    subscribe(subscriber, broker, 1);
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.state(), QProcess::NotRunning, 5000);
    QCOMPARE(subscriber.readAll(), QByteArray("1 1 kestro/s1/status {\"online\":false}\n"));
}

void tst_mqttclient::reconnectsAfterBrokerCrash()
{
    Broker broker;
    QString error;
    QVERIFY2(broker.start(&error), qPrintable(error));
    MqttClient client;
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    client.start(optionsFor(broker));
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 3000);

    broker.kill();
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 2000);
    QVERIFY(!client.isConnected());
    QCOMPARE(client.lastError(), QStringLiteral("代理关闭了连接"));
    QCOMPARE(client.nextRetryMs(), 1000);
    // The retry after 1 s finds nobody listening and waits 1..2 s for the next.
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 2, 2000);
    QVERIFY(client.nextRetryMs() >= 1000 && client.nextRetryMs() <= 2000);
    QVERIFY2(broker.restart(&error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(client.isConnected(), 3000);
    QCOMPARE(connected.count(), 2);
    QCOMPARE(client.lastError(), QString());
    QCOMPARE(client.nextRetryMs(), 1000);

    QCOMPARE(MqttClient::nextBackoff(16000), 30000);
    QCOMPARE(MqttClient::nextBackoff(30000), 30000);
}

void tst_mqttclient::verifiesTheBrokerCertificate()
{
    Broker broker;
    const QDir dir(broker.scratchPath());
    QVERIFY(shell(dir.path(), QStringLiteral(
        "key='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1'\n"
        "openssl req -x509 $key -keyout ca.key -out ca.crt -subj /CN=ca\n"
        "openssl req -x509 $key -keyout other.key -out other.crt -subj /CN=ca\n"
        "openssl req -x509 $key -CA ca.crt -CAkey ca.key -keyout server.key -out server.crt"
        " -subj /CN=broker -addext subjectAltName=IP:127.0.0.1\n")));
    QString error;
    QVERIFY2(broker.start(&error, {"cafile " + dir.filePath("ca.crt"), "certfile " + dir.filePath("server.crt"),
                                   "keyfile " + dir.filePath("server.key")}),
             qPrintable(error));

    MqttOptions options = optionsFor(broker);
    options.tls = true;
    options.caFile = dir.filePath(QStringLiteral("ca.crt"));
    MqttClient trusting;
    trusting.start(options);
    QTRY_VERIFY_WITH_TIMEOUT(trusting.isConnected(), 3000);

    options.caFile = dir.filePath(QStringLiteral("other.crt"));
    options.clientId = QStringLiteral("kestro-test-other");
    MqttClient doubting;
    QSignalSpy connected(&doubting, &MqttClient::connected);
    QSignalSpy disconnected(&doubting, &MqttClient::disconnected);
    doubting.start(options);
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 3000);
    const QString reason = disconnected.at(0).at(0).toString();
    QCOMPARE(reason, QStringLiteral("证书不受信任"));
    QCOMPARE(doubting.lastError(), reason);
    QVERIFY(!doubting.isConnected());
    QCOMPARE(connected.count(), 0);

    // The same address written otherwise: the certificate does not bear that name.
    options.host = QStringLiteral("127.1");
    options.caFile = dir.filePath(QStringLiteral("ca.crt"));
    MqttClient misnamed;
    QSignalSpy refused(&misnamed, &MqttClient::disconnected);
    misnamed.start(options);
    QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 3000);
    QCOMPARE(refused.at(0).at(0).toString(), QStringLiteral("证书与主机名不符"));
}

void tst_mqttclient::wrongPasswordBacksOffQuietly()
{
    Broker broker;
    QVERIFY(shell(broker.scratchPath(), "mosquitto_passwd -b -c passwords station right-horse-battery"));
    QString error;
    QVERIFY2(broker.start(&error, {"allow_anonymous false",
                                   "password_file " + QDir(broker.scratchPath()).filePath("passwords")}),
             qPrintable(error));
    MqttOptions options = optionsFor(broker);
    options.user = QStringLiteral("station");
    options.password = QStringLiteral("wrong-Staple-7f3a");
    MqttClient client;
    QSignalSpy connected(&client, &MqttClient::connected);
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    QVector<int> retries;
    connect(&client, &MqttClient::disconnected, this, [&]() { retries.append(client.nextRetryMs()); });

    // Our stderr, where the client logs, goes to a file meanwhile.
    OutputCapture errors(stderr);
    client.start(options);
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 3000);
    const std::clock_t cpuBefore = std::clock();
    QElapsedTimer wall;
    wall.start();
    QEventLoop idle;
    QTimer::singleShot(6000, &idle, &QEventLoop::quit);
    idle.exec();
    const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    const QString log = QString::fromUtf8(errors.text());

    QVERIFY2(cpuMs < wall.elapsed() / 100.0,
             qPrintable(QStringLiteral("%1 ms CPU in %2 ms").arg(cpuMs).arg(wall.elapsed())));
    // Each wait drawn between 1 s and a ceiling that doubles, and 100 draws not all alike.
    QVERIFY2(retries.size() >= 3, qPrintable(QString::number(retries.size())));
    for (int i = 0; i < retries.size(); ++i)
        QVERIFY(retries[i] >= 1000 && retries[i] <= qMin(1000 << i, 30000));
    QSet<int> draws;
    for (int i = 0; i < 100; ++i)
        draws.insert(MqttClient::jittered(30000));
    QVERIFY(draws.size() > 50);
    QCOMPARE(connected.count(), 0);
    const QString reason = disconnected.at(0).at(0).toString();
    QCOMPARE(reason, QStringLiteral("代理拒绝：未获授权（检查用户名和密码）"));
    QCOMPARE(client.lastError(), reason);
    QCOMPARE(log.count(QStringLiteral(" mqtt: refused by 127.0.0.1:%1: %2\n").arg(broker.port()).arg(reason)), 1);
    QVERIFY(!log.contains(options.password));
}

void tst_mqttclient::reasonsAnOperatorUnderstands_data()
{
    QTest::addColumn<QString>("broker"); // what the peer on the port does
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("reasons"); // any of them, split by "|"
    QTest::newRow("closes the connection") << "close" << "127.0.0.1" << "代理关闭了连接";
    QTest::newRow("no ping answered") << "mute" << "127.0.0.1" << "代理无应答（超过保活时间）";
    QTest::newRow("no listener") << "none" << "127.0.0.1" << "连接被拒绝（该端口没有代理在监听）";
    // Without a reachable name server the lookup fails for the time being instead.
    QTest::newRow("unknown host") << "none" << "nowhere.invalid" << "找不到主机|域名解析暂时失败";
}

void tst_mqttclient::reasonsAnOperatorUnderstands()
{
    QFETCH(QString, broker);
    QFETCH(QString, host);
    QFETCH(QString, reasons);
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    connect(&peer, &QTcpServer::newConnection, this, [&]() {
        QTcpSocket *socket = peer.nextPendingConnection();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, broker]() {
            if (broker == QLatin1String("close"))
                socket->close();
            else if (socket->readAll().startsWith('\x10')) // CONNECT: accepted; no ping is
                socket->write(QByteArray("\x20\x02\x00\x00", 4));
        });
    });
    MqttOptions options;
    options.host = host;
    options.port = peer.serverPort();
    options.keepAliveSeconds = 5; // a mute peer is given up after two periods
    if (broker == QLatin1String("none"))
        peer.close();
    MqttClient client;
    QSignalSpy disconnected(&client, &MqttClient::disconnected);
    client.start(options);
    QTRY_COMPARE_WITH_TIMEOUT(disconnected.count(), 1, 15000);
    const QString said = disconnected.at(0).at(0).toString();
    QVERIFY2(reasons.split('|').contains(said), qPrintable(said));
}

// The rest of this process stays in a network of its own, with 127.0.0.1 as before; the
// resolver asks a name server there that takes each query and answers none.
void tst_mqttclient::windowKeepsTurningWhileTheLookupHangs()
{
#ifndef Q_OS_LINUX
    QSKIP("needs Linux's namespaces");
#else
    QTemporaryDir dir;
    QVERIFY(writeFileBytes(dir.filePath("resolv.conf"), "nameserver 127.0.0.1\noptions timeout:4 attempts:1\n"));
    QVERIFY2(::unshare(CLONE_NEWNET | CLONE_NEWNS) == 0, "namespaces need root");
    QVERIFY(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
    QVERIFY(::mount(QFile::encodeName(dir.filePath("resolv.conf")), "/etc/resolv.conf", nullptr, MS_BIND,
                    nullptr) == 0);
    ifreq loopback{};
    qstrcpy(loopback.ifr_name, "lo");
    loopback.ifr_flags = IFF_UP;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    QVERIFY(::ioctl(fd, SIOCSIFFLAGS, &loopback) == 0);
    ::close(fd);
    QUdpSocket nameServer;
    QVERIFY(nameServer.bind(QHostAddress::LocalHost, 53));

    QElapsedTimer sinceTick;
    qint64 worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    connect(&tick, &QTimer::timeout, this, [&]() { worst = qMax(worst, sinceTick.restart()); });
    sinceTick.start();
    tick.start(10);
    auto client = std::make_unique<MqttClient>();
    MqttOptions options;
    options.host = QStringLiteral("broker.kestro.test");
    client->start(options);
    QTest::qWait(1500);
    // Restarted while the lookup hangs: the next one waits for it rather than stacking up.
    client->start(options);
    QTest::qWait(1500);
    client.reset();   // before the lookup gives up after 4 s
    QTest::qWait(1800);
    // A lookup on this thread would hold it 1.5 s; a busy machine alone has delayed a tick 105 ms.
    QVERIFY2(worst <= 500, qPrintable(QString::number(worst)));
    QList<QByteArray> queries;
    while (nameServer.hasPendingDatagrams())
        queries << nameServer.receiveDatagram().data().mid(12);
    // One lookup: broker.kestro.test, type A and type AAAA, each asked once.
    QCOMPARE(queries, QList<QByteArray>({QByteArray("\6broker\6kestro\4test\0\0\1\0\1", 24),
                                         QByteArray("\6broker\6kestro\4test\0\0\x1c\0\1", 24)}));
#endif
}

KESTRO_TEST_MAIN(tst_mqttclient)
#include "tst_mqttclient.moc"
