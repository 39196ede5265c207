// While polling the simulator, the station serves its map to independent clients (mbpoll, pymodbus,
// literal frames) and refuses writes, a 17th client, garbage and silence.
#include "testsupport.h"
#include "monitor/alarmhandling.h"
#include "monitor/devicemodel.h"
#include "scada/modbusserver.h"
#include "scada/modbusserversettings.h"
#include "serial/concentratorlink.h"
#include "serial/linkmemory.h"
#include "station/station.h"
#include "station/stationfaults.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

class tst_modbusserver : public QObject
{
    Q_OBJECT

private slots:
    void servesWhatThePanelsShow();
};

// What a client printed, and "exit" with its exit code once it ends; the station serves meanwhile.
static QString clientOutput(const QString &program, const QStringList &arguments)
{
    qRegisterMetaType<QProcess::ExitStatus>();
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    QSignalSpy finished(&client, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
    client.start(program, arguments);
    const bool ended = finished.wait(60000) && client.exitStatus() == QProcess::NormalExit;
    return QString::fromUtf8(client.readAll()) + QStringLiteral("exit %1").arg(ended ? client.exitCode() : -1);
}

void tst_modbusserver::servesWhatThePanelsShow()
{
    LinkMemory::forget();
    QTemporaryDir dir;
    PtyPair pty;
    Simulator simulator;
    QString error;
    const QStringList concentrator = {"--static", "--register", "30405=850", "--register", "30406=65436", "--offline", "9",
                                      "--over-current", "11", "--under-voltage", "12"};
    QVERIFY2(pty.start(&error) && simulator.start(pty.concentratorEnd(), concentrator, &error), qPrintable(error));
    // Someone else holds the port at first.
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost));
    const QString port = QString::number(holder.serverPort());
    ModbusServerSettings settings{true, QStringLiteral("127.0.0.1"), holder.serverPort(), 1};
    QVERIFY(settings.save());

    Station station(dir.path(), nullptr);
    QVERIFY2(station.setJointRules({{QStringLiteral("1号柜"), {5, 6, 7}, 0}}, JointRuleSettings(), &error), qPrintable(error));
    station.setConcentratorAddress(QStringLiteral("1"));
    station.setPollStepInterval(250);
    station.start();
    QVERIFY(station.faults()->text().startsWith(QStringLiteral("Modbus TCP 服务无法监听 127.0.0.1:%1：").arg(port)));
    holder.close();
    station.applyModbusServerSettings(settings);
    QCOMPARE(station.faults()->text(), QString());
    QVERIFY(station.link()->open(pty.stationEnd()));

    QTRY_COMPARE_WITH_TIMEOUT(station.devices()->text(PanelQuantity::Status, 200), QStringLiteral("在线"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(station.alarmHandling()->openCount(), 5, 5000);
    // The last block's readings are evaluated, and the server fed, at the next tick.
    QVERIFY(QSignalSpy(&station, &Station::judged).wait(3000));

    QString output = clientOutput("/usr/bin/python3", {KESTRO_MODBUS_CLIENT_PATH, port});
    QVERIFY2(output == "exit 0", qPrintable(output));

    // A client that says nothing is closed; every place is free again.
    station.modbusServer()->setIdleTimeout(500);
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, quint16(settings.port));
    QVERIFY(silent.waitForConnected(3000) && QSignalSpy(&silent, &QTcpSocket::disconnected).wait(3000));
    QTRY_COMPARE(station.modbusServer()->clientCount(), 0);

    const auto mbpoll = [&](const QString &poll) {
        return clientOutput("mbpoll", ("-m tcp -a 1 -1 -p " + port + " 127.0.0.1 " + poll).split(' '));
    };
    // Recovered and not acknowledged: counted there, no longer open.
    station.applyThresholds(11, 11, 80, -40, 100);
    QTRY_COMPARE(station.alarmHandling()->openCount(), 4);
    output = mbpoll("-t 1 -r 411") + mbpoll("-t 3 -r 802 -c 2");
    QVERIFY2(output.contains("[411]: \t0") && output.contains("[802]: \t4\n[803]: \t5"), qPrintable(output));

    // Nobody answers: the concentrator silent, its alarm open, device 5 heard by nobody.
    simulator.stop();
    QTRY_VERIFY_WITH_TIMEOUT(station.devices()->readings().staleQuantities[4] == 0x0F, 15000);
    output = mbpoll("-t 3 -r 5") + mbpoll("-t 3 -r 405") + mbpoll("-t 3 -r 801") + mbpoll("-t 1 -r 601");
    QVERIFY2(output.contains("[5]: \t2") && output.contains("[405]: \t0") && output.contains("[801]: \t3")
                 && output.contains("[601]: \t1"), qPrintable(output));
}

KESTRO_TEST_MAIN(tst_modbusserver)

#include "tst_modbusserver.moc"
