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

namespace {

// What a client printed, once it is done; the station serves meanwhile.
QString clientOutput(const QString &program, const QStringList &arguments, int *exitCode)
{
    qRegisterMetaType<QProcess::ExitStatus>();
    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    QSignalSpy finished(&client, qOverload<int, QProcess::ExitStatus>(&QProcess::finished));
    client.start(program, arguments);
    finished.wait(60000);
    *exitCode = client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
    return QString::fromUtf8(client.readAll());
}

} // namespace

void tst_modbusserver::servesWhatThePanelsShow()
{
    LinkMemory::forget();
    QTemporaryDir dir;
    PtyPair pty;
    Simulator simulator;
    QString error;
    const QStringList concentrator = {"--static", "--register", "30405=850", "--register", "30406=65436",
                                      "--offline", "9", "--over-current", "11", "--under-voltage", "12"};
    QVERIFY2(pty.start(&error) && simulator.start(pty.concentratorEnd(), concentrator, &error),
             qPrintable(error));
    // Someone else holds the port at first.
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost));
    const QString port = QString::number(holder.serverPort());
    ModbusServerSettings settings{true, QStringLiteral("127.0.0.1"), holder.serverPort(), 1};
    QVERIFY(settings.save());

    Station station(dir.path(), nullptr);
    QVERIFY2(station.setJointRules({{QStringLiteral("1号柜"), {5, 6, 7}, 0}}, JointRuleSettings(), &error),
             qPrintable(error));
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

    int exitCode = 0;
    // A count to read, or a value to write.
    const auto mbpoll = [&](const char *table, const char *reference, const char *count, const char *write = nullptr) {
        const QStringList arguments = {"-m", "tcp", "-a", "1", "-1", "-p", port, "-t", table, "-r", reference};
        return clientOutput("mbpoll", arguments + (write ? QStringList{"127.0.0.1", write} : QStringList{"-c", count, "127.0.0.1"}),
                            &exitCode);
    };
    QString output = mbpoll("3", "405", "2");
    QVERIFY2(exitCode == 0 && output.contains("[405]: \t850\n[406]: \t65436 (-100)"), qPrintable(output));
    output = mbpoll("1", "606", "3");
    QVERIFY2(output.contains("[606]: \t1\n[607]: \t1\n[608]: \t1"), qPrintable(output));
    output = mbpoll("4", "1", nullptr, "7");
    QVERIFY2(output.contains("Illegal function"), qPrintable(output));
    QTRY_COMPARE(station.modbusServer()->clientCount(), 0);
    output = clientOutput("/usr/bin/python3", {KESTRO_MODBUS_CLIENT_PATH, port}, &exitCode);
    QVERIFY2(exitCode == 0, qPrintable(output));

    // A client that says nothing is closed; every place is free again.
    station.modbusServer()->setIdleTimeout(500);
    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, quint16(settings.port));
    QTRY_COMPARE(silent.state(), QAbstractSocket::ConnectedState);
    QTRY_COMPARE_WITH_TIMEOUT(silent.state(), QAbstractSocket::UnconnectedState, 3000);
    QTRY_COMPARE(station.modbusServer()->clientCount(), 0);

    // Recovered and not acknowledged: counted there, no longer open.
    station.applyThresholds(11, 11, 80, -40, 100);
    QTRY_COMPARE(station.alarmHandling()->openCount(), 4);
    output = mbpoll("1", "411", "1") + mbpoll("3", "802", "2");
    QVERIFY2(output.contains("[411]: \t0") && output.contains("[802]: \t4\n[803]: \t5"), qPrintable(output));

    // Nobody answers: the concentrator silent, its alarm open, device 5 heard by nobody.
    simulator.stop();
    QTRY_VERIFY_WITH_TIMEOUT(station.devices()->readings().staleQuantities[4] == 0x0F, 15000);
    output = mbpoll("3", "5", "1") + mbpoll("3", "405", "1") + mbpoll("3", "801", "1") + mbpoll("1", "601", "1");
    QVERIFY2(output.contains("[5]: \t2") && output.contains("[405]: \t0") && output.contains("[801]: \t3")
                 && output.contains("[601]: \t1"),
             qPrintable(output));
}

KESTRO_TEST_MAIN(tst_modbusserver)

#include "tst_modbusserver.moc"
